// The skin manifest read by skingen: one statement per line, words separated by blanks, text in
// double quotes, '#' starts a comment. The first word names the statement; see the manifests in
// grandpress/skin/ and tinypress/skin/ for the statements in use.
#pragma once

#include <string>
#include <vector>

namespace skingen {

struct Statement {
    int line = 0;
    std::vector<std::string> words;  // words[0] is the statement name

    const std::string& word(size_t i) const;
    double number(size_t i) const;
    int integer(size_t i) const { return static_cast<int>(number(i)); }
};

// Reads `path`; throws std::runtime_error with the line number on malformed input.
std::vector<Statement> readManifest(const std::string& path);

}  // namespace skingen

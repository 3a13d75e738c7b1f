#include "Manifest.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace skingen {

namespace {

std::runtime_error errorAt(int line, const std::string& what) {
    return std::runtime_error("manifest line " + std::to_string(line) + ": " + what);
}

}  // namespace

const std::string& Statement::word(size_t i) const {
    if (i >= words.size()) throw errorAt(line, "missing argument " + std::to_string(i));
    return words[i];
}

double Statement::number(size_t i) const {
    const std::string& w = word(i);
    size_t used = 0;
    double v = 0;
    try {
        v = std::stod(w, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != w.size()) throw errorAt(line, "not a number: " + w);
    return v;
}

std::vector<Statement> readManifest(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::vector<Statement> out;
    std::string text;
    int lineNo = 0;
    while (std::getline(in, text)) {
        ++lineNo;
        Statement s;
        s.line = lineNo;
        size_t i = 0;
        while (i < text.size()) {
            const char c = text[i];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++i;
            } else if (c == '#') {
                break;
            } else if (c == '"') {
                const size_t end = text.find('"', i + 1);
                if (end == std::string::npos) throw errorAt(lineNo, "unterminated text");
                s.words.push_back(text.substr(i + 1, end - i - 1));
                i = end + 1;
            } else {
                size_t end = i;
                while (end < text.size() && text[end] != ' ' && text[end] != '\t' &&
                       text[end] != '\r' && text[end] != '#')
                    ++end;
                s.words.push_back(text.substr(i, end - i));
                i = end;
            }
        }
        if (!s.words.empty()) out.push_back(std::move(s));
    }
    return out;
}

}  // namespace skingen

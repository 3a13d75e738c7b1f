// The command line of qrx-render: options, inputs and outputs. Main thread only.
#pragma once

#include <string>
#include <vector>

#include "render/Render.h"

namespace render {

struct Command {
    RenderRequest request;  // settings shared by every input; input and output left empty
    std::vector<std::string> inputs;
    std::string output;  // a file, "-" (standard output) or a folder; empty: none given
    bool outputIsFolder = false;
    bool listPrograms = false, listParams = false;
    bool userStore = false;
    bool json = false;
    bool help = false, version = false;
};

// The usage text (`--help`).
const char* usageText();
// The version line (`--version`).
std::string versionText();

// Reads the arguments after the program name; false with one line in `error` when they cannot
// be read (the usage text is for the caller to add).
bool parseCommand(const std::vector<std::string>& args, Command* command, std::string* error);

}  // namespace render

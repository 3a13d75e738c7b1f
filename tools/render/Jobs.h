// The renders of one run: which input goes to which output, and the checks of every path before
// any audio is processed. Main thread only.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "render/Command.h"

namespace render {

// A path from and to UTF-8 text.
std::filesystem::path pathOf(const std::string& text);
std::string textOf(const std::filesystem::path& path);

// One render per input: the command's request with input, output (and plot) filled in.
std::vector<RenderRequest> planJobs(const Command& command);

// Checks every job before the first render: inputs and side chain readable and fitting, output
// formats known, output folders present and writable, no output that is an input or the side
// chain (followed through links) and no two outputs that are the same file; "-" (standard
// output) is no file. False with one line in `error`.
bool checkJobs(const std::vector<RenderRequest>& jobs, std::string* error);

}  // namespace render

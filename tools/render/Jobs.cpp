#include "render/Jobs.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>

#include "render/AudioFile.h"

namespace render {
namespace {

namespace fs = std::filesystem;

// The folder of an output and the reasons it cannot take a new file.
bool checkFolder(const std::string& output, std::string* error) {
    const fs::path path = pathOf(output);
    fs::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    const std::string name = textOf(folder);
    std::error_code e;
    if (!fs::exists(folder, e)) {
        *error = "folder '" + name + "' of '" + output + "' does not exist";
        return false;
    }
    if (!fs::is_directory(folder, e)) {
        *error = "'" + name + "' of '" + output + "' is not a folder";
        return false;
    }
    if (fs::is_directory(path, e)) {
        *error = "output '" + output + "' is a folder";
        return false;
    }
#ifndef _WIN32
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        *error = "folder '" + name + "' of '" + output + "' is not writable";
        return false;
    }
#endif
    return true;
}

// Whether two paths name the same file: the same device and file (links followed) when both
// exist, else the same place once links in their folders are resolved.
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code e;
    if (fs::exists(pathOf(a), e) && fs::exists(pathOf(b), e))
        return fs::equivalent(pathOf(a), pathOf(b), e);
    const fs::path x = fs::weakly_canonical(fs::absolute(pathOf(a), e), e);
    const fs::path y = fs::weakly_canonical(fs::absolute(pathOf(b), e), e);
    return !x.empty() && x == y;
}

std::string nameOf(const std::string& path) {
    return textOf(pathOf(path).filename());
}

bool isStandardOutput(const std::string& path) {
    return path == "-";
}

}  // namespace

fs::path pathOf(const std::string& text) {
    const auto* begin = reinterpret_cast<const char8_t*>(text.data());
    return fs::path(std::u8string(begin, begin + text.size()));
}

std::string textOf(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

std::vector<RenderRequest> planJobs(const Command& command) {
    std::vector<RenderRequest> jobs;
    for (const std::string& input : command.inputs) {
        RenderRequest job = command.request;
        job.input = input;
        job.output = command.outputIsFolder ? textOf(pathOf(command.output) / pathOf(nameOf(input)))
                                            : command.output;
        jobs.push_back(job);
    }
    return jobs;
}

bool checkJobs(const std::vector<RenderRequest>& jobs, std::string* error) {
    std::vector<std::string> outputs, sources;
    for (const RenderRequest& job : jobs) {
        RenderRequest probe = job;
        if (isStandardOutput(job.output)) probe.output = "standard-output.wav";
        int format = 0;
        if (checkRequest(probe, &format, error) != 0) return false;
        if (!isStandardOutput(job.output)) {
            if (!checkFolder(job.output, error)) return false;
            outputs.push_back(job.output);
        }
        if (!job.plot.empty()) {
            if (lowerExtensionOf(job.plot) != "png") {
                *error = "plot '" + job.plot + "' must be a .png file";
                return false;
            }
            if (!checkFolder(job.plot, error)) return false;
            outputs.push_back(job.plot);
        }
        sources.push_back(job.input);
        if (!job.sidechain.empty()) sources.push_back(job.sidechain);
        for (const std::string& file : {job.bank, job.preset})
            if (!file.empty()) sources.push_back(file);
    }
    for (size_t i = 0; i < outputs.size(); ++i) {
        for (const std::string& source : sources) {
            if (sameFile(outputs[i], source)) {
                *error = "output '" + outputs[i] + "' is the input file '" + source +
                         "'; choose another output name";
                return false;
            }
        }
        for (size_t j = i + 1; j < outputs.size(); ++j) {
            if (sameFile(outputs[i], outputs[j])) {
                *error = "two outputs of this run are the same file '" + outputs[j] + "'";
                return false;
            }
        }
    }
    return true;
}

}  // namespace render

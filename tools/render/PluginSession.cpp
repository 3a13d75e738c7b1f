#include "render/PluginSession.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "host/KernelChoice.h"
#include "platform/DynamicLibrary.h"
#include "platform/ExecutablePath.h"
#ifdef _WIN32
#include "platform/WinText.h"
#endif
#include "grandpress/Parameters.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/CompressorEffect.h"
#include "presets/PresetFiles.h"
#include "render/Suggest.h"
#include "tinypress/Parameters.h"

namespace render {
namespace {

#ifdef _WIN32
const char* const kFolderSeparators = "/\\";
constexpr char kListSeparator = ';';

bool fileExists(const std::string& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(platform::widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
#else
const char* const kFolderSeparators = "/";
constexpr char kListSeparator = ':';

bool fileExists(const std::string& path) {
    return !path.empty() && access(path.c_str(), R_OK) == 0;
}
#endif

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool parseIndex(const std::string& text, int* index) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    *index = std::atoi(text.c_str());
    return true;
}

constexpr size_t kChunkSize = CPresetSystemEffect::kChunkSize;
constexpr std::uint32_t kChunkFormat = CPresetSystemEffect::kChunkFormat;

}  // namespace

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string findPlugin(const std::string& nameOrPath, std::string* error) {
    const std::string extension = platform::kLibrarySuffix;
    if (nameOrPath.find_first_of(kFolderSeparators) != std::string::npos ||
        (nameOrPath.size() > extension.size() &&
         nameOrPath.substr(nameOrPath.size() - extension.size()) == extension)) {
        if (fileExists(nameOrPath)) return nameOrPath;
        *error = "plug-in file '" + nameOrPath + "' does not exist";
        return "";
    }
    const std::vector<std::string> known = {"grandpress", "tinypress"};
    const std::string name = lower(nameOrPath);
    if (std::find(known.begin(), known.end(), name) == known.end()) {
        *error = "unknown plug-in '" + nameOrPath + "'" + didYouMean(nameOrPath, known) +
                 " (grandpress, tinypress or a path to a " + extension + " file)";
        return "";
    }
    const std::string file = name + extension;
    std::vector<std::string> folders;
    const std::string exe = platform::executablePath();
    const size_t slash = exe.find_last_of(kFolderSeparators);
    if (slash != std::string::npos) {
        const std::string dir = exe.substr(0, slash);
        folders.push_back(dir + "/..");  // build/bin/qrx-render -> build/
        folders.push_back(dir);
    }
    if (const char* vstPath = std::getenv("VST_PATH")) {
        std::stringstream list(vstPath);
        for (std::string folder; std::getline(list, folder, kListSeparator);)
            if (!folder.empty()) folders.push_back(folder);
    }
#ifndef _WIN32
    if (const char* home = std::getenv("HOME")) folders.push_back(std::string(home) + "/.vst");
    folders.push_back("/usr/lib/vst");
#endif
    for (const std::string& folder : folders)
        if (fileExists(folder + "/" + file)) return folder + "/" + file;
    *error = "plug-in '" + name + "' is not installed (looked beside this tool, in $VST_PATH" +
#ifdef _WIN32
             ")";
#else
             ", ~/.vst and /usr/lib/vst)";
#endif
    return "";
}

bool PluginSession::load(const std::string& path, int sampleRate, int blockSize,
                         std::string* error) {
    host::HostConfig config;
    config.sampleRateAnswer = sampleRate;
    config.blockSizeAnswer = blockSize;
    instance = host::Plugin::load(path, config, error);
    if (!instance) return false;
    instance->setSampleRate(static_cast<float>(sampleRate));
    instance->setBlockSize(blockSize);
    return true;
}

std::vector<std::string> PluginSession::programNames() {
    std::vector<std::string> names;
    std::string name;
    for (int i = 0; i < 128 && instance->programNameIndexed(i, name); ++i) names.push_back(name);
    return names;
}

bool PluginSession::selectProgram(const std::string& nameOrIndex, std::string* error) {
    const std::vector<std::string> names = programNames();
    int index = -1;
    if (parseIndex(nameOrIndex, &index)) {
        if (index >= static_cast<int>(names.size())) {
            *error = "program " + nameOrIndex + " is out of range (0.." +
                     std::to_string(static_cast<int>(names.size()) - 1) + ")";
            return false;
        }
    } else {
        for (size_t i = 0; i < names.size(); ++i)
            if (lower(trimmed(names[i])) == lower(trimmed(nameOrIndex)))
                index = static_cast<int>(i);
    }
    if (index < 0) {
        *error = "unknown program '" + nameOrIndex + "'" + didYouMean(nameOrIndex, names) +
                 " (--list-programs lists them)";
        return false;
    }
    // Our plug-ins keep sixteen programs of their own behind one host program: the state chunk
    // carries the current index, so a chunk with another index selects that program.
    std::vector<std::uint8_t> chunk;
    std::uint32_t format = 0;
    if (instance->getChunk(chunk) && chunk.size() == kChunkSize)
        std::memcpy(&format, chunk.data(), 4);
    if (format == kChunkFormat) {
        const std::int32_t current = index;
        std::memcpy(&chunk[12], &current, 4);
        if (instance->setChunk(chunk) != 0) {
            *error = "the plug-in refused program '" + nameOrIndex + "'";
            return false;
        }
    } else {
        instance->dispatch(effSetProgram, 0, index);
    }
    return true;
}

int PluginSession::findParameter(const std::string& nameOrIndex) {
    const int count = instance->numParams();
    int index = -1;
    if (parseIndex(nameOrIndex, &index)) return index < count ? index : -1;
    const std::string wanted = lower(trimmed(nameOrIndex));
    if (wanted.empty()) return -1;
    for (int i = 0; i < count; ++i)
        if (lower(trimmed(instance->parameterName(i))) == wanted) return i;
    return -1;
}

std::string PluginSession::parameterName(int index) {
    return trimmed(instance->parameterName(index));
}

std::string PluginSession::unknownParameter(const std::string& name) {
    std::vector<std::string> names;
    for (int i = 0; i < instance->numParams(); ++i) names.push_back(parameterName(i));
    return "unknown parameter '" + name + "'" + didYouMean(name, names) +
           " (--list-params lists them)";
}

namespace {

bool isOurs(VstInt32 id) {
    return id == vstFourCC('Q', 'X', 'G', 'P') || id == vstFourCC('Q', 'R', 't', 'p');
}

}  // namespace

bool PluginSession::loadBankFile(const std::string& path, bool reversed, std::string* error) {
    const VstInt32 id = instance->uniqueId();
    if (!isOurs(id)) {
        *error = "bank files are for grandpress and tinypress only";
        return false;
    }
    ProgramRecord records[kNumPrograms];
    const FileOutcome outcome =
        readBankFile(path, static_cast<std::uint32_t>(id), reversed, records);
    if (!outcome.ok()) {
        *error = outcome.reason;
        return false;
    }
    std::vector<std::uint8_t> chunk(kChunkSize);
    CPresetSystemEffect::writeChunkImage(chunk.data(), static_cast<std::uint32_t>(id), 0, records);
    if (instance->setChunk(chunk) != 0) {
        *error = "the plug-in refused bank '" + path + "'";
        return false;
    }
    return true;
}

bool PluginSession::loadPresetFile(const std::string& path, bool reversed, std::string* error) {
    const VstInt32 id = instance->uniqueId();
    std::vector<std::uint8_t> chunk;
    if (!isOurs(id) || !instance->getChunk(chunk) || chunk.size() != kChunkSize) {
        *error = "preset files are for grandpress and tinypress only";
        return false;
    }
    ProgramRecord record;
    const FileOutcome outcome =
        readPresetFile(path, static_cast<std::uint32_t>(id), reversed, record);
    if (!outcome.ok()) {
        *error = outcome.reason;
        return false;
    }
    // The preset replaces the current program: the chunk carries it, and loading the chunk
    // applies the current program to the engine.
    std::int32_t current = 0;
    std::memcpy(&current, &chunk[12], 4);
    if (current < 0 || current >= kNumPrograms) current = 0;
    std::memcpy(&chunk[32 + current * sizeof(ProgramRecord)], &record, sizeof record);
    if (instance->setChunk(chunk) != 0) {
        *error = "the plug-in refused preset '" + path + "'";
        return false;
    }
    return true;
}

const units::Param* PluginSession::unitParam(int index) {
    if (index < 0 || index >= instance->numParams()) return nullptr;
    const VstInt32 id = instance->uniqueId();
    if (id == vstFourCC('Q', 'X', 'G', 'P')) return &grandpress::unitParam(index);
    if (id == vstFourCC('Q', 'R', 't', 'p')) return &tinypress::unitParam(index);
    return nullptr;
}

const MeterFeed* PluginSession::meterFeed() {
    if (!isOurs(instance->uniqueId())) return nullptr;
    const MeterFeed* feed = nullptr;
    if (instance->dispatch(effVendorSpecific, CompressorEffect::kMeterFeedRequest, 0, &feed) != 1)
        return nullptr;
    return feed;
}

void PluginSession::useBaselineKernels() {
    host::useBaselineKernels(*instance);
}

std::string PluginSession::instructionSet() {
    return host::kernelsInUse(*instance);
}

}  // namespace render

// The preset and bank file operations of CPresetSystemEditor. Files are opened by their absolute
// path; the process's current directory is never changed (a plug-in shares it with its host).
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <vector>

#include "platform/SmallFile.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/CPresetSystemFiles.h"

FileStatus splitChosenPath(const std::string& path, ChosenPath& out) {
    if (path.empty() || path.back() == '/') return FileStatus::CannotOpen;
    std::string full = path;
    if (full.front() != '/') {
        std::error_code error;
        std::string base = std::filesystem::current_path(error).string();
        if (error || base.empty()) return FileStatus::CannotOpen;
        if (base.back() != '/') base += '/';
        full = base + full;
    }
    const std::size_t slash = full.rfind('/');
    const std::size_t folderLength = slash + 1;
    const std::size_t fileLength = full.size() - folderLength;
    if (folderLength >= kPathTextSize || fileLength >= kPathTextSize)
        return FileStatus::PathTooLong;
    out.folder = full.substr(0, folderLength);
    out.file = full.substr(folderLength);
    out.full = std::move(full);
    return FileStatus::Done;
}

namespace {

const char* kindName(bool bank) {
    return bank ? "bank" : "preset";
}
std::size_t imageSize(bool bank) {
    return bank ? kBankImageSize : kPresetImageSize;
}

void setText(char* text, const std::string& value) {
    // splitChosenPath has checked the length.
    std::memcpy(text, value.c_str(), value.size() + 1);
}

std::string inQuotes(const std::string& path) {
    return "'" + path + "'";
}

FileOutcome outcome(FileStatus status, std::string reason) {
    return {status, std::move(reason)};
}

FileOutcome pathRefusal(FileStatus status, const std::string& path) {
    if (status == FileStatus::PathTooLong)
        return outcome(status, "folder or file name of " + inQuotes(path) + " is longer than " +
                                   std::to_string(kPathTextSize - 1) + " bytes");
    return outcome(status, inQuotes(path) + " names no file");
}

FileOutcome readRefusal(const platform::SmallFileResult& r, const std::string& path, bool bank) {
    using platform::SmallFileStatus;
    switch (r.status) {
        case SmallFileStatus::CannotOpen:
            return outcome(FileStatus::CannotOpen,
                           "cannot open " + inQuotes(path) + ": " + std::strerror(r.error));
        case SmallFileStatus::NotRegularFile:
            return outcome(FileStatus::NotRegularFile, inQuotes(path) + " is not a regular file");
        case SmallFileStatus::WrongSize: {
            // A file of the other kind's size is most likely just that.
            const bool otherKind = r.actualSize == static_cast<long long>(imageSize(!bank));
            return outcome(
                FileStatus::WrongSize,
                inQuotes(path) + " is not a " + kindName(bank) + " file: it is " +
                    std::to_string(r.actualSize) + " bytes, a " + kindName(bank) +
                    " file has exactly " + std::to_string(imageSize(bank)) +
                    (otherKind ? std::string(" (it has the size of a ") + kindName(!bank) + " file)"
                               : std::string()));
        }
        default:
            return outcome(FileStatus::ReadFailed,
                           "cannot read " + inQuotes(path) +
                               (r.error ? std::string(": ") + std::strerror(r.error)
                                        : std::string(": it changed while being read")));
    }
}

FileOutcome imageRefusal(FileStatus status, const std::string& path, bool bank) {
    switch (status) {
        case FileStatus::WrongPlugin:
            return outcome(
                status, inQuotes(path) + " is not a " + kindName(bank) + " file of this plug-in");
        case FileStatus::WrongType:
            return outcome(status, inQuotes(path) + " is a file of this plug-in but not a " +
                                       kindName(bank) + " file");
        case FileStatus::DamagedValues:
            return outcome(status, inQuotes(path) + " holds a value that is not a number: the " +
                                       kindName(bank) + " file is damaged");
        default:
            return outcome(FileStatus::NoProgramStore,
                           "the plug-in has no program store (out of memory)");
    }
}

// Reads a file of exactly the image size; on refusal `image` is left as it was.
FileOutcome readImageFile(const std::string& path, bool bank, std::vector<std::uint8_t>& image) {
    image.assign(imageSize(bank), 0);
    const platform::SmallFileResult read =
        platform::readFileOfExactSize(path, image.data(), image.size());
    if (!read.ok()) return readRefusal(read, path, bank);
    return {};
}

// The editor-free reading of both file kinds: `count` records into `out`.
FileOutcome readRecords(const std::string& path, std::uint32_t pluginId, bool reversed, bool bank,
                        ProgramRecord* out) {
    ChosenPath chosen;
    const FileStatus split = splitChosenPath(path, chosen);
    if (split != FileStatus::Done) return pathRefusal(split, path);
    std::vector<std::uint8_t> image;
    FileOutcome read = readImageFile(chosen.full, bank, image);
    if (!read.ok()) return read;
    const ImageCheck check =
        checkImage(image.data(), pluginId, bank ? kBankImageType : kPresetImageType);
    if (check == ImageCheck::WrongPlugin)
        return imageRefusal(FileStatus::WrongPlugin, chosen.full, bank);
    if (check == ImageCheck::WrongType)
        return imageRefusal(FileStatus::WrongType, chosen.full, bank);
    const bool swap = (check == ImageCheck::Reversed) != reversed;
    const int count = bank ? kNumPrograms : 1;
    std::vector<ProgramRecord> records;
    for (int k = 0; k < count; ++k) {
        ProgramRecord r = readImageRecord(image.data(), k, swap);
        if (!recordValuesFinite(r))
            return imageRefusal(FileStatus::DamagedValues, chosen.full, bank);
        for (float& v : r.values) v = std::clamp(v, 0.0f, 1.0f);
        records.push_back(r);
    }
    std::copy(records.begin(), records.end(), out);
    return {};
}

}  // namespace

FileOutcome readPresetFile(const std::string& path, std::uint32_t pluginId, bool reversed,
                           ProgramRecord& out) {
    return readRecords(path, pluginId, reversed, false, &out);
}

FileOutcome readBankFile(const std::string& path, std::uint32_t pluginId, bool reversed,
                         ProgramRecord (&out)[kNumPrograms]) {
    ProgramRecord records[kNumPrograms];
    FileOutcome r = readRecords(path, pluginId, reversed, true, records);
    if (r.ok()) std::copy(std::begin(records), std::end(records), std::begin(out));
    return r;
}

FileOutcome CPresetSystemFiles::loadPresetFile(const std::string& path, bool reversed,
                                               RememberPath remember) {
    return loadFile(path, reversed, remember, false);
}

FileOutcome CPresetSystemFiles::savePresetFile(const std::string& path, RememberPath remember) {
    return saveFile(path, remember, false);
}

FileOutcome CPresetSystemFiles::loadBankFile(const std::string& path, bool reversed,
                                             RememberPath remember) {
    return loadFile(path, reversed, remember, true);
}

FileOutcome CPresetSystemFiles::saveBankFile(const std::string& path, RememberPath remember) {
    return saveFile(path, remember, true);
}

FileOutcome CPresetSystemFiles::loadFile(const std::string& path, bool reversed,
                                         RememberPath remember, bool bank) {
    ChosenPath chosen;
    const FileStatus split = splitChosenPath(path, chosen);
    if (split != FileStatus::Done) return pathRefusal(split, path);
    if (remember == RememberPath::Yes) {
        setText(currentDirectory, chosen.folder);
        setText(bank ? currentBankFile : currentPresetFile, chosen.file);
    }
    // Only a file of exactly the image size reaches the loader: a truncated file would otherwise
    // turn into silently wrong settings.
    std::vector<std::uint8_t> image;
    FileOutcome read = readImageFile(chosen.full, bank, image);
    if (!read.ok()) return read;
    const FileStatus loaded =
        bank ? loadBankImage(image.data(), reversed) : loadPresetImage(image.data(), reversed);
    if (loaded != FileStatus::Done) return imageRefusal(loaded, chosen.full, bank);
    return {};
}

FileOutcome CPresetSystemFiles::saveFile(const std::string& path, RememberPath remember,
                                         bool bank) {
    ChosenPath chosen;
    const FileStatus split = splitChosenPath(path, chosen);
    if (split != FileStatus::Done) return pathRefusal(split, path);
    if (remember == RememberPath::Yes) {
        setText(currentDirectory, chosen.folder);
        setText(bank ? currentBankFile : currentPresetFile, chosen.file);
    }
    CPresetSystemEffect* e = presetEffect();
    if (!e || !e->programStore()) return imageRefusal(FileStatus::NoProgramStore, path, bank);
    std::vector<std::uint8_t> image(imageSize(bank), 0);
    if (bank)
        makeBankImage(image.data());
    else
        makePresetImage(image.data());
    const platform::SmallFileResult written =
        platform::replaceFileAtomically(chosen.full, image.data(), image.size());
    if (!written.ok())
        return outcome(FileStatus::WriteFailed, "cannot save " + inQuotes(chosen.full) + ": " +
                                                    std::strerror(written.error));
    return {};
}

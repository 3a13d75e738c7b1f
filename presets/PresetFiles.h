// What the preset and bank file operations of CPresetSystemEditor report, and the path rules they
// share. The preset bar ignores refusals (no message is shown); a command-line tool prints
// `reason` and treats the file as bad input.
//
// Threads: user-interface thread (file system calls), never the audio thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "presets/ProgramStore.h"

// Each path text of the editor lives in a buffer of this many bytes, terminator included.
constexpr std::size_t kPathTextSize = 257;

enum class FileStatus {
    Done,
    PathTooLong,     // folder or file name does not fit its 257-byte text; nothing was touched
    CannotOpen,      // missing, unreadable, or (for a save) cannot be created
    NotRegularFile,  // a folder, device or pipe
    WrongSize,       // not exactly 165 (preset) or 2565 (bank) bytes: truncated or foreign
    ReadFailed,      // the file changed or failed while being read
    WrongPlugin,     // identifier of neither byte order of this plug-in
    WrongType,       // a bank given as preset or the other way round
    DamagedValues,   // a value is not a finite number (NaN, infinity): nothing was loaded
    WriteFailed,     // the save did not complete or the file may not be written; the previous
                     // file is unchanged (but for a failed rewrite in place, see SmallFile.h)
    NoProgramStore,  // the effect is inert (no program store): nothing to load into or save
    NotStored,       // the per-user store holds no such image (memo never stored)
};

struct FileOutcome {
    FileStatus status = FileStatus::Done;
    std::string reason;  // one line naming the file and the cause; empty on success
    bool ok() const { return status == FileStatus::Done; }
};

// Whether an operation remembers the file's folder and name in the editor's path texts (the
// preset bar does; a command-line tool should not, as the texts are written to the user store).
enum class RememberPath { Yes, No };

// The file chosen by the user, as the editor remembers it.
struct ChosenPath {
    std::string full;    // what is opened: absolute
    std::string folder;  // up to and including the last separator
    std::string file;    // the rest
};

// Makes `path` absolute against the process's current directory and splits it at the last '/'.
// Done, or (with `out` untouched) PathTooLong when the folder or the file name would not fit a
// path text, CannotOpen when the path names no file (empty, or ending in a separator).
FileStatus splitChosenPath(const std::string& path, ChosenPath& out);

// --- For tools that drive a plug-in through its VST interface (no editor object at hand) ---
// They read and check a file exactly as the editor's loaders do (size, identifier of either byte
// order, type byte, the reversal choice, finite values) and hand back the programs in native
// order, values clamped into 0..1 as the program store keeps them. `pluginId`
// is the plug-in's unique identifier. On refusal `out` is untouched.
// A bank reaches a plug-in as its state chunk (CPresetSystemEffect::writeChunkImage with program
// 0 current); a preset as the program name plus the 34 parameter values of the current program.
FileOutcome readPresetFile(const std::string& path, std::uint32_t pluginId, bool reversed,
                           ProgramRecord& out);
FileOutcome readBankFile(const std::string& path, std::uint32_t pluginId, bool reversed,
                         ProgramRecord (&out)[kNumPrograms]);

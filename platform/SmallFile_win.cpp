#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <random>

#include "platform/SmallFile.h"
#include "platform/WinText.h"

namespace platform {
namespace {

SmallFileResult failure(SmallFileStatus status, int error) {
    SmallFileResult r;
    r.status = status;
    r.error = error;
    return r;
}

// The errno a caller can show with strerror, for the system's error codes that files meet.
int errnoOf(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        default:
            return EIO;
    }
}

int lastErrno() {
    return errnoOf(GetLastError());
}

// A name for the temporary file beside the target, hidden by its leading '.' and unique enough
// that writers in other threads and processes pick different ones.
std::wstring temporaryName() {
    static constexpr char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 rng{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, sizeof(kAlphabet) - 2);
    std::string s = ".qrx-" + std::to_string(GetCurrentProcessId()) + "-";
    for (int i = 0; i < 8; ++i) s += kAlphabet[pick(rng)];
    return widen(s + ".tmp");
}

bool writeAll(HANDLE file, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace

SmallFileResult readFileOfExactSize(const std::string& path, void* data, std::size_t size) {
    const std::wstring wide = widen(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failure(SmallFileStatus::CannotOpen, lastErrno());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return failure(SmallFileStatus::NotRegularFile, 0);
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return failure(SmallFileStatus::CannotOpen, lastErrno());
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return failure(SmallFileStatus::NotRegularFile, 0);
    }
    LARGE_INTEGER fileSize{};
    if (!GetFileSizeEx(file, &fileSize)) {
        const int e = lastErrno();
        CloseHandle(file);
        return failure(SmallFileStatus::ReadFailed, e);
    }
    if (static_cast<unsigned long long>(fileSize.QuadPart) != size) {
        CloseHandle(file);
        SmallFileResult r = failure(SmallFileStatus::WrongSize, 0);
        r.actualSize = fileSize.QuadPart;
        return r;
    }
    // Read into a private buffer first: the caller's bytes change only on complete success. One
    // byte more than expected tells a file that grew since it was measured.
    std::string buffer(size + 1, '\0');
    std::size_t done = 0;
    int error = 0;
    while (done < buffer.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(buffer.size() - done, 1u << 30));
        DWORD n = 0;
        if (!ReadFile(file, buffer.data() + done, chunk, &n, nullptr)) {
            error = lastErrno();
            break;
        }
        if (n == 0) break;
        done += n;
    }
    CloseHandle(file);
    if (done != size) return failure(SmallFileStatus::ReadFailed, error);
    std::copy(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size),
              static_cast<char*>(data));
    return {};
}

SmallFileResult replaceFileAtomically(const std::string& path, const void* data, std::size_t size) {
    const std::wstring target = widen(path);
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    if (slash + 1 == target.size()) return failure(SmallFileStatus::WriteFailed, EISDIR);

    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool targetExists = attributes != INVALID_FILE_ATTRIBUTES;
    if (targetExists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return failure(SmallFileStatus::WriteFailed, EISDIR);
    // A read-only file is one its user meant to keep: a plain save would be refused too.
    if (targetExists && (attributes & FILE_ATTRIBUTE_READONLY))
        return failure(SmallFileStatus::WriteFailed, EACCES);

    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = folder + temporaryName();
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return failure(SmallFileStatus::WriteFailed, lastErrno());
    }
    if (file == INVALID_HANDLE_VALUE) return failure(SmallFileStatus::WriteFailed, EEXIST);

    int error = 0;
    auto step = [&error](bool ok) {
        if (!ok && error == 0) error = lastErrno();
        return ok;
    };
    bool ok = step(writeAll(file, static_cast<const unsigned char*>(data), size));
    ok = ok && step(FlushFileBuffers(file) != 0);
    ok = step(CloseHandle(file) != 0) && ok;
    // rename() onto an existing file fails on Windows; this replaces it in one step.
    ok = ok && step(MoveFileExW(temporary.c_str(), target.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0);
    if (!ok) {
        DeleteFileW(temporary.c_str());
        return failure(SmallFileStatus::WriteFailed, error);
    }
    return {};
}

}  // namespace platform

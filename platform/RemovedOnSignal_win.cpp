#include <windows.h>

#include <atomic>

#include "platform/RemovedOnSignal.h"
#include "platform/WinText.h"

namespace platform {
namespace {

constexpr int kSlots = 8;
constexpr std::size_t kLongestPath = 1024;

struct Slot {
    wchar_t path[kLongestPath];
    std::atomic<bool> used;
};
Slot gSlots[kSlots];
int gUsedSlots = 0;

// Runs on a thread of its own when the console is interrupted or closed; the process ends after.
BOOL WINAPI onConsoleEvent(DWORD) {
    for (Slot& slot : gSlots)
        if (slot.used.exchange(false)) DeleteFileW(slot.path);
    return FALSE;  // the next handler (the system's) ends the process
}

}  // namespace

CleanupSignalsHeld::CleanupSignalsHeld() = default;
CleanupSignalsHeld::~CleanupSignalsHeld() = default;

RemovedOnSignal::RemovedOnSignal(const std::string& path, bool folder) {
    const std::wstring wide = widen(path);
    if (folder || wide.empty() || wide.size() >= kLongestPath) return;
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = gSlots[i];
        if (slot.used.load()) continue;
        wide.copy(slot.path, wide.size());
        slot.path[wide.size()] = L'\0';
        slot.used.store(true);
        slot_ = i;
        if (gUsedSlots++ == 0) SetConsoleCtrlHandler(onConsoleEvent, TRUE);
        return;
    }
}

void RemovedOnSignal::release() {
    if (slot_ < 0) return;
    gSlots[slot_].used.store(false);
    slot_ = -1;
    if (--gUsedSlots == 0) SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}

bool removeFolderTree(const char*) {
    return false;
}

}  // namespace platform

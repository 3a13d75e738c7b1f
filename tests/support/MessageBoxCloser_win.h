// Windows test programs: closes the message boxes that code out of the test's reach shows (a
// plug-in DLL has its own copy of the platform library, so CaughtNotices does not reach it) and
// keeps their texts, so a test neither hangs on a modal box nor misses what it said. A thread of
// its own looks for the boxes of this process every few milliseconds while the object lives.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/WinText.h"

namespace testsupport {

class MessageBoxCloser {
  public:
    MessageBoxCloser() : thread_([this] { run(); }) {}
    ~MessageBoxCloser() {
        stop_ = true;
        thread_.join();
    }
    MessageBoxCloser(const MessageBoxCloser&) = delete;
    MessageBoxCloser& operator=(const MessageBoxCloser&) = delete;

    // The texts of the boxes closed so far, in order.
    std::vector<std::string> texts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }

  private:
    void run() {
        while (!stop_) {
            EnumWindows(&visit, reinterpret_cast<LPARAM>(this));
            Sleep(10);
        }
    }
    // A dialog-class window of this process: a message box. Its text is in a static control.
    static BOOL CALLBACK visit(HWND window, LPARAM self) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (process != GetCurrentProcessId() || std::strcmp(name, "#32770") != 0) return TRUE;
        auto* closer = reinterpret_cast<MessageBoxCloser*>(self);
        if (closer->closed_.count(window) != 0) return TRUE;  // already asked to close
        // A dialog shows only once its WM_INITDIALOG has run, which is where a message box gets
        // its text: a box that shows is complete.
        if (!IsWindowVisible(window)) return TRUE;
        std::wstring text;
        EnumChildWindows(window, &readStatic, reinterpret_cast<LPARAM>(&text));
        closer->closed_.insert(window);
        {
            std::lock_guard<std::mutex> lock(closer->mutex_);
            closer->texts_.push_back(platform::narrow(text));
        }
        PostMessageW(window, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    static BOOL CALLBACK readStatic(HWND child, LPARAM into) {
        char name[16] = {};
        GetClassNameA(child, name, sizeof name);
        wchar_t text[512] = {};
        if (_stricmp(name, "Static") == 0 && GetWindowTextW(child, text, 512) > 0)
            *reinterpret_cast<std::wstring*>(into) += text;
        return TRUE;
    }

    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> texts_;
    std::set<HWND> closed_;  // the closer's thread only
    std::thread thread_;     // last: starts once the rest is built
};

}  // namespace testsupport

// A private, temporary per-user store for command-line tools (qrx-render, qrx-bench, qrx-shot).
//
// A plug-in reads its stored default bank and preset, path texts and meter settings from the
// per-user store when it is constructed and writes some of them when it closes. A tool that loads
// a plug-in would therefore render differently for different users and rewrite their store. A
// PrivateUserStore points XDG_CONFIG_HOME at a new temporary folder for the life of the object:
// empty (factory state), or a copy of the user's store (the user's defaults, read only: whatever
// the plug-in writes lands in the copy). The folder is removed when the object dies and also when
// the process is ended by SIGINT, SIGTERM, SIGHUP or SIGQUIT (platform/RemovedOnSignal.h).
//
// On Windows, where the store is the registry, the private store is a new key below the real
// HKEY_CURRENT_USER\SOFTWARE\QRX-private (empty, or holding a copy of the user's
// SOFTWARE\QRX-soundwerk tree), and HKEY_CURRENT_USER is redirected to it for the whole process
// (RegOverridePredefKey), plug-in DLLs included. The key is removed when the object dies and also
// when the console is closed or interrupted (Ctrl+C, Ctrl+Break), whatever moment of the store's
// life that meets. Writes on other threads meanwhile (an effect's destructor saving its settings)
// land in the private key and go with it, or fail; none reaches the user's store, and while the
// process ends no further store is made.
//
// Threads: create it on the main thread before any plug-in is loaded, at most one at a time.
#pragma once

#include <memory>
#include <string>

#ifndef _WIN32
#include "platform/RemovedOnSignal.h"
#endif

namespace platform {

class PrivateUserStore {
  public:
    enum class Start {
        Empty,        // as on a machine where no instance ever ran
        UserDefaults  // a copy of the user's store (folders and small regular files)
    };

    // Creates the folder or key (and copy) and points XDG_CONFIG_HOME or HKEY_CURRENT_USER at
    // it; null with a one-line `error` when it cannot be made.
    static std::unique_ptr<PrivateUserStore> create(Start start, std::string* error);

    // Removes the folder or key and gives XDG_CONFIG_HOME or HKEY_CURRENT_USER back.
    ~PrivateUserStore();
    PrivateUserStore(const PrivateUserStore&) = delete;
    PrivateUserStore& operator=(const PrivateUserStore&) = delete;

    // Empties the private store: afterwards it is as on a machine where no instance ever ran.
    // False when something in it could not be removed.
    bool clear();

    // Linux: the folder XDG_CONFIG_HOME names while the object lives. Windows: the private key's
    // path below the real HKEY_CURRENT_USER.
    const std::string& location() const { return location_; }

  private:
    PrivateUserStore() = default;

    std::string location_;
#ifdef _WIN32
    void* key_ = nullptr;  // the private key's HKEY
#else
    bool hadConfigHome_ = false;
    std::string previousConfigHome_;
    RemovedOnSignal removal_;  // the folder, removed by the cleanup signals
#endif
};

}  // namespace platform

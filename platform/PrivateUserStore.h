// A private, temporary per-user store for command-line tools (qrx-render, qrx-bench, qrx-shot).
//
// A plug-in reads its stored default bank and preset, path texts and meter settings from the
// per-user store when it is constructed and writes some of them when it closes. A tool that loads
// a plug-in would therefore render differently for different users and rewrite their store. A
// PrivateUserStore points XDG_CONFIG_HOME at a new temporary folder for the life of the object:
// empty (factory state), or a copy of the user's store (the user's defaults, read only: whatever
// the plug-in writes lands in the copy). The folder is removed when the object dies and also when
// the process is ended by SIGINT, SIGTERM, SIGHUP or SIGQUIT.
//
// Threads: create it on the main thread before any plug-in is loaded, at most one at a time.
#pragma once

#include <memory>
#include <string>

namespace platform {

class PrivateUserStore {
  public:
    enum class Start {
        Empty,        // as on a machine where no instance ever ran
        UserDefaults  // a copy of the user's store (folders and small regular files)
    };

    // Creates the folder (and copy) and points XDG_CONFIG_HOME at it; null with a one-line
    // `error` when the folder cannot be made.
    static std::unique_ptr<PrivateUserStore> create(Start start, std::string* error);

    // Removes the folder and gives XDG_CONFIG_HOME its previous value back.
    ~PrivateUserStore();
    PrivateUserStore(const PrivateUserStore&) = delete;
    PrivateUserStore& operator=(const PrivateUserStore&) = delete;

    // The folder XDG_CONFIG_HOME names while the object lives.
    const std::string& folder() const { return folder_; }

  private:
    PrivateUserStore() = default;

    std::string folder_;
    bool hadConfigHome_ = false;
    std::string previousConfigHome_;
};

}  // namespace platform

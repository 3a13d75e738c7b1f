// The adaptor's process group: registers "QRX TinyPress" and its four plug-in types with the
// host plug-in library and creates a process per instance. Main thread.
#pragma once

#include <string>

#include "nrtx/ProcessGroup.h"

class CWrapperProcessGroup : public CProcessGroup {
  public:
    // `pluginFile`: the VST library each process loads (tinypress.so unless a host program
    // names another one through QRX_WRAPPER_PLUGIN).
    explicit CWrapperProcessGroup(std::string pluginFile);

    static constexpr std::uint32_t kManufacturerId = nrtx::fourCC("QRXa");
    static constexpr std::uint32_t kProductId = nrtx::fourCC("Qrtp");

  private:
    std::string pluginFile_;
};

// The plug-in file the group is made with: QRX_WRAPPER_PLUGIN when set and not empty, else
// tinypress.so.
std::string wrappedPluginFile();

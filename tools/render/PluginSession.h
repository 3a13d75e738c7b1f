// One plug-in loaded for an offline render: locating the library, programs and parameters by
// name, and the meter feed of our own plug-ins. Main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dsp/MeterFeed.h"
#include "editor/ParamUnits.h"
#include "host/VstHost.h"

namespace render {

// "grandpress", "tinypress" (any letter case) or a path to a plug-in library. Names are looked
// for beside the tool's build folder, in $VST_PATH (colon-separated; on Windows
// semicolon-separated), and on Linux in ~/.vst and /usr/lib/vst. Empty with one line in `error`
// when not found: a path that does not exist, or an unknown name with the nearest known one.
std::string findPlugin(const std::string& nameOrPath, std::string* error);

class PluginSession {
  public:
    bool load(const std::string& path, int sampleRate, int blockSize, std::string* error);

    host::Plugin& plugin() { return *instance; }
    std::vector<std::string> programNames();
    // Makes program `nameOrIndex` current: a name (case-insensitive) or an index. An unknown name
    // is refused with the nearest one, an index out of range with the range.
    bool selectProgram(const std::string& nameOrIndex, std::string* error);
    std::string currentProgramName() { return instance->programName(); }
    // Loads a bank file ("qrb") into all sixteen programs and makes program 0 current, or a
    // preset file ("qrx") into the current program, as the preset bar does. `reversed` is the
    // endian-reversed choice. Only our own plug-ins take these files.
    bool loadBankFile(const std::string& path, bool reversed, std::string* error);
    bool loadPresetFile(const std::string& path, bool reversed, std::string* error);
    // The parameter index for an index or a name without its padding blanks; -1 if unknown.
    int findParameter(const std::string& nameOrIndex);
    std::string parameterName(int index);  // without padding blanks
    // "unknown parameter 'X' (did you mean 'Y'?)".
    std::string unknownParameter(const std::string& name);
    // Our own plug-ins: parameter `index` in physical units; null for any other plug-in.
    const units::Param* unitParam(int index);
    // The meter feed of our own plug-ins; null for any other plug-in.
    const MeterFeed* meterFeed();
    // Our own plug-ins: the baseline kernels instead of the best this processor runs. The name
    // of the instruction set in use ("x86-64", "AVX2+FMA"); "" for any other plug-in.
    void useBaselineKernels();
    std::string instructionSet();

  private:
    std::unique_ptr<host::Plugin> instance;
};

std::string trimmed(const std::string& text);

}  // namespace render

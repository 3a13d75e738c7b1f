// The LV2 face of an engine: which of its host parameters are control ports, their symbols, and
// the conversion between a port's physical value and the engine's normalised value. Everything
// comes from the engine's own parameter table (units::Param rows of editor/ParamUnits.h): the
// generator of the bundles' Turtle files, the plug-in and its UI read the same PortTable, so the
// files and the code cannot disagree.
//
// Port order (indices are stable; new ports may only be appended):
//   0, 1  audio in left, right          4, 5  audio out left, right
//   2, 3  side-chain in left, right     6     latency (samples, output)
//   7, 8  gain of each channel (dB, output; negative while compressing)
//   9...  one control input per host parameter that carries sound or a setting, in parameter
//         order. Parameters the engine keeps but that drive nothing (spare and hidden rows) are
//         no ports: they travel in the state and the presets.
//
// Pure data and functions; any thread; nothing allocates after construction.
#pragma once

#include <cstdint>

#include "editor/ParamUnits.h"
#include "presets/CompressorEffect.h"
#include "presets/ProgramStore.h"

namespace qrxlv2 {

// Our own namespace for every URI of the bundles (the vendor's web address).
inline constexpr const char* kProjectUri = "http://www.qrx-soundwerk.com/lv2/";

enum FixedPort : std::uint32_t {
    kInLeft = 0,
    kInRight,
    kSideLeft,
    kSideRight,
    kOutLeft,
    kOutRight,
    kLatencyPort,
    kGainLeft,
    kGainRight,
    kFirstControlPort,
};

// What the adaptor needs of one engine, all from the engine's public interface.
struct Engine {
    const char* name;   // "grandpress": bundle qrx-grandpress.lv2, URI kProjectUri + name
    const char* label;  // "QRX GrandPress"
    std::uint32_t uniqueId;
    VstInt16 panelHeight;
    const units::Param& (*param)(int index);
    void (*display)(int index, float v, char* text);
    const FactoryProgram* programs;
    // Makes the effect; null when it cannot be made. The UI passes the editor factory, the
    // plug-in none.
    CompressorEffect* (*create)(audioMasterCallback host, EditorFactory editor);
};

// The gain ports' range in dB; values beyond it are clamped.
inline constexpr float kGainPortMinDb = -60.0f;
inline constexpr float kGainPortMaxDb = 12.0f;
// A gain factor as the gain ports report it.
float gainPortDb(double gain) noexcept;

class PortTable {
  public:
    static constexpr int kSymbolSize = 24;

    explicit PortTable(const Engine& engine);

    const Engine& engine() const { return engine_; }
    int controlCount() const { return controls_; }
    std::uint32_t portCount() const { return kFirstControlPort + controls_; }
    // The parameter of control port `port`, or -1 for any other port.
    int parameterOf(std::uint32_t port) const noexcept;
    // The control port of parameter `index`, or -1 when it has none.
    int portOf(int index) const noexcept;
    // Parameter of the k-th control port (0 <= k < controlCount()).
    int parameterAt(int k) const noexcept { return parameters_[k]; }
    const units::Param& param(int index) const { return engine_.param(index); }
    // The port symbol: the parameter's name in lower case without blanks and punctuation.
    const char* symbol(int index) const;

    // The port value that stands for normalised `v`: the physical value in the port's unit
    // (dB, ms, s, Hz, kHz, %, the ratio), or the step number of switches and named steps.
    float portValue(int index, float v) const noexcept;
    // The normalised value of port value `x`: the inverse the editor's typed entry uses. Where a
    // float port value cannot tell several normalised values apart, the one with the fewest
    // decimals wins, so the values of programs and presets come back bit for bit.
    float normalised(int index, float x) const noexcept;

  private:
    const Engine& engine_;
    int controls_ = 0;
    int parameters_[kNumProgramParams] = {};
    int ports_[kNumProgramParams] = {};
    char symbols_[kNumProgramParams][kSymbolSize] = {};
};

}  // namespace qrxlv2

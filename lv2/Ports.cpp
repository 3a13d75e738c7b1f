#include "lv2/Ports.h"

#include <cctype>
#include <cmath>

namespace qrxlv2 {

float gainPortDb(double gain) noexcept {
    if (!(gain > 0.0)) return kGainPortMinDb;  // also a NaN
    const double db = 20.0 * std::log10(gain);
    return static_cast<float>(db < kGainPortMinDb ? kGainPortMinDb
                                                  : (db > kGainPortMaxDb ? kGainPortMaxDb : db));
}

PortTable::PortTable(const Engine& engine) : engine_(engine) {
    for (int i = 0; i < kNumProgramParams; ++i) {
        ports_[i] = -1;
        const units::Param& p = engine.param(i);
        char* s = symbols_[i];
        int n = 0;
        for (const char* c = p.name; *c && n < kSymbolSize - 1; ++c)
            if (std::isalnum(static_cast<unsigned char>(*c)))
                s[n++] = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        s[n] = 0;
        if (p.hidden || n == 0) continue;
        ports_[i] = static_cast<int>(kFirstControlPort) + controls_;
        parameters_[controls_++] = i;
    }
}

int PortTable::parameterOf(std::uint32_t port) const noexcept {
    if (port < kFirstControlPort || port >= portCount()) return -1;
    return parameters_[port - kFirstControlPort];
}

int PortTable::portOf(int index) const noexcept {
    return index >= 0 && index < kNumProgramParams ? ports_[index] : -1;
}

const char* PortTable::symbol(int index) const {
    return index >= 0 && index < kNumProgramParams ? symbols_[index] : "";
}

float PortTable::portValue(int index, float v) const noexcept {
    return static_cast<float>(units::physicalOf(param(index), v));
}

float PortTable::normalised(int index, float x) const noexcept {
    const units::Param& p = param(index);
    const float nearest = units::normalisedOf(p, x);
    if (p.kind != units::Kind::Continuous || !std::isfinite(x)) return nearest;
    // The port value is a float: near the ends of steep curves several normalised values give
    // the same one. The shortest decimal among them is the value a program or a person wrote.
    double scale = 1.0;
    for (int decimals = 1; decimals <= 8; ++decimals) {
        scale *= 10.0;
        const auto candidate = static_cast<float>(std::round(nearest * scale) / scale);
        if (candidate >= 0.0f && candidate <= 1.0f &&
            static_cast<float>(units::physicalOf(p, candidate)) == x)
            return candidate;
    }
    return nearest;
}

}  // namespace qrxlv2

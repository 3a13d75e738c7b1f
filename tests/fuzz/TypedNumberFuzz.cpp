// parseTypedNumber on any text the user can type into a read-out, and the entry rules of both
// panels on the result: the number is never NaN, has the sign of its text, is finite while the
// text has fewer digits than a double can hold, and every read-out turns it (clamped into its
// range, as the editor does) into a finite value, and its read-out text fits its buffer.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "editor/PanelLayout.h"
#include "editor/ReadoutText.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

void entryRules(const panel::Layout& layout, double x) {
    for (const panel::ReadoutSpec& spec : layout.readouts) {
        const double clamped = std::clamp(x, spec.min, spec.max);
        // The editor clamps the rule's result into 0..1 (some ranges reach past the parameter's
        // ends on purpose); what it cannot mend is a rule that does not answer a number.
        const double v = spec.entry(clamped);
        if (!std::isfinite(v)) {
            std::fprintf(stderr, "%s read-out %d: %.17g -> %.17g\n", layout.name, spec.tag, clamped,
                         v);
            FUZZ_CHECK(false, "an entry rule answers no finite number inside its range");
        }
        for (const auto occasion :
             {readout::Occasion::Open, readout::Occasion::Hover, readout::Occasion::HostUpdate}) {
            char text[readout::kTextSize + 16];
            std::memset(text, 0x7F, sizeof text);
            readout::format(spec.kind, occasion, clamped, text);
            FUZZ_CHECK(std::memchr(text, 0, readout::kTextSize) != nullptr,
                       "a read-out text overflows its buffer");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);  // ends at a NUL byte
    const double x = readout::parseTypedNumber(text.c_str());
    FUZZ_CHECK(!std::isnan(x), "a typed number reads as NaN");

    const char* p = text.c_str();
    const bool negative = *p == '-';
    if (negative)
        FUZZ_CHECK(!(x > 0.0), "a text starting with '-' reads positive");
    else
        FUZZ_CHECK(!(x < 0.0), "a text without '-' reads negative");
    std::size_t digits = 0;
    for (const char* q = p + negative; *q >= '0' && *q <= '9'; ++q) ++digits;
    if (digits < 300) FUZZ_CHECK(std::isfinite(x), "a short typed number reads infinite");

    entryRules(panel::grandpressLayout(), x);
    entryRules(panel::tinypressLayout(), x);
    return 0;
}

// parseTypedNumber and the read-outs' unit reading on any text the user can type into a read-out,
// and the entry of both panels on the result: the number is never NaN, has the sign of its text,
// is finite while the text has fewer digits than a double can hold, and every read-out turns it
// (clamped into its range, as the editor does) into a normalised value in 0..1 through its
// engine, and its read-out text fits its buffer.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "editor/PanelLayout.h"
#include "editor/ReadoutText.h"
#include "grandpress/Parameters.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tinypress/Parameters.h"

namespace {

using Inverse = float (*)(int index, double value);

void entryRules(const panel::Layout& layout, Inverse inverse, const char* text) {
    for (const panel::ReadoutSpec& spec : layout.readouts) {
        const double typed = readout::typedValue(spec.kind, text);
        FUZZ_CHECK(!std::isnan(typed), "a typed value reads as NaN");
        const double clamped = std::clamp(typed, spec.min, spec.max);
        const double v = inverse(spec.parameter, readout::displayValueOfTyped(spec.kind, clamped));
        if (!(v >= 0.0 && v <= 1.0)) {
            std::fprintf(stderr, "%s read-out %d: %.17g -> %.17g\n", layout.name, spec.tag, clamped,
                         v);
            FUZZ_CHECK(false, "an entry answers no normalised value inside its range");
        }
        for (const auto occasion :
             {readout::Occasion::Open, readout::Occasion::Hover, readout::Occasion::HostUpdate}) {
            char shown[readout::kTextSize + 16];
            std::memset(shown, 0x7F, sizeof shown);
            readout::format(spec.kind, occasion, clamped, shown);
            FUZZ_CHECK(std::memchr(shown, 0, readout::kTextSize) != nullptr,
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

    entryRules(panel::grandpressLayout(), grandpress::normalisedOfEditorValue, text.c_str());
    entryRules(panel::tinypressLayout(), tinypress::normalisedOfEditorValue, text.c_str());
    return 0;
}

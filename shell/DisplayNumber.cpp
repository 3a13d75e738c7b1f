#include "shell/DisplayNumber.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {
constexpr std::size_t kMaxChars = 8;
}

std::size_t formatDisplayNumber(double value, int decimals, char* out) {
    out[0] = 0;
    const float narrowed = static_cast<float>(value) + 0.0f;  // + 0.0f folds -0 into 0
    const double v = narrowed;
    if (!std::isfinite(v) || v > 99999999.0 || v < -9999999.0) return 0;
    if (decimals < 0) decimals = 0;
    if (decimals > 7) decimals = 7;

    // Print with six significant digits (at least one digit past the kept ones), then cut. Six
    // digits are below single precision, so a float that stands for a decimal reads as that
    // decimal: 2.8f (2.7999999523) gives "2.80000" -> "2.80", while 3.169 still reads "3.16".
    int integerDigits = 1;
    for (double magnitude = std::fabs(v); magnitude >= 10.0 && integerDigits < 9; magnitude /= 10.0)
        ++integerDigits;
    const int printed = std::max(6 - integerDigits, decimals + 1);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.*f", printed, v);
    const char* point = std::strchr(buffer, '.');
    const std::size_t integerLength =
        point ? static_cast<std::size_t>(point - buffer) : std::strlen(buffer);
    std::size_t keep = integerLength;
    if (decimals > 0 && integerLength + 2 <= kMaxChars) {
        const std::size_t room = kMaxChars - integerLength - 1;
        keep =
            integerLength + 1 +
            (static_cast<std::size_t>(decimals) < room ? static_cast<std::size_t>(decimals) : room);
    }
    if (keep > kMaxChars) keep = kMaxChars;  // only reachable by a carry such as 99999999.96
    std::memcpy(out, buffer, keep);
    out[keep] = 0;
    return keep;
}

void formatDisplayValue(double value, int decimals, const char* unit, char* out) {
    const std::size_t n = formatDisplayNumber(value, decimals, out);
    std::strcpy(out + n, unit);
}

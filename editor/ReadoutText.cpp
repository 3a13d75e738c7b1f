#include "editor/ReadoutText.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "shell/DisplayNumber.h"

namespace readout {
namespace {

// The dB read-outs: a half unit of the last digit away from zero, then truncated.
void dbText(double v, double roundUpFrom, bool inclusive, char* out) {
    const bool up = inclusive ? v >= roundUpFrom : v > roundUpFrom;
    formatDisplayValue(up ? v + 0.005 : v - 0.005, 2, "dB", out);
}

void tiltText(double v, char* out) {
    if (v < -0.5)
        formatDisplayValue(0.5 - v, 0, "L", out);
    else if (v > 0.5)
        formatDisplayValue(v + 0.5, 0, "R", out);
    else
        std::strcpy(out, "C");
}

void ratioText(double v, Occasion occasion, char* out) {
    // The top steps (12 and 64 to 1) read as infinite; a host update only calls 64:1 that.
    const double infiniteAbove = occasion == Occasion::HostUpdate ? 20.0 : 10.0;
    if (v > infiniteAbove) {
        std::strcpy(out, "oo : 1");
        return;
    }
    if (occasion == Occasion::Open)
        formatDisplayValue(v + 0.05, 1, " : 1", out);
    else
        formatDisplayValue(v + 0.005, 2, " : 1", out);
}

void attackText(double v, Occasion occasion, char* out) {
    const bool open = occasion == Occasion::Open;
    if (v < 1)
        formatDisplayValue(open ? v : v + 0.0005, 3, "ms", out);
    else if (v < 10)
        formatDisplayValue(open ? v : v + 0.005, 2, "ms", out);
    else if (v < 100)
        formatDisplayValue(open ? v : v + 0.05, 1, "ms", out);
    else if (!open || v < 1000)
        formatDisplayValue(open ? v : v + 0.5, 0, "ms", out);
    else
        formatDisplayValue(v * 0.001, 2, "s", out);
}

void releaseText(double v, Occasion occasion, char* out) {
    const bool open = occasion == Occasion::Open;
    if (v < 1000)
        formatDisplayValue(open ? v : v + 0.5, 0, "ms", out);
    else
        formatDisplayValue(open ? v * 0.001 : v * 0.001 + 0.005, 2, "s", out);
}

}  // namespace

void format(Kind kind, Occasion occasion, double v, char* out) {
    const bool open = occasion == Occasion::Open;
    out[0] = 0;
    switch (kind) {
        case Kind::Threshold:
            if (open)
                formatDisplayValue(v, 2, "dB", out);
            else
                dbText(v, -0.0025, true, out);
            break;
        case Kind::Gain:
            if (open)
                formatDisplayValue(v, 2, "dB", out);
            else
                dbText(v, -0.0025, false, out);
            break;
        case Kind::Ratio:
            ratioText(v, occasion, out);
            break;
        case Kind::Attack:
            attackText(v, occasion, out);
            break;
        case Kind::Release:
            releaseText(v, occasion, out);
            break;
        case Kind::High:
            formatDisplayValue(v * 0.001 + 0.05, 1, "kHz", out);
            break;
        case Kind::Low:
            formatDisplayValue(open ? v : v + 0.5, 0, "Hz", out);
            break;
        case Kind::Percent:
            formatDisplayValue(open ? v : v + 0.5, 0, "%", out);
            break;
        case Kind::Tilt:
            tiltText(v, out);
            break;
    }
}

double parseTypedNumber(const char* text) {
    if (!text || !((*text >= '0' && *text <= '9') || *text == '-')) return 0.0;
    const char* p = text;
    double sign = 1.0;
    if (*p == '-') {
        sign = -1.0;
        ++p;
    }
    double integer = 0.0;
    while (*p >= '0' && *p <= '9') integer = integer * 10.0 + (*p++ - '0');
    double scale = 1.0;
    double fraction = 0.0;
    if (*p == ',' || *p == '.' || *p == 'k') {
        if (*p == 'k') scale = 1000.0;
        ++p;
        double place = 0.1;
        while (*p >= '0' && *p <= '9') {
            fraction += (*p++ - '0') * place;
            place *= 0.1;
        }
    }
    return sign * (integer + fraction) * scale;
}

float ratioStepValue(double x) {
    // Lower bounds (exclusive) between neighbouring steps of the ratio table, from the top, and
    // a normalised value inside each step.
    static constexpr struct {
        double above;
        float value;
    } kSteps[] = {
        {14, 1.0f},    {10, 0.96f},    {7, 0.91f},     {5, 0.86f},    {3.6, 0.81f},
        {2.95, 0.76f}, {2.5, 0.71f},   {2.1, 0.66f},   {1.75, 0.61f}, {1.5, 0.56f},
        {1.34, 0.51f}, {1.24, 0.46f},  {1.14, 0.41f},  {1.04, 0.36f}, {0.94, 0.31f},
        {0.87, 0.26f}, {0.795, 0.21f}, {0.739, 0.16f}, {0.66, 0.11f}, {0.549, 0.06f},
    };
    for (const auto& s : kSteps)
        if (x > s.above) return s.value;
    return 0.0f;
}

void millisecondsText(float value, char* out) {
    const double v = value;
    if (v < 0.0001)
        std::strcpy(out, "0ms");
    else if (v < 1)
        formatDisplayValue(v, 3, "ms", out);
    else if (v < 10)
        formatDisplayValue(v, 2, "ms", out);
    else if (v < 100)
        formatDisplayValue(v, 1, "ms", out);
    else if (v < 1000)
        formatDisplayValue(v, 0, "ms", out);
    else
        formatDisplayValue(v * 0.001, 3, "s", out);
}

void dbfsText(float value, char* out) {
    if (!(value > 1e-8f)) {
        std::strcpy(out, "-oo dBFS");
        return;
    }
    const double a = 6.0 * std::log10(static_cast<double>(value)) / std::log10(2.0);
    const int whole = static_cast<int>(a);  // toward zero
    const int tenth = static_cast<int>(std::fabs(a - whole) * 10.0);
    if (a >= 0 || a <= -1)
        std::snprintf(out, 256, "%d.%ddBFS", whole, tenth);
    else
        std::snprintf(out, 256, "-%d.%ddBFS", whole, tenth);
}

void samplesText(float value, char* out) {
    if (!(value >= 1.0f))
        std::strcpy(out, "0smps");
    else
        std::snprintf(out, 256, "%dsmps", static_cast<int>(value));
}

void integerText(float value, char* out) {
    std::snprintf(out, 256, "%d", static_cast<int>(value));
}

}  // namespace readout

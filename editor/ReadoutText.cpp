#include "editor/ReadoutText.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/ParamUnits.h"
#include "shell/DisplayNumber.h"

namespace readout {
namespace {

// The unit a read-out's text shows, which a bare typed number is taken in.
units::Unit typedUnit(Kind kind) {
    switch (kind) {
        case Kind::Threshold:
        case Kind::Gain:
            return units::Unit::Decibel;
        case Kind::Ratio:
            return units::Unit::Ratio;
        case Kind::Attack:
        case Kind::Release:
            return units::Unit::Millisecond;
        case Kind::High:
            return units::Unit::Kilohertz;
        case Kind::Low:
            return units::Unit::Hertz;
        case Kind::Percent:
            return units::Unit::Percent;
        case Kind::Tilt:
            return units::Unit::Balance;
    }
    return units::Unit::None;
}

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
    double value = 0.0;
    return units::scanNumber(text, &value) ? value : 0.0;
}

double typedValue(Kind kind, const char* text) {
    units::Quantity q;
    double x = 0.0;
    if (units::readQuantity(text, &q) && units::convert(q, typedUnit(kind), &x)) return x;
    return parseTypedNumber(text);
}

double displayValueOfTyped(Kind kind, double typed) {
    // The High read-out shows kHz of a value in Hz.
    return kind == Kind::High ? typed * 1000.0 : typed;
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

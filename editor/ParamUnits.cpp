#include "editor/ParamUnits.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace units {
namespace {

int clampStep(const Param& p, int k) {
    return k < 0 ? 0 : (k >= p.steps ? p.steps - 1 : k);
}

// The physical value of step k.
double stepPhysical(const Param& p, int k) {
    return p.kind == Kind::Stepped && p.value ? p.value(stepValue(p, k)) : k;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

const char* skipBlanks(const char* s) {
    while (isBlank(*s)) ++s;
    return s;
}

// Whether `text` with blanks around it removed equals `word`, case ignored.
bool sameWord(const char* text, const char* word) {
    text = skipBlanks(text);
    word = skipBlanks(word);
    std::size_t n = std::strlen(word);
    while (n > 0 && isBlank(word[n - 1])) --n;
    for (std::size_t i = 0; i < n; ++i, ++text)
        if (std::tolower(static_cast<unsigned char>(*text)) !=
            std::tolower(static_cast<unsigned char>(word[i])))
            return false;
    return *skipBlanks(text) == 0;
}

struct UnitWord {
    const char* word;
    Unit unit;
};
// Written after a number. "L" and "R" are the two sides of a balance.
constexpr UnitWord kUnitWords[] = {
    {"dB", Unit::Decibel},    {"ms", Unit::Millisecond}, {"s", Unit::Second}, {"Hz", Unit::Hertz},
    {"kHz", Unit::Kilohertz}, {"%", Unit::Percent},      {":1", Unit::Ratio}, {": 1", Unit::Ratio},
    {"L", Unit::Balance},     {"R", Unit::Balance},
};

// The infinite ratio, as the read-outs write it, with or without ":1".
bool isInfiniteRatio(const char* text) {
    for (const char* word : {"oo", "inf"}) {
        const std::size_t n = std::strlen(word);
        const char* s = skipBlanks(text);
        std::size_t i = 0;
        while (i < n && (s[i] | 0x20) == word[i]) ++i;
        if (i < n) continue;
        s = skipBlanks(s + n);
        if (*s == 0 || sameWord(s, ":1") || sameWord(s, ": 1")) return true;
    }
    return false;
}

}  // namespace

double physicalOf(const Param& p, float v) {
    switch (p.kind) {
        case Kind::Switch:
            return clampStep(p, p.step(v));
        case Kind::Stepped:
            return p.value ? p.value(v) : clampStep(p, p.step(v));
        case Kind::Continuous:
            break;
    }
    return p.value ? p.value(v) : v;
}

Range rangeOf(const Param& p) {
    double a = 0.0, b = 1.0;
    if (p.kind != Kind::Continuous) {
        a = stepPhysical(p, 0);
        b = stepPhysical(p, p.steps - 1);
    } else if (p.value) {
        a = p.value(0.0f);
        b = p.value(1.0f);
    }
    return a <= b ? Range{a, b} : Range{b, a};
}

double defaultOf(const Param& p) {
    return physicalOf(p, p.defaultValue);
}

float stepValue(const Param& p, int k) {
    if (p.steps <= 1) return 0.0f;
    const double last = p.steps - 1;
    // A typed ratio has always set an inner step k to (k + 0.2) / 20 (0.66 for step 13): hosts and
    // stored programs keep those values.
    const bool ratioStep = p.unit == Unit::Ratio && k > 0 && k < p.steps - 1;
    auto v = static_cast<float>((k + (ratioStep ? 0.2 : 0.0)) / last);
    if (p.step && p.step(v) != k) v = static_cast<float>((k + 0.5) / last);
    return v > 1.0f ? 1.0f : v;
}

float normalisedOf(const Param& p, double x) {
    if (std::isnan(x)) return 0.0f;
    const Range r = rangeOf(p);
    x = x < r.min ? r.min : (x > r.max ? r.max : x);
    if (p.kind != Kind::Continuous) {
        int best = 0;
        double bestDistance = INFINITY;
        for (int k = 0; k < p.steps; ++k) {
            const double s = stepPhysical(p, k);
            const double d = p.curve == Curve::Exponential && s > 0.0 && x > 0.0
                                 ? std::fabs(std::log(x / s))
                                 : std::fabs(x - s);
            if (d < bestDistance) {
                bestDistance = d;
                best = k;
            }
        }
        return stepValue(p, best);
    }
    if (!p.value) return static_cast<float>(x);
    const double a = p.value(0.0f), b = p.value(1.0f);
    const double t =
        p.curve == Curve::Exponential ? std::log(x / a) / std::log(b / a) : (x - a) / (b - a);
    return static_cast<float>(t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t));
}

const char* scanNumber(const char* text, double* value) {
    if (!text || !((*text >= '0' && *text <= '9') || *text == '-')) return nullptr;
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
    *value = sign * (integer + fraction) * scale;
    return p;
}

bool readQuantity(const char* text, Quantity* quantity) {
    if (!text) return false;
    if (sameWord(text, "C")) {
        *quantity = {0.0, Unit::Balance, false};
        return true;
    }
    if (isInfiniteRatio(text)) {
        *quantity = {INFINITY, Unit::Ratio, false};
        return true;
    }
    const char* s = skipBlanks(text);
    if (*s == '+' && s[1] >= '0' && s[1] <= '9') ++s;
    double value = 0.0;
    const char* end = scanNumber(s, &value);
    if (!end || (*s == '-' && end == s + 1)) return false;
    if (*skipBlanks(end) == 0) {
        *quantity = {value, Unit::None, std::memchr(s, 'k', end - s) != nullptr};
        return true;
    }
    for (const UnitWord& u : kUnitWords) {
        if (!sameWord(end, u.word)) continue;
        const bool left = u.unit == Unit::Balance && (*skipBlanks(end) | 0x20) == 'l';
        *quantity = {left ? -value : value, u.unit, false};
        return true;
    }
    return false;
}

bool convert(const Quantity& q, Unit target, double* out) {
    struct Scaled {
        Unit from, to;
        double factor;
    };
    static constexpr Scaled kConversions[] = {
        {Unit::Millisecond, Unit::Second, 0.001},
        {Unit::Second, Unit::Millisecond, 1000.0},
        {Unit::Hertz, Unit::Kilohertz, 0.001},
        {Unit::Kilohertz, Unit::Hertz, 1000.0},
    };
    // "2k5" is 2500 of the smaller unit: Hz for frequencies in kHz, ms for times in s.
    const Unit from = q.unit != Unit::None        ? q.unit
                      : !q.kilo                   ? target
                      : target == Unit::Kilohertz ? Unit::Hertz
                      : target == Unit::Second    ? Unit::Millisecond
                                                  : target;
    if (from == target) {
        *out = q.value;
        return true;
    }
    for (const Scaled& c : kConversions) {
        if (c.from == from && c.to == target) {
            *out = q.value * c.factor;
            return true;
        }
    }
    return false;
}

int stepOfText(const Param& p, const char* text) {
    if (p.kind == Kind::Continuous || !text) return -1;
    for (int k = 0; k < p.steps && k < 3; ++k)
        if (p.texts[k] && p.texts[k][0] && sameWord(text, p.texts[k])) return k;
    if (p.kind == Kind::Switch) {
        if (sameWord(text, "on")) return 1;
        if (sameWord(text, "off")) return 0;
    }
    return -1;
}

Setting readSetting(const Param& p, const char* text) {
    Setting s;
    if (const int k = stepOfText(p, text); k >= 0) {
        s = {Status::Ok, stepValue(p, k), true};
        return s;
    }
    Quantity q;
    if (!readQuantity(text, &q)) return s;
    if (q.unit == Unit::None && !q.kilo) {
        if (!(q.value >= 0.0 && q.value <= 1.0)) {
            s.status = Status::NormalisedRange;
            return s;
        }
        s = {Status::Ok, static_cast<float>(q.value), false};
        return s;
    }
    s.physical = true;
    double x = 0.0;
    if (p.unit == Unit::None || !convert(q, p.unit, &x)) {
        s.status = Status::WrongUnit;
        return s;
    }
    const Range r = rangeOf(p);
    if (std::isinf(x) && p.unit == Unit::Ratio) x = x > 0 ? r.max : r.min;
    const double slack = 0.5 * std::pow(10.0, -p.decimals);
    if (!(x >= r.min - slack && x <= r.max + slack)) {
        s.status = Status::OutOfRange;
        return s;
    }
    s.status = Status::Ok;
    s.normalised = normalisedOf(p, x);
    return s;
}

Unit unitOfDisplay(const char* suffix) {
    static constexpr UnitWord kDisplayUnits[] = {
        {"dB", Unit::Decibel}, {"ms", Unit::Millisecond}, {"s", Unit::Second},
        {"Hz", Unit::Hertz},   {"kHz", Unit::Kilohertz},  {"%", Unit::Percent},
        {" : 1", Unit::Ratio},
    };
    if (suffix)
        for (const UnitWord& u : kDisplayUnits)
            if (std::strcmp(suffix, u.word) == 0) return u.unit;
    return Unit::None;
}

const char* unitName(Unit unit) {
    switch (unit) {
        case Unit::None:
            return "";
        case Unit::Decibel:
            return "dB";
        case Unit::Millisecond:
            return "ms";
        case Unit::Second:
            return "s";
        case Unit::Hertz:
            return "Hz";
        case Unit::Kilohertz:
            return "kHz";
        case Unit::Percent:
            return "%";
        case Unit::Ratio:
            return ":1";
        case Unit::Balance:
            return "L..R";
    }
    return "";
}

void formatPhysical(const Param& p, double x, char* out, std::size_t size) {
    if (p.kind != Kind::Continuous && !(p.kind == Kind::Stepped && p.value)) {
        const int k = clampStep(p, static_cast<int>(std::lround(x)));
        const char* text = k < 3 ? p.texts[k] : nullptr;
        if (text && text[0]) {
            text = skipBlanks(text);
            std::size_t n = std::strlen(text);
            while (n > 0 && isBlank(text[n - 1])) --n;
            std::snprintf(out, size, "%.*s", static_cast<int>(n), text);
        } else if (p.kind == Kind::Switch) {
            std::snprintf(out, size, "%s", k ? "on" : "off");
        } else {
            std::snprintf(out, size, "%d", k);
        }
        return;
    }
    switch (p.unit) {
        case Unit::None:
            std::snprintf(out, size, "%.6g", x);
            break;
        case Unit::Ratio:
            std::snprintf(out, size, "%.*f:1", p.decimals, x);
            break;
        case Unit::Balance:
            if (std::fabs(x) < 0.5)
                std::snprintf(out, size, "C");
            else
                std::snprintf(out, size, "%.0f%s", std::fabs(x), x < 0 ? "L" : "R");
            break;
        default:
            std::snprintf(out, size, "%.*f %s", p.decimals, x, unitName(p.unit));
            break;
    }
}

}  // namespace units

#include "wrapper/WrapperControls.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "wrapper/CPluginWrapper.h"

namespace wrapper {
namespace {

constexpr int kTextBuffer = 256;  // effects often write more than the 8 characters VST allows

ParamDescriptor makeDefaultDescriptor() {
    return {99, 0.0, 1.0, 0.01, 0.5, 2.0, 1};
}

struct DescriptorTable {
    DescriptorTable() {
        std::fill(std::begin(entries), std::end(entries), makeDefaultDescriptor());
    }
    ParamDescriptor entries[kNumDescriptors];
    ParamDescriptor outside = makeDefaultDescriptor();
};

DescriptorTable& table() {
    static DescriptorTable t;  // filled at library load, before any process exists
    return t;
}
[[maybe_unused]] const bool tableFilledAtLoad = (table(), true);

std::string displayAt(CPluginWrapper& wrapper, int index, float value) {
    wrapper.SetParameter(index, value);
    char text[kTextBuffer] = {};
    wrapper.GetParameterDisplay(index, text);
    text[kTextBuffer - 1] = '\0';
    return text;
}

std::string labelOf(CPluginWrapper& wrapper, int index) {
    char text[kTextBuffer] = {};
    wrapper.GetParameterLabel(index, text);
    text[kTextBuffer - 1] = '\0';
    return text;
}

int slotCount(double minimum, double maximum, double step) {
    if (!(step > 0.0) || !(maximum > minimum)) return 2;
    const long n = std::lround((maximum - minimum) / step) + 1;
    return static_cast<int>(std::clamp(n, 2L, 4096L));
}

// Length of the decimal number at the start of `s` (sign, digits, one '.', digits).
size_t numberLength(const char* s, size_t n) {
    size_t i = 0;
    if (i < n && (s[i] == '-' || s[i] == '+')) ++i;
    size_t digits = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    if (i < n && s[i] == '.') {
        ++i;
        while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    }
    return digits > 0 ? i : 0;
}

double parseNumber(const char* s, size_t length) {
    if (*s == '+') ++s, --length;
    double value = 0.0;
    std::from_chars(s, s + length, value);
    return value;
}

}  // namespace

ParamDescriptor& paramDescriptor(int index) {
    if (index < 0 || index >= kNumDescriptors) return table().outside = makeDefaultDescriptor();
    return table().entries[index];
}

std::string controlNameOf(int index, const std::string& paramName) {
    return std::to_string(index) + ": " + paramName + "\n" + paramName.substr(0, 5) + "\n" +
           paramName.substr(0, 3) + "\n";
}

std::string cutAfterTwoDecimals(const std::string& text) {
    const auto dot = text.find('.');
    if (dot == std::string::npos) return text;
    int digits = 0;
    for (size_t i = dot + 1; i < text.size(); ++i)
        if (text[i] >= '0' && text[i] <= '9' && ++digits == 2) return text.substr(0, i + 1);
    return text;  // fewer than two digits behind the '.': nothing to cut
}

double leadingNumber(const std::string& text) {
    size_t start = 0;
    while (start < text.size() && text[start] == ' ') ++start;
    const size_t length = numberLength(text.data() + start, text.size() - start);
    return length ? parseNumber(text.data() + start, length) : 0.0;
}

bool readsAsNumber(const std::string& text, double* value) {
    size_t start = 0, end = text.size();
    while (start < end && text[start] == ' ') ++start;
    while (end > start && text[end - 1] == ' ') --end;
    const size_t length = numberLength(text.data() + start, end - start);
    if (length == 0 || start + length != end) return false;
    *value = parseNumber(text.data() + start, length);
    return true;
}

std::string replaceUnprintable(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c > 0x7A) return text.substr(0, i) + "oo dB";
    }
    return text;
}

std::unique_ptr<CPluginControl> makeMasterBypass() {
    return std::make_unique<CPluginControl_OnOff>("Master Bypass\nMstr Byp\nMBYP", false, "On",
                                                  "Off", true);
}

std::unique_ptr<CPluginControl> makeParameterControl(CPluginWrapper& wrapper, int index) {
    char nameText[kTextBuffer] = {};
    wrapper.GetParameterName(index, nameText);
    nameText[kTextBuffer - 1] = '\0';
    const std::string name = controlNameOf(index, nameText);
    const ParamDescriptor d = paramDescriptor(index);
    const float v = wrapper.GetParameter(index);

    if (d.kind == 0) {
        return std::make_unique<CPluginControl_VST_linear>(
            name, index, d.minimum, d.maximum, d.step, d.defaultValue, labelOf(wrapper, index));
    }
    if (d.kind == 2) {
        auto control =
            std::make_unique<CQRXPluginControl_Learn>(name, index, d.minimum, d.maximum, d.step, v);
        control->Learn(wrapper);
        return control;
    }

    const std::string label = labelOf(wrapper, index);
    const std::string d0 = cutAfterTwoDecimals(displayAt(wrapper, index, 0.0f));
    const std::string d49 = displayAt(wrapper, index, 0.49f);
    const std::string d50 = cutAfterTwoDecimals(displayAt(wrapper, index, 0.5f));
    const std::string d1 = cutAfterTwoDecimals(displayAt(wrapper, index, 1.0f));
    wrapper.SetParameter(index, v);

    if (d.kind == 3) {
        return std::make_unique<CPluginControl_OnOff>(name, v >= 0.5f, d1, d0, true);
    }
    const double a0 = leadingNumber(d0), a50 = leadingNumber(d50), a1 = leadingNumber(d1);
    if (a1 > a0 && a0 + (a1 - a0) * 0.5 == a50) {
        return std::make_unique<CPluginControl_VST_linear>(name, index, a0, a1, 0.01, v, label);
    }
    if (d1 == d50 && d0 == d49 && d1 != d0) {
        return std::make_unique<CPluginControl_OnOff>(name, static_cast<int>(v + 0.5f) != 0, d1, d0,
                                                      true);
    }
    auto control = std::make_unique<CPluginControl_VST_Learn>(name, index, 0.0, 1.0, 0.01, v);
    control->Learn(wrapper);
    return control;
}

}  // namespace wrapper

CPluginControl_VST_linear::CPluginControl_VST_linear(std::string name, int paramIndex,
                                                     double minimum, double maximum, double step,
                                                     double defaultValue, std::string unit)
    : CPluginControl_Continuous(std::move(name), 0.0, 1.0, defaultValue, true),
      paramIndex_(paramIndex),
      displayMinimum_(minimum < maximum ? minimum : 0.0),
      displayMaximum_(minimum < maximum ? maximum : 1.0),
      steps_(step > 0.0 ? static_cast<int>(std::lround(1.0 / step)) : 100),
      unit_(std::move(unit)) {}

std::string CPluginControl_VST_linear::ContinuousToText(double x, int maxLength) const {
    return nrtx::formatNumber(displayMinimum_ + x * (displayMaximum_ - displayMinimum_), unit_,
                              maxLength);
}

CPluginControl_VST_Learn::CPluginControl_VST_Learn(std::string name, int paramIndex, double minimum,
                                                   double maximum, double step, double defaultValue)
    : CPluginControl_Continuous(std::move(name), minimum, maximum, defaultValue, true),
      paramIndex_(paramIndex),
      minimum_(minimum),
      maximum_(maximum),
      slots_(static_cast<size_t>(wrapper::slotCount(minimum, maximum, step))) {
    for (auto& slot : slots_) {
        slot.fill('\0');
        slot[0] = '0';
    }
}

void CPluginControl_VST_Learn::storeSlot(int k, const std::string& text) {
    auto& slot = slots_[static_cast<size_t>(k)];
    slot.fill('\0');
    std::memcpy(slot.data(), text.data(), std::min<size_t>(text.size(), kTextChars));
}

void CPluginControl_VST_Learn::Learn(CPluginWrapper& wrapper) {
    const float v = wrapper.GetParameter(paramIndex_);
    const int n = NumSlots();
    for (int i = 0; i < n; ++i) {
        const float x = static_cast<float>(i) / static_cast<float>(n - 1);
        storeSlot(i, wrapper::replaceUnprintable(wrapper::displayAt(wrapper, paramIndex_, x)));
    }
    wrapper.SetParameter(paramIndex_, v);
    const std::string label = wrapper::labelOf(wrapper, paramIndex_);
    if (!label.empty()) unit_ = label;
}

std::string CPluginControl_VST_Learn::ContinuousToText(double x, int maxLength) const {
    const int n = NumSlots();
    int k = static_cast<int>(x * (n - 1));  // truncation: the slot at or below x
    k = std::clamp(k, 0, n - 1);
    const std::string slot = SlotText(k);
    double number = 0.0;
    std::string text =
        wrapper::readsAsNumber(slot, &number) ? nrtx::formatNumber(number, unit_, maxLength) : slot;
    if (maxLength >= 0 && static_cast<int>(text.size()) > maxLength) text.resize(maxLength);
    return text;
}

void CQRXPluginControl_Learn::Learn(CPluginWrapper& wrapper) {
    const float v = wrapper.GetParameter(paramIndex_);
    const int n = NumSlots();
    for (int i = 0; i < n; ++i) {
        const float x = static_cast<float>(i) / static_cast<float>(n - 1);
        storeSlot(i, wrapper::displayAt(wrapper, paramIndex_, x));
    }
    wrapper.SetParameter(paramIndex_, v);
}

std::string CQRXPluginControl_Learn::ContinuousToText(double x, int maxLength) const {
    const int n = NumSlots();
    const double span = maximum_ > minimum_ ? maximum_ - minimum_ : 1.0;
    int k = static_cast<int>(std::lround((x - minimum_) * (n - 1) / span));
    k = std::clamp(k, 0, n - 1);
    std::string text = SlotText(k);
    if (maxLength >= 0 && static_cast<int>(text.size()) > maxLength) text.resize(maxLength);
    return text;
}

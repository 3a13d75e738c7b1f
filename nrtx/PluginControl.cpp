#include "nrtx/PluginControl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "nrtx/NrtxAbi.h"

namespace nrtx {

namespace {
constexpr double kControlSpan = 4294967295.0;  // kControlOn - kControlOff
}

std::int32_t controlValueFromUnit(double unit) {
    if (!(unit > 0.0)) return kControlOff;  // also NaN
    if (unit >= 1.0) return kControlOn;
    const double offset = std::nearbyint(unit * kControlSpan);
    return static_cast<std::int32_t>(static_cast<std::int64_t>(offset) + INT32_MIN);
}

double unitFromControlValue(std::int32_t value) {
    return (static_cast<double>(value) - static_cast<double>(INT32_MIN)) / kControlSpan;
}

std::string formatNumber(double value, const std::string& unit, int maxLength) {
    const double magnitude = std::fabs(value);
    const int decimals = magnitude < 10.0 ? 2 : magnitude < 100.0 ? 1 : 0;
    char number[48];
    std::snprintf(number, sizeof number, "%.*f", decimals, value);
    std::string text = number;
    if (!unit.empty()) text += " " + unit;
    if (maxLength >= 0 && static_cast<int>(text.size()) > maxLength) text.resize(maxLength);
    return text;
}

}  // namespace nrtx

CPluginControl::CPluginControl(std::string name, std::int32_t defaultValue, bool automatable)
    : name_(std::move(name)),
      defaultValue_(defaultValue),
      automatable_(automatable),
      value_(defaultValue) {}

CPluginControl_Continuous::CPluginControl_Continuous(std::string name, double minimum,
                                                     double maximum, double defaultValue,
                                                     bool automatable)
    : CPluginControl(std::move(name),
                     nrtx::controlValueFromUnit(
                         maximum > minimum ? (defaultValue - minimum) / (maximum - minimum) : 0.0),
                     automatable),
      minimum_(minimum),
      maximum_(maximum) {}

double CPluginControl_Continuous::ConvertControlToContinuous(std::int32_t value) const {
    return minimum_ + nrtx::unitFromControlValue(value) * (maximum_ - minimum_);
}

std::int32_t CPluginControl_Continuous::ConvertContinuousToControl(double continuous) const {
    if (!(maximum_ > minimum_)) return nrtx::kControlOff;
    return nrtx::controlValueFromUnit((continuous - minimum_) / (maximum_ - minimum_));
}

std::string CPluginControl_Continuous::GetValueString(std::int32_t value, int maxLength) const {
    std::string text = ContinuousToText(ConvertControlToContinuous(value), maxLength);
    if (maxLength >= 0 && static_cast<int>(text.size()) > maxLength) text.resize(maxLength);
    return text;
}

std::string CPluginControl_Continuous::ContinuousToText(double continuous, int maxLength) const {
    return nrtx::formatNumber(continuous, "", maxLength);
}

CPluginControl_OnOff::CPluginControl_OnOff(std::string name, bool defaultOn, std::string onText,
                                           std::string offText, bool automatable)
    : CPluginControl(std::move(name), defaultOn ? nrtx::kControlOn : nrtx::kControlOff,
                     automatable),
      onText_(std::move(onText)),
      offText_(std::move(offText)) {}

std::string CPluginControl_OnOff::GetValueString(std::int32_t value, int maxLength) const {
    std::string text = IsOn(value) ? onText_ : offText_;
    if (maxLength >= 0 && static_cast<int>(text.size()) > maxLength) text.resize(maxLength);
    return text;
}

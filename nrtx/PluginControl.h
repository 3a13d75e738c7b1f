// Control objects of the host plug-in library: what the host shows, automates and stores.
// Values are 32-bit host control values (nrtx::kControlOff .. nrtx::kControlOn).
//
// Threads: constructed, named and formatted on the host's main thread. The value is a relaxed
// atomic so the real-time thread may read it (the master bypass).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace nrtx {

// Host control value <-> 0..1. Both directions are exact at 0 and 1.
std::int32_t controlValueFromUnit(double unit);
double unitFromControlValue(std::int32_t value);

// The host library's number formatter: two decimals below 10, one below 100, none above, then
// a blank and the unit (no blank for an empty unit), cut to maxLength characters.
std::string formatNumber(double value, const std::string& unit, int maxLength);

}  // namespace nrtx

class CPluginControl {
  public:
    // `name`: lines from the longest to the shortest, each ended by '\n'.
    CPluginControl(std::string name, std::int32_t defaultValue, bool automatable);
    virtual ~CPluginControl() = default;

    const std::string& GetName() const { return name_; }
    bool IsAutomatable() const { return automatable_; }
    std::int32_t GetDefaultValue() const { return defaultValue_; }
    std::int32_t GetValue() const { return value_.load(std::memory_order_relaxed); }
    void SetValue(std::int32_t value) { value_.store(value, std::memory_order_relaxed); }

    virtual bool IsOnOff() const { return false; }
    // The text the host shows for `value`, at most maxLength characters.
    virtual std::string GetValueString(std::int32_t value, int maxLength) const = 0;

  private:
    std::string name_;
    std::int32_t defaultValue_;
    bool automatable_;
    std::atomic<std::int32_t> value_;
};

// A control over a continuous range; the display hook turns a value of that range into text.
class CPluginControl_Continuous : public CPluginControl {
  public:
    CPluginControl_Continuous(std::string name, double minimum, double maximum, double defaultValue,
                              bool automatable);

    double GetMinimum() const { return minimum_; }
    double GetMaximum() const { return maximum_; }
    double ConvertControlToContinuous(std::int32_t value) const;
    std::int32_t ConvertContinuousToControl(double continuous) const;
    double GetContinuous() const { return ConvertControlToContinuous(GetValue()); }

    std::string GetValueString(std::int32_t value, int maxLength) const final;
    // Display hook; the plain number by default.
    virtual std::string ContinuousToText(double continuous, int maxLength) const;

  private:
    double minimum_, maximum_;
};

class CPluginControl_OnOff : public CPluginControl {
  public:
    CPluginControl_OnOff(std::string name, bool defaultOn, std::string onText, std::string offText,
                         bool automatable);

    bool IsOnOff() const override { return true; }
    static bool IsOn(std::int32_t value) { return value >= 0; }
    const std::string& OnText() const { return onText_; }
    const std::string& OffText() const { return offText_; }
    std::string GetValueString(std::int32_t value, int maxLength) const override;

  private:
    std::string onText_, offText_;
};

// Host controls of the adaptor: the master bypass and one control per VST parameter, chosen by
// probing the effect's own display texts. All controls range over 0..1 in host terms, so a host
// control value is the VST normalised value.
// Main thread (construction, learning, value-to-text).
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "nrtx/PluginControl.h"

class CPluginWrapper;

namespace wrapper {

// Per-parameter override of the control kind. Kind 0: plain linear control from the entry's
// values; 2: learned control over the entry's range; 3: on/off; anything else (kind 99, the
// initial value of every entry): the automatic choice by probing.
struct ParamDescriptor {
    int kind;
    double minimum, maximum, step, defaultValue, further;
    int flag;
};
constexpr int kNumDescriptors = 1024;
// Entry `index` (0..1023); indices outside answer a shared entry of kind 99.
ParamDescriptor& paramDescriptor(int index);

// "u: N\nN5\nN3\n": the index and name, then the first 5 and first 3 characters of the name.
std::string controlNameOf(int index, const std::string& paramName);

// Cuts everything after the second digit behind the first '.'; a text with fewer digits there
// ("S.C.Ext", "1.5dB") stays whole.
std::string cutAfterTwoDecimals(const std::string& text);
// The leading decimal number of `text` (blanks skipped); 0 when there is none.
double leadingNumber(const std::string& text);
// True when all of `text` (blanks around it aside) is one decimal number, stored in *value.
bool readsAsNumber(const std::string& text, double* value);
// A character below 0x20 or above 0x7A and everything after it become "oo dB".
std::string replaceUnprintable(const std::string& text);

std::unique_ptr<CPluginControl> makeMasterBypass();
// Probes parameter `index` of the wrapper's effect and builds its control. The parameter keeps
// its value.
std::unique_ptr<CPluginControl> makeParameterControl(CPluginWrapper& wrapper, int index);

}  // namespace wrapper

class CPluginControl_VST_linear : public CPluginControl_Continuous {
  public:
    // Shows minimum + x (maximum - minimum) with `unit`; minimum >= maximum becomes 0..1.
    CPluginControl_VST_linear(std::string name, int paramIndex, double minimum, double maximum,
                              double step, double defaultValue, std::string unit);
    std::string ContinuousToText(double x, int maxLength) const override;
    double DisplayMinimum() const { return displayMinimum_; }
    double DisplayMaximum() const { return displayMaximum_; }
    int NumSteps() const { return steps_; }
    const std::string& Unit() const { return unit_; }

  private:
    int paramIndex_;
    double displayMinimum_, displayMaximum_;
    int steps_;
    std::string unit_;
};

// Display texts learned from the effect: slot k holds the text at k / (n - 1).
class CPluginControl_VST_Learn : public CPluginControl_Continuous {
  public:
    static constexpr int kSlotBytes = 16;
    static constexpr int kTextChars = 8;

    CPluginControl_VST_Learn(std::string name, int paramIndex, double minimum, double maximum,
                             double step, double defaultValue);
    // Reads the display text at every slot (non-ASCII tails become "oo dB"), then the label.
    virtual void Learn(CPluginWrapper& wrapper);
    std::string ContinuousToText(double x, int maxLength) const override;
    int NumSlots() const { return static_cast<int>(slots_.size()); }
    std::string SlotText(int k) const { return slots_[static_cast<size_t>(k)].data(); }
    const std::string& Unit() const { return unit_; }

  protected:
    void storeSlot(int k, const std::string& text);
    int paramIndex_;
    double minimum_, maximum_;
    std::vector<std::array<char, kSlotBytes>> slots_;
    std::string unit_;
};

// The descriptor-table variant (kind 2): n = (maximum - minimum) / step + 1 slots, learned
// without replacement or label, shown by the nearest slot.
class CQRXPluginControl_Learn : public CPluginControl_VST_Learn {
  public:
    using CPluginControl_VST_Learn::CPluginControl_VST_Learn;
    void Learn(CPluginWrapper& wrapper) override;
    std::string ContinuousToText(double x, int maxLength) const override;
};

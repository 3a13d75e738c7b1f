// The LV2 UI of both plug-ins: the same editor as the VST plug-ins (GrandPressEditor, through its
// AEffGUIEditor entry) embedded in the host's window (ui:parent), idled by the host
// (ui:idleInterface), its size told to the host (ui:resize).
//
// The editor works on an effect of its own that never processes audio. Between it and the
// plug-in:
// - ports, the LV2 way: a control the user changes is written to its port (with ui:touch around
//   drags, so the host records automation); a port value from the host moves the control. A port
//   value that stands for the control's value is neither applied nor written back.
// - with instance access (the host offers the plug-in's handle): the meters read the engine's
//   meter feed (what the editor writes to the feed, a reset or a timed-out peak, goes back), the
//   plug-in's programs, names and meter settings are taken over when the plug-in publishes them
//   (a restored state), and the editor hands its own over whenever they change in a way the ports
//   do not carry (program switches, banks, names, memos, meter settings, side-chain monitor).
// - without instance access the editor is a plain control surface: a notice over the meters says
//   nothing is metered, and its programs stay its own (what they set reaches the plug-in through
//   the ports only).
//
// Threads: every function runs on the host's user-interface thread.
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <memory>

#include "lv2/EffectImage.h"
#include "lv2/InstanceLink.h"
#include "lv2/Ports.h"

namespace qrxlv2 {

class UiInstance {
  public:
    // Null when the editor cannot be made or opened in `parent`.
    static UiInstance* create(const Engine& engine, LV2UI_Write_Function write,
                              LV2UI_Controller controller, LV2UI_Widget* widget,
                              const LV2_Feature* const* features);
    ~UiInstance();
    UiInstance(const UiInstance&) = delete;
    UiInstance& operator=(const UiInstance&) = delete;

    void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format,
                   const void* buffer);
    // 0: the editor goes on.
    int idle();

  private:
    UiInstance(const Engine& engine, LV2UI_Write_Function write, LV2UI_Controller controller);
    bool open(const LV2_Feature* const* features, LV2UI_Widget* widget);
    void readOptions(const LV2_Feature* const* features);
    static VstIntPtr effectHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                void* ptr, float opt);
    VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value);
    void writePort(int index);
    void writeChangedPorts();
    void adoptPublished();
    void handOver();
    void takeMeters();
    void returnMeters();
    void showUnmetered();

    const Engine& engine;
    PortTable ports;
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Resize* resize = nullptr;
    const LV2UI_Touch* touch = nullptr;
    const InstanceLink* dsp = nullptr;
    double sampleRate = 44100.0;
    // The host's scale factor (ui:scaleFactor option), 0 when it gives none.
    float scaleFactor = 0.0f;
    std::unique_ptr<CompressorEffect> effect;

    // The normalised value each control port stands for, as last written or received.
    float portNormalised[kNumProgramParams] = {};
    std::uint32_t adoptedGeneration = 0;
    // While the plug-in's image is taken over: the program it selects passes through values that
    // are not the host's (the ports' stay), so nothing is written to the ports meanwhile.
    bool adopting = false;
    EffectImage handedOver, scratch;

    // The plug-in's meter feed as given to the editor before its idle pass.
    struct MeterValues {
        double mainLevel, overload, secondLevel, peakA, peakB, overCount;
        int peakAAge, peakBAge;
    } metersGiven[2] = {};
};

}  // namespace qrxlv2

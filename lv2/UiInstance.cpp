#include "lv2/UiInstance.h"

#include <lv2/atom/atom.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <new>

#include "editor/COldVuMeter.h"
#include "editor/GrandPressEditor.h"
#include "gui/CParamDisplay.h"
#include "gui/CViewContainer.h"

namespace qrxlv2 {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

const void* featureData(const LV2_Feature* const* features, const char* uri) {
    for (const LV2_Feature* const* f = features; f && *f; ++f)
        if (std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
    return nullptr;
}

void unmeteredText(float, char* text) {
    std::strcpy(text, "Not metered: the host gives the editor no access to the plug-in");
}

}  // namespace

UiInstance* UiInstance::create(const Engine& engine, LV2UI_Write_Function write,
                               LV2UI_Controller controller, LV2UI_Widget* widget,
                               const LV2_Feature* const* features) {
    std::unique_ptr<UiInstance> ui(new (std::nothrow) UiInstance(engine, write, controller));
    if (!ui || !ui->open(features, widget)) return nullptr;
    return ui.release();
}

UiInstance::UiInstance(const Engine& engine, LV2UI_Write_Function write,
                       LV2UI_Controller controller)
    : engine(engine),
      ports(engine),
      write(write),
      controller(controller),
      effect(engine.create(effectHost, &GrandPressEditor::create)) {
    if (effect) effect->getAeffect()->user = this;
}

UiInstance::~UiInstance() {
    if (!effect) return;
    // Closing switches the side-chain monitor off: the plug-in hears of it too.
    effect->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    if (dsp) handOver();
    effect->dispatcher(effClose, 0, 0, nullptr, 0.0f);
}

bool UiInstance::open(const LV2_Feature* const* features, LV2UI_Widget* widget) {
    void* parent = const_cast<void*>(featureData(features, LV2_UI__parent));
    if (!effect || effect->constructionFailed() || !effect->getEditor() || !parent) return false;
    resize = static_cast<const LV2UI_Resize*>(featureData(features, LV2_UI__resize));
    touch = static_cast<const LV2UI_Touch*>(featureData(features, LV2_UI__touch));
    dsp = instanceLink(featureData(features, LV2_INSTANCE_ACCESS_URI), engine.uniqueId);
    readOptions(features);
    effect->dispatcher(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
    for (int k = 0; k < ports.controlCount(); ++k)
        portNormalised[k] = effect->getParameter(ports.parameterAt(k));
    if (dsp) adoptPublished();
    captureImage(*effect, handedOver);

    // The host's scale factor, before the window opens: the editor opens at that size (the
    // user's own zoom choice still comes first). Without one the system's factor applies.
    auto* editor = dynamic_cast<AEffGUIEditor*>(effect->getEditor());
    if (!editor) return false;
    if (scaleFactor > 0.0f) editor->setHostScaleFactor(scaleFactor);

    if (effect->dispatcher(effEditOpen, 0, 0, parent, 0.0f) == 0) return false;
    if (!editor->getFrame()) return false;
    *widget = reinterpret_cast<LV2UI_Widget>(editor->getFrame()->getNativeWindow());
    ERect* rect = nullptr;
    effect->dispatcher(effEditGetRect, 0, 0, &rect, 0.0f);
    if (resize && rect)
        resize->ui_resize(resize->handle, rect->right - rect->left, rect->bottom - rect->top);
    if (!dsp) showUnmetered();
    return true;
}

void UiInstance::readOptions(const LV2_Feature* const* features) {
    if (dsp) sampleRate = dsp->sampleRate;
    const auto* map = static_cast<const LV2_URID_Map*>(featureData(features, LV2_URID__map));
    const auto* options =
        static_cast<const LV2_Options_Option*>(featureData(features, LV2_OPTIONS__options));
    if (!map || !options) return;
    const LV2_URID rateKey = map->map(map->handle, LV2_PARAMETERS__sampleRate);
    const LV2_URID scaleKey = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID atomFloat = map->map(map->handle, LV2_ATOM__Float);
    for (const LV2_Options_Option* o = options; o->key; ++o) {
        if (o->type != atomFloat || !o->value) continue;
        const float v = *static_cast<const float*>(o->value);
        if (o->key == rateKey && !dsp && v > 0.0f) sampleRate = v;
        if (o->key == scaleKey && v > 0.0f) scaleFactor = v;
    }
}

VstIntPtr UiInstance::effectHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                 void*, float) {
    auto* self = effect ? static_cast<UiInstance*>(effect->user) : nullptr;
    if (self) return self->answer(opcode, index, value);
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

VstIntPtr UiInstance::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value) {
    const int port = ports.portOf(index);
    switch (opcode) {
        case audioMasterVersion:
            return kVstVersion;
        case audioMasterAutomate:
            if (port >= 0) writePort(index);
            return 0;
        case audioMasterBeginEdit:
        case audioMasterEndEdit:
            if (touch && port >= 0)
                touch->touch(touch->handle, static_cast<std::uint32_t>(port),
                             opcode == audioMasterBeginEdit);
            return port >= 0 ? 1 : 0;
        case audioMasterUpdateDisplay:
            // A program was loaded or renamed: its values go to the ports.
            writeChangedPorts();
            return 1;
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(sampleRate);
        case audioMasterSizeWindow:
            // The editor changed its size (the user chose another zoom): the host's frame
            // follows when it can.
            return resize && resize->ui_resize(resize->handle, index, static_cast<int>(value)) == 0;
        default:
            return 0;
    }
}

void UiInstance::portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format,
                           const void* buffer) {
    const int index = ports.parameterOf(port);
    if (index < 0 || format != 0 || size != sizeof(float) || !buffer) return;
    const float x = *static_cast<const float*>(buffer);
    if (!std::isfinite(x)) return;
    // A value that stands for the control's value moves nothing.
    if (x != ports.portValue(index, effect->getParameter(index)))
        effect->setParameter(index, ports.normalised(index, x));
    portNormalised[port - kFirstControlPort] = effect->getParameter(index);
}

void UiInstance::writePort(int index) {
    if (adopting) return;
    const int port = ports.portOf(index);
    const float v = effect->getParameter(index);
    float& known = portNormalised[port - kFirstControlPort];
    if (v == known) return;
    known = v;
    const float x = ports.portValue(index, v);
    write(controller, static_cast<std::uint32_t>(port), sizeof x, 0, &x);
}

void UiInstance::writeChangedPorts() {
    for (int k = 0; k < ports.controlCount(); ++k) writePort(ports.parameterAt(k));
}

int UiInstance::idle() {
    if (dsp) {
        adoptPublished();
        takeMeters();
    }
    effect->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    if (dsp) {
        returnMeters();
        handOver();
    }
    writeChangedPorts();
    return 0;
}

void UiInstance::adoptPublished() {
    if (dsp->published->generation() == adoptedGeneration) return;
    std::uint32_t seen = 0;
    if (!dsp->published->tryRead(scratch.words, &seen)) return;  // being written: next pass
    adoptedGeneration = seen;
    // The ports' current values are the host's and newer: they stay.
    adopting = true;
    adoptImage(*effect, scratch, &ports);
    adopting = false;
    captureImage(*effect, handedOver);
}

void UiInstance::handOver() {
    captureImage(*effect, scratch);
    if (!differsBeyondPorts(scratch, handedOver, ports)) return;
    dsp->fromUi->write(scratch.words);
    handedOver = scratch;
}

void UiInstance::takeMeters() {
    MeterFeed& mine = effect->meterFeed();
    for (int c = 0; c < 2; ++c) {
        const MeterChannelFeed& from = dsp->meterFeed->channel[c];
        MeterValues& v = metersGiven[c];
        v = {from.mainLevel.load(kRelaxed),   from.overload.load(kRelaxed),
             from.secondLevel.load(kRelaxed), from.peakA.load(kRelaxed),
             from.peakB.load(kRelaxed),       from.overCount.load(kRelaxed),
             from.peakAAge.load(kRelaxed),    from.peakBAge.load(kRelaxed)};
        MeterChannelFeed& to = mine.channel[c];
        to.mainLevel.store(v.mainLevel, kRelaxed);
        to.overload.store(v.overload, kRelaxed);
        to.secondLevel.store(v.secondLevel, kRelaxed);
        to.peakA.store(v.peakA, kRelaxed);
        to.peakB.store(v.peakB, kRelaxed);
        to.overCount.store(v.overCount, kRelaxed);
        to.peakAAge.store(v.peakAAge, kRelaxed);
        to.peakBAge.store(v.peakBAge, kRelaxed);
    }
}

// What the editor changed in the feed (a click on a meter, a peak timed out) goes to the plug-in.
void UiInstance::returnMeters() {
    const auto back = [](const auto& mine, auto given, auto& theirs) {
        const auto now = mine.load(kRelaxed);
        if (now != given) theirs.store(now, kRelaxed);
    };
    for (int c = 0; c < 2; ++c) {
        const MeterChannelFeed& mine = effect->meterFeed().channel[c];
        MeterChannelFeed& theirs = dsp->meterFeed->channel[c];
        const MeterValues& v = metersGiven[c];
        back(mine.mainLevel, v.mainLevel, theirs.mainLevel);
        back(mine.overload, v.overload, theirs.overload);
        back(mine.secondLevel, v.secondLevel, theirs.secondLevel);
        back(mine.peakA, v.peakA, theirs.peakA);
        back(mine.peakB, v.peakB, theirs.peakB);
        back(mine.overCount, v.overCount, theirs.overCount);
        back(mine.peakAAge, v.peakAAge, theirs.peakAAge);
        back(mine.peakBAge, v.peakBAge, theirs.peakBAge);
    }
}

void UiInstance::showUnmetered() {
    auto* editor = dynamic_cast<GrandPressEditor*>(effect->getEditor());
    if (!editor || !editor->frontPage() || !editor->meter(0) || !editor->meter(1)) return;
    const qgui::CRect& left = editor->meter(0)->getViewSize();
    const qgui::CRect& right = editor->meter(1)->getViewSize();
    const qgui::CRect strip(left.left, left.bottom - 16, right.right, left.bottom);
    auto* notice = new qgui::CParamDisplay(strip);
    notice->setStringConvert(unmeteredText);
    notice->setFont(qgui::kNormalFontSmall);
    notice->setFontColor(qgui::CColor{255, 255, 255, 255});
    notice->setBackColor(qgui::CColor{40, 40, 40, 255});
    notice->setFrameColor(qgui::CColor{40, 40, 40, 255});
    notice->setMouseEnabled(false);
    editor->frontPage()->addView(notice);
}

}  // namespace qrxlv2

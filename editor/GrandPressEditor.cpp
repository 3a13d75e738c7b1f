#include "editor/GrandPressEditor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <new>

#include "editor/CAnimKnob2.h"
#include "editor/COldVuMeter.h"
#include "editor/PanelControls.h"
#include "editor/ReadoutText.h"
#include "editor/ZoomStore.h"
#include "gui/ScaleFactor.h"
#include "gui/Toolkit.h"
#include "platform/Ticks.h"
#include "presets/CompressorEffect.h"

using namespace qgui;

namespace {

// Work recorded off the user-interface thread for the next idle pass.
enum PendingAction : std::uint32_t { kPendingResetMeters = 1, kPendingLatency = 2 };

constexpr auto kRelaxed = std::memory_order_relaxed;

}  // namespace

GrandPressEditor::GrandPressEditor(CompressorEffect* effect, VstInt16 panelHeight)
    : CPresetSystemEditor(effect), panelLayout(panel::layoutForHeight(panelHeight)) {
    setDesignSize(kPanelWidth, panelHeight);
    if (panelLayout) setUserZoom(zoom_store::read(panelLayout->name));
}

CEditorNotices* GrandPressEditor::create(CompressorEffect& effect, VstInt16 panelHeight) {
    return new (std::nothrow) GrandPressEditor(&effect, panelHeight);
}

GrandPressEditor::~GrandPressEditor() {
    // A host that never closed the window: drop the views without calling into the effect,
    // which is being destroyed.
    windowOpen.store(false);
    removePresetBar();
    releaseViews();
}

CompressorEffect* GrandPressEditor::compressor() const {
    return static_cast<CompressorEffect*>(effect);
}

bool GrandPressEditor::isInert() const {
    return !effect || compressor()->constructionFailed();
}

bool GrandPressEditor::onUserInterfaceThread() const {
    return std::this_thread::get_id() == uiThread.load();
}

// ---- open / close

bool GrandPressEditor::open(void* parentWindow) {
    if (isInert() || !panelLayout || frame) return false;
    CPresetSystemEditor::open(parentWindow);
    uiThread.store(std::this_thread::get_id());
    lastReadoutTick = platform::tickCountMs();
    mouseHeld = false;
    setKnobMode(kLinearMode);
    pendingParameters.store(0);
    pendingActions.store(0);
    // Another instance may have changed the zoom; the system's factor is the host window's.
    setUserZoom(zoom_store::read(panelLayout->name));
    refreshSystemScale(reinterpret_cast<std::uintptr_t>(parentWindow));

    const bool built = buildPanel();
    releaseBitmaps();
    if (!built) {
        releaseViews();
        AEffGUIEditor::close();
        return false;
    }
    addPresetBar(frame, panelLayout->barTop);
    windowOpen.store(true);
    return true;
}

bool GrandPressEditor::buildPanel() {
    CBitmap* background = bitmap(panel::kFrameBitmap);
    if (!background) return false;
    const CRect frameSize(0, 0, background->getWidth(), background->getHeight());
    frame = new CFrame(frameSize, systemWindow, this, getScaleFactor());
    if (systemWindow && !frame->isOpen()) return false;
    applyScaleFactor();
    frame->setBackground(background);
    frameBackground = background;
    frameBackground->remember();

    CBitmap* frontImage = bitmap(panel::kFrontPageBitmap);
    CBitmap* backImage = bitmap(panel::kBackPageBitmap);
    if (!frontImage || !backImage) return false;
    front = new CViewContainer(CRect(0, 0, frontImage->getWidth(), frontImage->getHeight() - 1),
                               nullptr, frontImage);
    back = new CViewContainer(CRect(0, 0, backImage->getWidth(), backImage->getHeight() - 1),
                              nullptr, backImage);
    if (!buildPage(front, panelLayout->front) || !buildPage(back, panelLayout->back)) return false;
    frame->addView(front);
    front->remember();  // the editor keeps a reference to each page while open
    shown = front;
    hidden = back;
    // The zoom menu: no view of its own, only the list it opens where the user clicked.
    zoomChoices = new COptionMenu(CRect(0, 0, 1, 1), this, kZoomMenuTag);
    zoomChoices->setVisible(false);
    zoomChoices->setFont(kNormalFontSmall);
    frame->addView(zoomChoices);
    return true;
}

bool GrandPressEditor::buildPage(CViewContainer* page, std::span<const panel::ControlSpec> specs) {
    for (const panel::ControlSpec& spec : specs)
        if (!buildControl(page, spec)) return false;
    return true;
}

CTextEdit* GrandPressEditor::makeReadout(const panel::ReadoutSpec& spec) {
    CBitmap* image = bitmap(panel::kFrontPageBitmap);
    if (!image) return nullptr;
    char text[readout::kTextSize];
    readout::format(spec.kind, readout::Occasion::Open,
                    compressor()->getDisplayValue(spec.parameter), text);
    auto* field = new CTextEdit(spec.rect, this, spec.tag, text, image, 0);
    field->setBackOffset(spec.rect.getTopLeft());
    field->setHoriAlign(kCenterText);
    field->setFont(spec.largeFont ? kNormalFont : kNormalFontSmall);
    field->setFontColor(panel::kReadoutFontColor);
    field->setBackColor(panelLayout->readoutBackColor);
    field->setFrameColor(panelLayout->readoutBackColor);
    field->setMin(static_cast<float>(spec.min));
    field->setMax(static_cast<float>(spec.max));
    return field;
}

namespace {

// The text each kind of back-page display writes its value with, by panel::Converter.
constexpr CParamDisplay::StringConvert kDisplayTexts[] = {
    readout::millisecondsText,  // Milliseconds
    readout::samplesText,       // Samples
    readout::dbfsText,          // Dbfs
    readout::integerText,       // Integer
};
static_assert(std::size(kDisplayTexts) == static_cast<std::size_t>(panel::Converter::Integer) + 1);

}  // namespace

CView* GrandPressEditor::makeBackDisplay(const panel::ControlSpec& spec, CBitmap* image) {
    CompressorEffect* fx = compressor();
    auto* display = new CBackDisplay(spec.rect, image, 0);
    display->setBackOffset(spec.backOffset);
    display->setFont(kNormalFontVerySmall);
    display->setHoriAlign(kCenterText);
    display->setStringConvert(kDisplayTexts[static_cast<int>(spec.converter)]);
    if (spec.shows == panel::Shows::Setting) {
        display->setFontColor(panel::kSettingFontColor);
        display->setValue(fx->getDisplayValue(spec.setting));
        if (spec.setting >= panel::kFirstSettingTag && spec.setting <= panel::kLastSettingTag)
            settings[spec.setting - panel::kFirstSettingTag] = display;
    } else {
        // "1660smps" keeps clear of the window's edges at this size (see the skins).
        display->setFont(kNormalFontTiny);
        display->setFontColor(panel::kLatencyFontColor);
        const bool ms = spec.shows == panel::Shows::LatencyMs;
        display->setValue(ms ? static_cast<float>(fx->getLatencyMs())
                             : static_cast<float>(fx->getLatencySamples()));
        latency[ms ? 0 : 1] = display;
    }
    return display;
}

CView* GrandPressEditor::makeMeter(const panel::ControlSpec& spec, CBitmap* face) {
    const panel::MeterSpec& m = *spec.meter;
    CBitmap* strip = bitmap(m.stripBitmap);
    CBitmap* lamp = bitmap(m.lampBitmap);
    if (!strip || !lamp) return nullptr;
    const COldVuMeter::Geometry g{spec.rect,      m.lampPosition, m.stripPosition, m.pivot,
                                  m.needle1Inner, m.needle1Outer, m.needle2Inner,  m.needle2Outer,
                                  m.readout1,     m.readout2};
    auto* meter = new COldVuMeter(g, this, spec.tag, face, strip, lamp);
    meter->reset();
    meters[meters[0] ? 1 : 0] = meter;
    return meter;
}

CControl* GrandPressEditor::makeControl(const panel::ControlSpec& spec, CBitmap* image) {
    using panel::Kind;
    switch (spec.kind) {
        case Kind::OnOffButton:
            return new CQRXOnOffButton(spec.rect, this, spec.tag, image);
        case Kind::VerticalSwitch:
            return new CVerticalSwitch(spec.rect, this, spec.tag, spec.positions,
                                       spec.positionHeight, spec.positions, image);
        case Kind::Knob: {
            auto* knob =
                new CAnimKnob2(spec.rect, this, spec.tag, spec.frames, spec.frameHeight, image);
            if (spec.hasDefault) knob->setDefaultValue(spec.defaultValue);
            return knob;
        }
        case Kind::PageSwitch:
            return new CViewContainerSwitch(spec.rect, this, spec.tag);
        default:
            return nullptr;
    }
}

bool GrandPressEditor::addKnobReadout(int32_t knobTag) {
    const panel::ReadoutSpec* r = panelLayout->readoutFor(knobTag);
    if (!r || r->parameter != knobTag) return true;
    CTextEdit* field = makeReadout(*r);
    if (!field) return false;
    readouts[r->tag - panel::kFirstReadoutTag] = field;
    return true;
}

bool GrandPressEditor::buildControl(CViewContainer* page, const panel::ControlSpec& spec) {
    using panel::Kind;
    CBitmap* image = nullptr;
    if (spec.bitmap && !(image = bitmap(spec.bitmap))) return false;
    CView* view = nullptr;
    switch (spec.kind) {
        case Kind::BackDisplay:
            view = makeBackDisplay(spec, image);
            break;
        case Kind::Meter:
            if (!(view = makeMeter(spec, image))) return false;
            break;
        case Kind::Label:
            view = new CLabel2(spec.rect, spec.text);
            break;
        default: {
            // A control that shows parameter (or editor tag) spec.tag.
            CControl* bound = makeControl(spec, image);
            if (!bound) return false;
            bound->setValue(compressor()->getParameter(spec.tag));
            if (spec.tag >= 0 && spec.tag < kTagCount) controls[spec.tag] = bound;
            view = bound;
            break;
        }
    }
    page->addView(view);
    // The knob's read-out is made right after it, but shown only on hover (idle).
    if (spec.kind == Kind::Knob && page == front) return addKnobReadout(spec.tag);
    return true;
}

CBitmap* GrandPressEditor::bitmap(int32_t id) {
    for (CBitmap* b : loadedBitmaps)
        if (b->getResourceId() == id) return b;
    auto* b = new CBitmap(id);
    if (!b->isLoaded()) {
        b->forget();
        return nullptr;
    }
    loadedBitmaps.push_back(b);
    return b;
}

void GrandPressEditor::releaseBitmaps() {
    for (CBitmap* b : loadedBitmaps) b->forget();
    loadedBitmaps.clear();
}

void GrandPressEditor::close() {
    windowOpen.store(false);
    CPresetSystemEditor::close();
    // Monitoring the side chain never stays on without the editor that shows it. Only the
    // effect is told: index 35 is not a host parameter, so the host hears nothing of it.
    if (effect && !isInert() && effect->getParameter(panel::kScMonitorTag) >= 0.5f) {
        setParameter(panel::kScMonitorTag, 0.0f);
        effect->setParameter(panel::kScMonitorTag, 0.0f);
    }
    releaseViews();
}

void GrandPressEditor::releaseViews() {
    zoomChoices = nullptr;
    controls.fill(nullptr);
    latency.fill(nullptr);
    settings.fill(nullptr);
    meters.fill(nullptr);
    // The editor holds one reference to each page and read-out; a container that shows one
    // holds another.
    for (CTextEdit*& field : readouts) {
        if (field) field->forget();
        field = nullptr;
    }
    if (front) front->forget();
    if (back) back->forget();
    front = back = shown = hidden = nullptr;
    if (frame) frame->forget();  // the frame owns the shown page and the preset bar
    frame = nullptr;
    if (frameBackground) frameBackground->forget();
    frameBackground = nullptr;
}

void GrandPressEditor::switchPage() {
    if (!frame || !shown || !hidden) return;
    CViewContainer* previous = shown;
    frame->addView(hidden);
    hidden->remember();  // the frame's reference; the editor keeps its own
    shown = hidden;
    hidden = previous;
    frame->removeView(previous, true);
}

// ---- effect -> editor

CControl* GrandPressEditor::control(int32_t tag) const {
    return tag >= 0 && tag < kTagCount ? controls[tag] : nullptr;
}

CTextEdit* GrandPressEditor::readout(int32_t tag) const {
    if (tag < panel::kFirstReadoutTag || tag > panel::kLastReadoutTag) return nullptr;
    return readouts[tag - panel::kFirstReadoutTag];
}

bool GrandPressEditor::isReadoutShown(int32_t tag) const {
    CTextEdit* field = readout(tag);
    return field && front && front->isChild(field);
}

CBackDisplay* GrandPressEditor::settingDisplay(int32_t index) const {
    if (index < panel::kFirstSettingTag || index > panel::kLastSettingTag) return nullptr;
    return settings[index - panel::kFirstSettingTag];
}

void GrandPressEditor::setParameter(VstInt32 index, float value) {
    if (!windowOpen.load()) return;
    if (!onUserInterfaceThread()) {
        if (index >= 0 && index < kTagCount) pendingParameters.fetch_or(1ull << index);
        return;
    }
    applyParameter(index);
}

void GrandPressEditor::applyParameter(VstInt32 index) {
    if (!frame) return;
    // The side-chain buttons show what the user last clicked, not later changes.
    if (index == panelLayout->scExtParameter || index == panel::kScMonitorTag) return;
    CControl* c = control(index);
    if (!c) return;
    CompressorEffect* fx = compressor();
    c->setValue(fx->getParameter(index));

    for (const panel::ReadoutSpec& r : panelLayout->readouts) {
        if (r.parameter != index) continue;
        CTextEdit* field = readout(r.tag);
        if (!field) break;
        const float physical = fx->getDisplayValue(index);
        char text[readout::kTextSize];
        readout::format(r.kind, readout::Occasion::HostUpdate, physical, text);
        field->setText(text);
        if (r.valueOnUpdate) {
            field->setValue(physical);
            field->setDirty();
        }
        break;
    }
    if (CBackDisplay* display = settingDisplay(index))
        display->setValue(fx->getDisplayValue(index));
    if (index == panel::kFrontPageSwitchTag || index == panel::kBackPageSwitchTag) switchPage();
}

void GrandPressEditor::resetMeters() {
    if (isInert()) return;
    if (!onUserInterfaceThread()) {
        pendingActions.fetch_or(kPendingResetMeters);
        return;
    }
    applyResetMeters();
}

void GrandPressEditor::applyResetMeters() {
    if (!meters[0] || !meters[1]) return;
    for (COldVuMeter* m : meters) m->reset();
}

void GrandPressEditor::updateLatencyDisplays() {
    if (isInert()) return;
    if (!onUserInterfaceThread()) {
        pendingActions.fetch_or(kPendingLatency);
        return;
    }
    applyLatencyDisplays();
}

void GrandPressEditor::applyLatencyDisplays() {
    if (!latency[0] || !latency[1] || !frame) return;
    latency[0]->setValue(static_cast<float>(compressor()->getLatencyMs()));
    latency[1]->setValue(static_cast<float>(compressor()->getLatencySamples()));
    frame->invalid();
}

void GrandPressEditor::applyPending() {
    std::uint64_t changed = pendingParameters.exchange(0);
    for (VstInt32 index = 0; changed; ++index, changed >>= 1)
        if (changed & 1) applyParameter(index);
    const std::uint32_t actions = pendingActions.exchange(0);
    if (actions & kPendingResetMeters) applyResetMeters();
    if (actions & kPendingLatency) applyLatencyDisplays();
}

// ---- editor -> effect

void GrandPressEditor::valueChanged(CControl* c) {
    CPresetSystemEditor::valueChanged(c);
    if (!frame || !c) return;
    if (c == zoomChoices) {
        zoomChosen(zoomChoices->getCurrentIndex());
        return;
    }
    mouseHeld = frame->getCurrentMouseButtons().isLeftButton();
    CompressorEffect* fx = compressor();
    const int32_t tag = c->getTag();

    if (tag >= panel::kFirstReadoutTag && tag <= panel::kLastReadoutTag) {
        const panel::ReadoutSpec* spec = panelLayout->readoutFor(tag);
        auto* field = dynamic_cast<CTextEdit*>(c);
        if (spec && spec->tag == tag && field && field == readout(tag)) typedEntry(*spec, field);
    } else if (tag == panel::kMeterTag) {
        meterClicked();
    } else if (tag == panelLayout->scExtParameter) {
        if (fx->sideChainAvailable()) {
            fx->setParameterAutomated(tag, c->getValue());
        } else {
            // No side-chain inputs from the host: the button refuses to stay on.
            c->setValue(0.0f);
            c->setDirty();
        }
    } else if (tag >= 0 && tag <= panel::kLastHostTag) {
        fx->setParameterAutomated(tag, c->getValue());
    } else if ((tag >= panel::kScMonitorTag && tag <= panel::kLastSettingTag) ||
               (tag >= 52 && tag <= panel::kBackPageSwitchTag)) {
        // Engine-only indices: the host never hears of them.
        fx->setParameter(tag, c->getValue());
    }
}

void GrandPressEditor::typedEntry(const panel::ReadoutSpec& spec, CTextEdit* field) {
    const double x =
        std::clamp(readout::typedValue(spec.kind, field->getText()), spec.min, spec.max);
    const float v = std::clamp(compressor()->normalisedOfDisplayValue(
                                   spec.parameter, readout::displayValueOfTyped(spec.kind, x)),
                               0.0f, 1.0f);
    compressor()->setParameterAutomated(spec.parameter, v);
    if (CControl* knob = control(spec.parameter)) {
        knob->setValue(v);
        knob->setDirty();
        knob->invalid();
    }
}

void GrandPressEditor::meterClicked() {
    if (meters[0] && meters[1] && (meters[0]->isOverHeld() || meters[1]->isOverHeld()))
        for (COldVuMeter* m : meters) m->clearOverHold();
    for (MeterChannelFeed& ch : compressor()->meterFeed().channel) {
        ch.mainLevel.store(0.0, kRelaxed);
        ch.secondLevel.store(0.0, kRelaxed);
        ch.overload.store(0.0, kRelaxed);
        ch.overCount.store(0.0, kRelaxed);
    }
}

// ---- idle

void GrandPressEditor::idle() {
    if (isInert()) return;
    // The preset bar's timer runs inside the frame's idle pass: the outer pass does the work.
    if (idleDepth > 0) return;
    ++idleDepth;
    if (frame) applyPending();
    CPresetSystemEditor::idle();
    if (frame) idlePanel();
    --idleDepth;
}

void GrandPressEditor::idlePanel() {
    const std::uint32_t time = platform::tickCountMs();
    const std::uint32_t quiet = time - lastReadoutTick;
    if (shown == back) {
        back->setDirty(true);  // the settings page is redrawn on every pass
        return;
    }
    feedMeters();
    timeOutPeaks();
    hoverReadout(time);
    hideReadouts(quiet);
}

void GrandPressEditor::feedMeters() {
    if (!meters[0] || !meters[1]) return;
    const MeterFeed& feed = compressor()->meterFeed();
    for (int c = 0; c < 2; ++c) {
        const MeterChannelFeed& ch = feed.channel[c];
        meters[c]->setAll(static_cast<float>(ch.mainLevel.load(kRelaxed)),
                          static_cast<float>(ch.overload.load(kRelaxed)),
                          static_cast<float>(ch.secondLevel.load(kRelaxed)),
                          ch.peakA.load(kRelaxed), ch.peakB.load(kRelaxed));
        meters[c]->setDirty(true);  // redrawn on every pass
    }
}

void GrandPressEditor::timeOutPeaks() {
    CompressorEffect* fx = compressor();
    const double holdSamples = kPeakHoldSeconds * fx->getSampleRate();
    const int source =
        static_cast<int>(2.0f * fx->getParameter(panelLayout->metersParameter) + 0.5f);
    // On the gain-reduction source 1.0 means no reduction; otherwise 0 means silence.
    const double rest = source == 1 ? 1.0 : 0.0;
    for (MeterChannelFeed& ch : fx->meterFeed().channel) {
        if (ch.peakAAge.load(kRelaxed) >= holdSamples) {
            ch.peakAAge.store(0, kRelaxed);
            ch.peakA.store(rest, kRelaxed);
        }
        if (ch.peakBAge.load(kRelaxed) >= holdSamples) {
            ch.peakBAge.store(0, kRelaxed);
            ch.peakB.store(rest, kRelaxed);
        }
    }
}

void GrandPressEditor::hoverReadout(std::uint32_t time) {
    CPoint where;
    if (!frame->getCurrentMouseLocation(where)) return;
    CView* view = front->getViewAt(where, false);
    if (!view || view == frame || view == front || view == back) return;
    auto* c = dynamic_cast<CControl*>(view);
    if (!c) return;
    const panel::ReadoutSpec* spec = panelLayout->readoutFor(c->getTag());
    if (!spec) return;
    CTextEdit* field = readout(spec->tag);
    if (!field) return;
    lastReadoutTick = time;
    if (front->isChild(field)) return;  // a shown read-out is not rewritten here
    const float physical = compressor()->getDisplayValue(spec->parameter);
    char text[readout::kTextSize];
    readout::format(spec->kind, readout::Occasion::Hover, physical, text);
    front->addView(field);
    field->remember();  // the editor keeps its reference while the page holds one
    field->setText(text);
    field->setValue(physical);
    field->setDirty();
}

void GrandPressEditor::hideReadouts(std::uint32_t quiet) {
    // Read-outs stay while the button that changed a control is still held, and for the
    // time-out after it is released.
    if (mouseHeld) {
        if (frame->getCurrentMouseButtons().isLeftButton()) {
            lastReadoutTick = platform::tickCountMs();
            return;
        }
        mouseHeld = false;
    }
    if (quiet <= kReadoutTimeoutMs) return;
    bool removed = false;
    for (CTextEdit* field : readouts) {
        // A read-out being typed into stays until the entry ends.
        if (!field || !front->isChild(field) || field->isEditing()) continue;
        front->removeView(field, true);
        removed = true;
    }
    if (removed) front->setDirty(true);
}

// ---- zoom

bool GrandPressEditor::backgroundClicked(const CPoint& where, const CButtonState& buttons) {
    return buttons.isRightButton() && openZoomMenu(where);
}

bool GrandPressEditor::openZoomMenu(const CPoint& where) {
    if (!zoomChoices) return false;
    zoomChoices->removeAllEntry();
    zoomChoices->addEntry("Zoom", -1, CMenuItem::kDisabled);
    char text[32];
    // "Auto" names the factor it stands for now: the host's or the system's.
    std::snprintf(text, sizeof text, "Auto (%d %%)",
                  static_cast<int>(std::lround(automaticScale() * 100)));
    zoomChoices->addEntry(text);
    int32_t current = kZoomAutoEntry;
    for (size_t i = 0; i < qgui::scale::kStepCount; ++i) {
        const double step = qgui::scale::kSteps[i];
        std::snprintf(text, sizeof text, "%d %%", static_cast<int>(std::lround(step * 100)));
        zoomChoices->addEntry(text);
        if (getUserZoom() > 0 && std::fabs(qgui::scale::snap(getUserZoom()) - step) < 1e-9)
            current = kZoomAutoEntry + 1 + static_cast<int32_t>(i);
    }
    zoomChoices->setCurrent(current);
    zoomChoices->setViewSize(CRect(where.x, where.y, where.x + 1, where.y + 1), false);
    return zoomChoices->popup();
}

void GrandPressEditor::zoomChosen(int32_t entry) {
    if (entry < kZoomAutoEntry) return;
    const auto step = static_cast<size_t>(entry - kZoomAutoEntry - 1);
    chooseZoom(entry == kZoomAutoEntry || step >= qgui::scale::kStepCount
                   ? 0.0
                   : qgui::scale::kSteps[step]);
}

void GrandPressEditor::chooseZoom(double zoom) {
    setUserZoom(zoom);
    if (panelLayout) zoom_store::write(panelLayout->name, getUserZoom());
}

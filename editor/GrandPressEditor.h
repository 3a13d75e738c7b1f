// The editor object of both plug-ins. The effect creates it at construction and owns it; the
// host opens, idles and closes its window through the dispatcher. open() builds the panel of
// the plug-in whose frame height it was given (PanelLayout.h: 460 grandpress, 378 tinypress):
// a front page with the controls, needle meters and latency displays, a back page with the
// meter settings, the knobs' hover read-outs (typed entry), and the preset bar of
// CPresetSystemEditor along the bottom.
//
// Threads. open, close, idle, valueChanged and switchPage run on the host's user-interface
// thread. setParameter, resetMeters and updateLatencyDisplays are called by the effect: from
// the user-interface thread (editor changes, program loads, suspend/resume in most hosts) they
// act at once; from any other thread (host automation) they only record what changed in atomic
// masks, and the next idle pass applies it. Views are never touched off the user-interface
// thread: the toolkit's views (texts, values, dirty marks) are plain, unsynchronised state.
// The meter feed is read and reset without a lock (relaxed atomics written by the audio thread).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <thread>
#include <vector>

#include "editor/PanelLayout.h"
#include "presets/CPresetSystemEditor.h"

class CompressorEffect;
class CAnimKnob2;
class CBackDisplay;
class COldVuMeter;

namespace qgui {
class CControl;
class COptionMenu;
class CTextEdit;
class CViewContainer;
}  // namespace qgui

class GrandPressEditor : public CPresetSystemEditor {
  public:
    static constexpr VstInt16 kPanelWidth = panel::kPanelWidth;
    // Read-outs vanish this long after the last hover (and after the mouse button is released).
    static constexpr std::uint32_t kReadoutTimeoutMs = 2000;
    // Held meter peaks fall back after this many seconds without a new peak.
    static constexpr double kPeakHoldSeconds = 2.0;

    // `panelHeight` picks the panel: 460 (grandpress) or 378 (tinypress).
    GrandPressEditor(CompressorEffect* effect, VstInt16 panelHeight);
    // The EditorFactory the plug-in libraries give their engine.
    static CEditorNotices* create(CompressorEffect& effect, VstInt16 panelHeight);
    ~GrandPressEditor() override;

    // False, building nothing, for an inert effect, an unknown panel height, a missing skin
    // image or a window that cannot be made. A null parentWindow builds an offscreen frame
    // (tests, qrx-shot).
    bool open(void* parentWindow) override;
    // Switches side-chain monitoring off and releases every view.
    void close() override;
    // Applies changes recorded off the user-interface thread, redraws, feeds the meters, times
    // out held peaks, shows and hides the hover read-outs.
    void idle() override;

    // The effect reports every parameter change here (host, program load, the editor itself).
    void setParameter(VstInt32 index, float value) override;
    // CControlListener: every control of the panel and the preset bar reports here.
    void valueChanged(qgui::CControl* control) override;
    // Shows the hidden page instead of the shown one.
    void switchPage();
    // Puts both needle meters back to rest (the effect's suspend).
    void resetMeters() override;
    // Shows the effect's current latency (tinypress's resume).
    void updateLatencyDisplays() override;
    // A right click on the background opens the zoom menu (so does the preset bar's "Zoom >").
    bool backgroundClicked(const qgui::CPoint& where, const qgui::CButtonState& buttons) override;
    bool hasZoomMenu() const override { return true; }
    bool openZoomMenu(const qgui::CPoint& where) override;
    // The zoom menu's entries: a heading, then "Auto" and each step of gui/ScaleFactor.h.
    static constexpr int32_t kZoomMenuTag = 78;
    static constexpr int32_t kZoomAutoEntry = 1;
    // The user's zoom: 0 is automatic (host or system), else a factor; kept per user and
    // plug-in. The zoom menu sets it; tools and tests may too.
    void chooseZoom(double zoom);
    double userZoom() const { return getUserZoom(); }

    // --- Introspection for tests and tools (null while closed) ---
    const panel::Layout* layout() const { return panelLayout; }
    qgui::CViewContainer* frontPage() const { return front; }
    qgui::CViewContainer* backPage() const { return back; }
    qgui::CViewContainer* shownPage() const { return shown; }
    // The control bound to a parameter index or editor tag (0..57).
    qgui::CControl* control(int32_t tag) const;
    // The read-out with tag 41..51 (shown or hidden).
    qgui::CTextEdit* readout(int32_t tag) const;
    bool isReadoutShown(int32_t tag) const;
    COldVuMeter* meter(int channel) const {
        return channel == 0 || channel == 1 ? meters[channel] : nullptr;
    }
    CBackDisplay* latencyDisplay(int which) const {
        return which == 0 || which == 1 ? latency[which] : nullptr;
    }
    CBackDisplay* settingDisplay(int32_t index) const;
    qgui::COptionMenu* zoomMenu() const { return zoomChoices; }

  private:
    static constexpr int kTagCount = 64;

    CompressorEffect* compressor() const;
    bool isInert() const;
    bool onUserInterfaceThread() const;
    bool buildPanel();
    bool buildPage(qgui::CViewContainer* page, std::span<const panel::ControlSpec> specs);
    bool buildControl(qgui::CViewContainer* page, const panel::ControlSpec& spec);
    qgui::CTextEdit* makeReadout(const panel::ReadoutSpec& spec);
    // The views of buildControl: a back-page display (a setting or the latency), a needle meter
    // on `face` (null when its strip or lamp image is missing), a control bound to parameter
    // spec.tag, and the hover read-out of the knob `knobTag` where the layout has one.
    qgui::CView* makeBackDisplay(const panel::ControlSpec& spec, qgui::CBitmap* image);
    qgui::CView* makeMeter(const panel::ControlSpec& spec, qgui::CBitmap* face);
    qgui::CControl* makeControl(const panel::ControlSpec& spec, qgui::CBitmap* image);
    bool addKnobReadout(int32_t knobTag);
    void zoomChosen(int32_t entry);
    qgui::CBitmap* bitmap(int32_t id);
    void releaseBitmaps();
    void releaseViews();
    void applyParameter(VstInt32 index);
    void applyPending();
    void applyResetMeters();
    void applyLatencyDisplays();
    void typedEntry(const panel::ReadoutSpec& spec, qgui::CTextEdit* field);
    void meterClicked();
    void idlePanel();
    void feedMeters();
    void timeOutPeaks();
    void hoverReadout(std::uint32_t time);
    void hideReadouts(std::uint32_t quiet);

    const panel::Layout* panelLayout;
    qgui::CBitmap* frameBackground = nullptr;
    qgui::CViewContainer* front = nullptr;
    qgui::CViewContainer* back = nullptr;
    qgui::CViewContainer* shown = nullptr;
    qgui::CViewContainer* hidden = nullptr;
    std::array<qgui::CControl*, kTagCount> controls{};
    std::array<qgui::CTextEdit*, panel::kLastReadoutTag - panel::kFirstReadoutTag + 1> readouts{};
    std::array<CBackDisplay*, 2> latency{};
    std::array<CBackDisplay*, panel::kLastSettingTag - panel::kFirstSettingTag + 1> settings{};
    std::array<COldVuMeter*, 2> meters{};
    qgui::COptionMenu* zoomChoices = nullptr;
    // Bitmaps loaded while open() builds the views; released when it is done.
    std::vector<qgui::CBitmap*> loadedBitmaps;

    std::uint32_t lastReadoutTick = 0;
    bool mouseHeld = false;
    int idleDepth = 0;

    // Cross-thread hand-over (see the header comment).
    std::atomic<bool> windowOpen{false};
    std::atomic<std::thread::id> uiThread{};
    std::atomic<std::uint64_t> pendingParameters{0};
    std::atomic<std::uint32_t> pendingActions{0};
};

// An editor with the grandpress skin, opened and closed 1000 times offscreen: every view,
// bitmap and menu entry made by a cycle is gone after it, and memory does not grow.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "GuiTestSupport.h"
#include "TestEditor.h"
#include "gui/EmbeddedImages.h"

namespace guitest {
namespace {

// Resident memory in kB (Linux).
long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

// Builds a panel like the plug-in's from the skin: background pages, film-strip knobs, buttons,
// switches, meters' bitmaps, read-outs and the preset bar's menu, text field and buttons.
class SkinEditor : public AEffGUIEditor, public CControlListener {
  public:
    explicit SkinEditor(AudioEffect* effect) : AEffGUIEditor(effect) { rect = {0, 0, 460, 450}; }

    bool open(void* parent) override {
        AEffGUIEditor::open(parent);
        auto* frameBack = new CBitmap(19000);
        frame =
            new CFrame(CRect(0, 0, frameBack->getWidth(), frameBack->getHeight()), parent, this);
        frame->setBackground(frameBack);
        auto* pageBack = new CBitmap(19001);
        page = new CViewContainer(CRect(0, 0, 450, 444), nullptr, pageBack);
        backPage = new CViewContainer(CRect(0, 0, 450, 444), nullptr, new CBitmap(19035));
        backPage->getBackground()->forget();
        struct Knob {
            int id, frames;
            CRect r;
        };
        const Knob knobs[] = {
            {19004, 21, CRect(50, 165, 104, 219)},  {19005, 41, CRect(50, 243, 104, 297)},
            {19002, 73, CRect(136, 187, 224, 275)}, {19008, 33, CRect(257, 164, 311, 218)},
            {19007, 33, CRect(348, 164, 402, 218)}, {19009, 41, CRect(257, 243, 311, 297)},
            {19010, 41, CRect(348, 243, 402, 297)}, {19012, 49, CRect(348, 321, 402, 375)},
            {19011, 41, CRect(257, 321, 311, 375)}, {19003, 37, CRect(153, 321, 207, 375)},
            {19006, 49, CRect(50, 322, 104, 376)}};
        int tag = 0;
        for (const Knob& k : knobs) {
            auto* bmp = new CBitmap(k.id);
            auto* knob = new CAnimKnob(k.r, this, tag++, k.frames, k.r.getHeight(), bmp);
            knob->setValue(0.1f * static_cast<float>(tag % 10));
            bmp->forget();
            page->addView(knob);
        }
        struct Button {
            int id;
            CCoord x, y;
        };
        const Button buttons[] = {
            {19015, 42, 388},  {19022, 250, 390}, {19023, 292, 390}, {19024, 334, 390},
            {19025, 375, 390}, {19016, 104, 238}, {19038, 104, 277}, {19017, 104, 316},
            {19018, 104, 355}, {19019, 207, 316}, {19020, 311, 238}, {19021, 311, 278},
            {19026, 311, 159}, {19027, 227, 159}, {19013, 242, 147}, {19014, 396, 147}};
        for (const Button& b : buttons) {
            auto* bmp = new CBitmap(b.id);
            const CRect r(b.x, b.y, b.x + bmp->getWidth(), b.y + bmp->getHeight() / 2);
            auto* sw = new CVerticalSwitch(r, this, tag++, 2, r.getHeight(), 2, bmp);
            sw->setValue(tag % 2 ? 1.0f : 0.0f);
            bmp->forget();
            page->addView(sw);
        }
        auto* meters = new CBitmap(19034);
        page->addView(new CVerticalSwitch(CRect(206, 58, 244, 106), this, 23, meters));
        meters->forget();
        const int faces[] = {19028, 19031};
        for (int i = 0; i < 2; ++i) {
            const CCoord x = i ? 256 : 49;
            auto* face = new CBitmap(faces[i]);
            auto* strip = new CBitmap(faces[i] + 1);
            auto* lamp = new CBitmap(faces[i] + 2);
            page->addView(new CParamDisplay(CRect(x, 34, x + 146, 104), face, kNoTextStyle));
            page->addView(new CParamDisplay(CRect(x, 104, x + 146, 125), strip, kNoTextStyle));
            auto* lampView = new CVerticalSwitch(CRect(x + 66, 85, x + 80, 99), nullptr, 0, lamp);
            lampView->setValue(i ? 1.0f : 0.0f);
            page->addView(lampView);
            face->forget();
            strip->forget();
            lamp->forget();
        }
        readout = new CTextEdit(CRect(147, 158, 213, 172), this, 44, "-12.00dB", pageBack);
        readout->setBackOffset(CPoint(147, 158));
        readout->setFontColor(MakeCColor(50, 50, 60));
        readout->setFont(kNormalFont);
        page->addView(readout);
        pageBack->forget();
        frame->addView(page);

        const CCoord y0 = 444;
        auto* name =
            new CTextEdit(CRect(175, y0 - 1, 292, y0 + 15), this, 59, "Gentle glue", frameBack);
        name->setBackOffset(CPoint(175, y0 - 1));
        name->setFontColor(MakeCColor(36, 36, 32));
        name->setBackColor(MakeCColor(209, 227, 238));
        frame->addView(name);
        menu = new COptionMenu(CRect(293, y0, 305, y0 + 14), this, 71, frameBack, nullptr,
                               kNoTextStyle | kNoFrame);
        menu->setBackOffset(CPoint(293, y0));
        for (int i = 0; i < 16; ++i) menu->addEntry(("Program " + std::to_string(i)).c_str());
        frame->addView(menu);
        frameBack->forget();
        const Button bar[] = {{19994, 20, y0},  {19990, 32, y0 + 2},  {19993, 70, y0},
                              {19999, 91, y0},  {19899, 103, y0 + 2}, {19998, 150, y0},
                              {19997, 313, y0}, {19995, 352, y0},     {19991, 374, y0},
                              {19996, 395, y0}, {19992, 417, y0}};
        for (const Button& b : bar) {
            auto* bmp = new CBitmap(b.id);
            const int images = b.id == 19997 ? 5 : 3;
            const CRect r(b.x, b.y, b.x + bmp->getWidth(), b.y + bmp->getHeight() / images);
            if (b.id == 19997)
                frame->addView(new CRockerSwitch(r, this, 60, r.getHeight(), bmp));
            else
                frame->addView(new CKickButton(r, this, tag++, r.getHeight(), bmp));
            bmp->forget();
        }
        timer = frame->startTimer(50, [this] { idle(); });
        return true;
    }

    void close() override {
        if (frame) frame->stopTimer(timer);
        if (backPage) backPage->forget();
        backPage = nullptr;
        if (frame) frame->forget();
        frame = nullptr;
        AEffGUIEditor::close();
    }

    void valueChanged(CControl*) override {}

    CViewContainer* page = nullptr;
    CViewContainer* backPage = nullptr;
    CTextEdit* readout = nullptr;
    COptionMenu* menu = nullptr;
    uint32_t timer = 0;
};

class SkinEffect : public AudioEffectX {
  public:
    SkinEffect() : AudioEffectX(testsupport::CallbackRecorder::callback, 1, 34) {
        new SkinEditor(this);
    }
    ~SkinEffect() override { destroyEditor(); }
    SkinEditor* skinEditor() { return static_cast<SkinEditor*>(editor); }
};

void cycle(SkinEffect& effect, int i) {
    ASSERT_EQ(effect.dispatcher(effEditOpen, 0, 0, nullptr, 0), 1);
    SkinEditor* editor = effect.skinEditor();
    CFrame* frame = editor->getFrame();
    effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
    // Some cycles close with an entry in progress or the program list open.
    if (i % 3 == 1) click(frame, 180, 165);
    if (i % 3 == 2) editor->menu->popup();
    CPoint p(100, 200);
    frame->onMouseMoved(p, CButtonState());
    effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
    effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
}

TEST(Leak, ThousandOpenCloseCyclesLeaveNothingBehind) {
    SkinEffect effect;
    // Another instance's open editor keeps the decoded images alive, as in a session with
    // several instances; the cycles then measure the views, not PNG decoding.
    std::vector<CBitmap*> shared;
    const EmbeddedImageTable* table = embeddedImages();
    ASSERT_NE(table, nullptr);
    for (size_t i = 0; i < table->count; ++i) shared.push_back(new CBitmap(table->images[i].id));
    const int64_t objects = CBaseObject::liveObjectCount();
    for (int i = 0; i < 50; ++i) cycle(effect, i);  // warm-up: caches of cairo and fontconfig
    EXPECT_EQ(CBaseObject::liveObjectCount(), objects);
    [[maybe_unused]] const long before = residentKb();
    for (int i = 0; i < 1000; ++i) {
        cycle(effect, i);
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(CBaseObject::liveObjectCount(), objects);
#ifndef QRX_SANITIZED_BUILD  // a sanitizer's quarantine holds freed memory; it checks leaks itself
    const long grown = residentKb() - before;
    EXPECT_LT(grown, 4096) << "resident memory grew by " << grown << " kB";
#endif
    for (CBitmap* b : shared) b->forget();
}

TEST(Leak, DecodedImagesAreSharedWhileUsedAndReleasedAfter) {
    const int64_t before = liveSurfaceBytes();
    auto* a = new CBitmap(19002);
    auto* b = new CBitmap(19002);
    ASSERT_TRUE(a->isLoaded());
    const CBitmap::Piece first = a->pieceAt(1, 0);
    ASSERT_NE(first.surface, nullptr);
    EXPECT_EQ(first.surface, b->pieceAt(1, 0).surface) << "one decoded copy";
    const int64_t tile = int64_t{surfaceWidth(first.surface)} * surfaceHeight(first.surface) * 4;
    EXPECT_EQ(liveSurfaceBytes() - before, tile) << "only the tile drawn from is decoded";
    EXPECT_LT(first.rect.bottom, a->getHeight()) << "the strip comes in more than one tile";
    a->forget();
    EXPECT_EQ(liveSurfaceBytes() - before, tile) << "the other bitmap still uses it";
    b->forget();
    EXPECT_EQ(liveSurfaceBytes(), before) << "released with the last bitmap of the image";

    // A knob turned through all its frames keeps only the last few tiles it drew.
    auto* c = new CBitmap(19036);
    for (CCoord y = 0; y < c->getHeight(); y += 37) ASSERT_NE(c->pieceAt(2, y).surface, nullptr);
    for (CCoord y = 0; y < c->getHeight(); y += 37) ASSERT_NE(c->pieceAt(3, y).surface, nullptr);
    const CBitmap::Piece last = c->pieceAt(3, c->getHeight() - 1);
    const int64_t oneTile = int64_t{surfaceWidth(last.surface)} * surfaceHeight(last.surface) * 4;
    EXPECT_LT(liveSurfaceBytes() - before, 4 * (int64_t{384} + 4096) * 1024 + oneTile);
    c->forget();
    EXPECT_EQ(liveSurfaceBytes(), before);
}

TEST(Leak, SkinnedPanelRendersAndCanBeSaved) {
    SkinEffect effect;
    ASSERT_EQ(effect.dispatcher(effEditOpen, 0, 0, nullptr, 0), 1);
    CFrame* frame = effect.skinEditor()->getFrame();
    frame->idle();
    // The page background and a knob frame are where the table puts them.
    const Pixel header = pixelAt(frame->getOffscreen(), 200, 5);
    EXPECT_LT(header.r, 90) << "dark header band of 19001";
    const Pixel panel = pixelAt(frame->getOffscreen(), 240, 300);
    EXPECT_GT(panel.r, 150) << "light aluminium";
    const char* dir = std::getenv("QRX_GUI_SNAPSHOT");
    if (dir) {
        EXPECT_TRUE(frame->writePNG((std::string(dir) + "/grandpress-front.png").c_str()));
        effect.skinEditor()->menu->popup();
        frame->idle();
        EXPECT_TRUE(frame->writePNG((std::string(dir) + "/grandpress-menu.png").c_str()));
        auto* back = new CFrame(CRect(0, 0, 450, 445), nullptr);
        auto* bmp = new CBitmap(19035);
        back->setBackground(bmp);
        bmp->forget();
        back->idle();
        EXPECT_TRUE(back->writePNG((std::string(dir) + "/grandpress-back.png").c_str()));
        back->forget();
    }
    effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
}

}  // namespace
}  // namespace guitest

// In-place text entry: focus by click, typing over the selection, editing keys, commit on
// Return and on focus loss, cancel on Escape, keys arriving from the host through the editor.
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "TestEditor.h"

namespace guitest {
namespace {

struct TextEntry : ::testing::Test {
    void SetUp() override {
        frame = new CFrame(CRect(0, 0, 200, 100), nullptr);
        edit = new CTextEdit(CRect(10, 10, 110, 26), &listener, 59, "Init");
        frame->addView(edit);
        other = new CKnob(CRect(150, 10, 190, 50), nullptr, 1, nullptr, nullptr);
        frame->addView(other);
    }
    void TearDown() override { frame->forget(); }
    void type(const char* s) {
        for (; *s; ++s) {
            VstKeyCode k = character(*s);
            EXPECT_EQ(frame->onKeyDown(k), 1);
        }
    }
    void key(unsigned char v) {
        VstKeyCode k = virtualKey(v);
        frame->onKeyDown(k);
    }
    CFrame* frame;
    CTextEdit* edit;
    CKnob* other;
    RecordingListener listener;
};

TEST_F(TextEntry, TypingReplacesTheSelectedTextAndReturnCommits) {
    click(frame, 50, 18);
    ASSERT_TRUE(edit->isEditing());
    EXPECT_EQ(frame->getFocusView(), edit);
    type("Bass");
    EXPECT_STREQ(edit->getEditText(), "Bass");
    EXPECT_STREQ(edit->getText(), "Init") << "not stored before the commit";
    key(VKEY_BACK);
    type("!");
    key(VKEY_RETURN);
    EXPECT_FALSE(edit->isEditing());
    EXPECT_STREQ(edit->getText(), "Bas!");
    EXPECT_EQ(listener.tags, (std::vector<int32_t>{59}));
    EXPECT_EQ(frame->getFocusView(), nullptr);
    VstKeyCode k = character('x');
    EXPECT_EQ(frame->onKeyDown(k), -1) << "keys are not taken without focus";
}

TEST_F(TextEntry, CaretMovesAndDeleteRemovesAfterIt) {
    click(frame, 50, 18);
    key(VKEY_END);  // drops the selection
    key(VKEY_LEFT);
    key(VKEY_LEFT);
    type("-");
    EXPECT_STREQ(edit->getEditText(), "In-it");
    key(VKEY_HOME);
    key(VKEY_DELETE);
    EXPECT_STREQ(edit->getEditText(), "n-it");
    VstKeyCode space{' ', VKEY_SPACE, 0};
    frame->onKeyDown(space);
    EXPECT_STREQ(edit->getEditText(), " n-it");
}

TEST_F(TextEntry, EscapeCancelsWithoutReporting) {
    click(frame, 50, 18);
    type("Lost");
    key(VKEY_ESCAPE);
    EXPECT_FALSE(edit->isEditing());
    EXPECT_STREQ(edit->getText(), "Init");
    EXPECT_TRUE(listener.tags.empty());
}

TEST_F(TextEntry, ClickElsewhereOrRemovalCommits) {
    click(frame, 50, 18);
    type("Keep");
    click(frame, 170, 30);  // on the knob
    EXPECT_FALSE(edit->isEditing());
    EXPECT_STREQ(edit->getText(), "Keep");
    EXPECT_EQ(listener.tags.size(), 1u);

    click(frame, 50, 18);
    type("Gone");
    frame->removeView(edit, false);
    EXPECT_STREQ(edit->getText(), "Gone");
    EXPECT_EQ(listener.tags.size(), 2u);
    EXPECT_EQ(frame->getFocusView(), nullptr);
    edit->forget();
}

TEST_F(TextEntry, EditingDrawsAnEntryBoxAndTheTextIsLimited) {
    edit->setBackColor(MakeCColor(209, 227, 238));
    click(frame, 50, 18);
    frame->idle();
    EXPECT_TRUE(near(pixelAt(frame->getOffscreen(), 105, 12), 209, 227, 238));
    std::string longText(300, 'a');
    edit->setText(longText.c_str());
    EXPECT_EQ(std::strlen(edit->getText()), 255u);
    char out[256];
    edit->getText(out);
    EXPECT_EQ(std::strlen(out), 255u);
}

TEST_F(TextEntry, HostKeysReachTheFieldThroughTheEditor) {
    TestEffect effect;
    effect.dispatcher(effEditOpen, 0, 0, nullptr, 0);
    TestEditor* editor = effect.testEditor();
    CFrame* f = editor->getFrame();
    click(f, 120, 18);
    ASSERT_TRUE(editor->text->isEditing());
    // effEditKeyDown: index = character, value = virtual key, opt = modifiers.
    EXPECT_EQ(effect.dispatcher(effEditKeyDown, 'Q', 0, nullptr, 0), 1);
    EXPECT_EQ(effect.dispatcher(effEditKeyDown, 0, VKEY_RETURN, nullptr, 0), 1);
    EXPECT_EQ(editor->committed, "Q");
    EXPECT_EQ(effect.dispatcher(effEditKeyDown, 'Z', 0, nullptr, 0), 0)
        << "not used: the host keeps it";
    effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
}

}  // namespace
}  // namespace guitest

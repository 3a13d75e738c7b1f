// The preset bar inside an editor: layout, and what each control does to the effect's programs,
// the per-user store, the files and the host, driven by mouse and key events on an offscreen
// frame with the file dialogs answered by a script.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/UserStore.h"
#include "presets/BarFixture.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/EditorFixture.h"

namespace testsupport {
namespace {

using Ed = CPresetSystemEditor;

bool storedValue(const char* name) {
    auto key = platform::UserStoreKey::open(Ed::kStoreKey, platform::StoreAccess::Query);
    unsigned char buffer[2565];
    return key && key->queryBinary(name, buffer, sizeof buffer);
}

// The names in `folder`, sorted.
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// ---- Layout

TEST_F(BarTest, ControlsStandWhereTheBarPutsThemInCreationOrder) {
    struct Expected {
        int32_t tag;
        const char* cls;
        CRect rect;
    };
    const int y = kBarTop;
    const Expected table[] = {
        {Ed::kTagProgramName, "CTextEdit", CRect(175, y - 1, 292, y + 15)},
        {Ed::kTagProgramMenu, "COptionMenu", CRect(293, y, 305, y + 14)},
        {Ed::kTagProgramStep, "CPSRockerSwitch", CRect(313, y, 344, y + 14)},
        {Ed::kTagLoadBank, "CSaveLoadButton", CRect(70, y, 82, y + 14)},
        {Ed::kTagSaveBank, "CSaveLoadButton", CRect(20, y, 32, y + 14)},
        {Ed::kTagDefaultBank, "CPSKickButton", CRect(32, y + 2, 69, y + 12)},
        {Ed::kTagLoadPreset, "CSaveLoadButton", CRect(150, y, 162, y + 14)},
        {Ed::kTagSavePreset, "CSaveLoadButton", CRect(91, y, 103, y + 14)},
        {Ed::kTagDefaultPreset, "CPSKickButton", CRect(103, y + 2, 150, y + 12)},
        {Ed::kTagStoreMemoA, "CPSKickButton", CRect(352, y, 364, y + 14)},
        {Ed::kTagRecallMemoA, "CPSKickButton", CRect(374, y, 386, y + 14)},
        {Ed::kTagStoreMemoB, "CPSKickButton", CRect(395, y, 407, y + 14)},
        {Ed::kTagRecallMemoB, "CPSKickButton", CRect(417, y, 429, y + 14)},
    };
    ASSERT_EQ(frame()->getNbViews(), 13);
    for (int i = 0; i < 13; ++i) {
        SCOPED_TRACE(table[i].tag);
        CControl* c = control(table[i].tag);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(frame()->getView(i), c) << "creation order";
        EXPECT_STREQ(c->getClassName(), table[i].cls);
        EXPECT_EQ(c->getViewSize(), table[i].rect);
        EXPECT_EQ(c->getListener(), editor);
    }
    EXPECT_TRUE(as<CPSKickButton>(Ed::kTagDefaultBank)->needsDoubleClick());
    EXPECT_TRUE(as<CPSKickButton>(Ed::kTagDefaultPreset)->needsDoubleClick());
    EXPECT_FALSE(as<CPSKickButton>(Ed::kTagStoreMemoA)->needsDoubleClick());
    EXPECT_EQ(as<CPSKickButton>(Ed::kTagDefaultBank)->getHeightOfOneImage(), 10);
    EXPECT_EQ(as<CPSRockerSwitch>(Ed::kTagProgramStep)->getNumSubPixmaps(), 5);
}

TEST_F(BarTest, NameFieldAndMenuShowThePanelThroughAndTheProgramStore) {
    auto* field = as<CTextEdit>(Ed::kTagProgramName);
    EXPECT_EQ(field->getBackground(), frame()->getBackground());
    EXPECT_EQ(field->getBackOffset(), CPoint(175, kBarTop - 1));
    EXPECT_EQ(field->getFontColor(), MakeCColor(36, 36, 32));
    EXPECT_EQ(field->getBackColor(), MakeCColor(209, 227, 238));
    EXPECT_EQ(field->getFrameColor(), MakeCColor(36, 36, 32));
    EXPECT_EQ(field->getHoriAlign(), kCenterText);
    EXPECT_EQ(fieldText(), nameOf(0));

    EXPECT_EQ(menu()->getBackground(), frame()->getBackground());
    EXPECT_EQ(menu()->getBackOffset(), CPoint(293, kBarTop));
    EXPECT_TRUE(menu()->getStyle() & kNoTextStyle) << "a bare button";
    ASSERT_EQ(menu()->getNbEntries(), 16);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(menuTitle(k), nameOf(k));
    EXPECT_EQ(menu()->getCurrentIndex(), 0);
}

TEST(BarLayout, TinyPressBarSitsAt362) {
    TemporaryConfigHome config;
    CallbackRecorder host;
    Engine engine(CallbackRecorder::callback);
    auto* editor = new BarEditor(&engine, 378, Ed::kTinyPressBarTop);
    ASSERT_TRUE(editor->open(nullptr));
    EXPECT_EQ(editor->presetBarControl(Ed::kTagProgramName)->getViewSize(),
              CRect(175, 361, 292, 377));
    EXPECT_EQ(editor->presetBarControl(Ed::kTagRecallMemoB)->getViewSize(),
              CRect(417, 362, 429, 376));
    editor->close();
}

// ---- Name field, rocker, menu

TEST_F(BarTest, TypedNameIsCutTo24CharactersEverywhere) {
    click(centreOf(Ed::kTagProgramName));
    type("A name far too long for it!!");  // 28 characters
    pressReturn();
    EXPECT_EQ(fieldText(), "A name far too long for ");
    EXPECT_EQ(menuTitle(0), "A name far too long for ");
    EXPECT_EQ(nameOf(0), "A name far too long for ");
    EXPECT_GE(updateDisplays(), 1) << "the host shows the new name";
    EXPECT_EQ(nameOf(1), std::string(kFactoryProgramNames[1]));
}

TEST_F(BarTest, TypedNameNeverEndsInHalfACharacter) {
    click(centreOf(Ed::kTagProgramName));
    type(std::string(23, 'x'));
    VstKeyCode eAcute{0xE9, 0, 0};  // two bytes in UTF-8: it would straddle byte 24
    frame()->onKeyDown(eAcute);
    type("z");
    pressReturn();
    EXPECT_EQ(nameOf(0), std::string(23, 'x'));
    EXPECT_EQ(fieldText(), std::string(23, 'x'));
}

TEST_F(BarTest, RockerStepsAndStopsAtBothEndsReapplyingTheProgram) {
    const CRect r = control(Ed::kTagProgramStep)->getViewSize();
    const CPoint left(r.left + 3, r.top + 7), right(r.right - 3, r.top + 7);

    click(right);
    EXPECT_EQ(engine->getCurrentProgramIndex(), 1);
    EXPECT_TRUE(lastSelected(1));
    EXPECT_EQ(fieldText(), nameOf(1));
    EXPECT_EQ(menu()->getCurrentIndex(), 1);
    EXPECT_GE(updateDisplays(), 1);

    click(left);
    click(left);  // at program 0 already
    EXPECT_EQ(engine->getCurrentProgramIndex(), 0);
    engine->applied.clear();
    click(left);
    EXPECT_TRUE(lastSelected(0)) << "program 0 applied again";

    engine->selectProgram(15);
    engine->applied.clear();
    host.requests.clear();
    click(right);
    EXPECT_EQ(engine->getCurrentProgramIndex(), 15);
    EXPECT_TRUE(lastSelected(15)) << "program 15 applied again";
    EXPECT_EQ(menu()->getCurrentIndex(), 15);
    EXPECT_EQ(fieldText(), nameOf(15));
    EXPECT_GE(updateDisplays(), 1);
}

TEST_F(BarTest, RockerHeldOnTheRightHalfShowsTheFifthImage) {
    auto* rocker = as<CPSRockerSwitch>(Ed::kTagProgramStep);
    const CRect r = rocker->getViewSize();
    const CPoint right(r.right - 3, r.top + 7);
    move(right);
    down(right);
    EXPECT_EQ(rocker->imageIndex(), 4);
    up(right);
    EXPECT_EQ(rocker->imageIndex(), 2) << "hovered right half after release";
}

TEST_F(BarTest, ChoosingMenuEntryFourSelectsProgramFour) {
    click(centreOf(Ed::kTagProgramMenu));
    CView* list = frame()->getModalView();
    ASSERT_NE(list, nullptr) << "the list is open";
    const CRect l = list->getViewSize();
    const CCoord row = (l.getHeight() - 4) / 16;
    click(CPoint(l.left + 20, l.top + 2 + 4.5 * row));
    EXPECT_EQ(frame()->getModalView(), nullptr);
    EXPECT_EQ(engine->getCurrentProgramIndex(), 4);
    EXPECT_TRUE(lastSelected(4));
    EXPECT_EQ(fieldText(), nameOf(4));
    EXPECT_EQ(menu()->getCurrentIndex(), 4);
    EXPECT_GE(updateDisplays(), 1);
}

TEST_F(BarTest, RenamedProgramKeepsItsNameWhenChosenFromTheMenu) {
    click(centreOf(Ed::kTagProgramName));
    type("Vocals");
    pressReturn();
    menu()->setValue(3);
    editor->valueChanged(menu());
    menu()->setValue(0);
    editor->valueChanged(menu());
    EXPECT_EQ(nameOf(0), "Vocals");
    EXPECT_EQ(fieldText(), "Vocals");
}

// ---- Default and memo buttons

TEST_F(BarTest, DefaultPresetButtonStoresOnDoubleClickAndClearsOnControlDoubleClick) {
    const CPoint at = centreOf(Ed::kTagDefaultPreset);
    click(at);
    EXPECT_FALSE(storedValue("DefaultPreset")) << "a single click does nothing";
    doubleClick(at);
    EXPECT_TRUE(storedValue("DefaultPreset"));

    doubleClick(centreOf(Ed::kTagDefaultBank));
    EXPECT_TRUE(storedValue("DefaultBank"));

    doubleClick(at, kControl);
    EXPECT_FALSE(storedValue("DefaultPreset"));
    EXPECT_TRUE(storedValue("DefaultBank")) << "only the preset is cleared";
    doubleClick(centreOf(Ed::kTagDefaultBank), kControl);
    EXPECT_FALSE(storedValue("DefaultBank"));
}

TEST_F(BarTest, MemoStoredAndRecalledWithSingleClicks) {
    engine->selectProgram(2);
    click(centreOf(Ed::kTagStoreMemoA));
    EXPECT_TRUE(storedValue("MemoA"));
    EXPECT_FALSE(storedValue("MemoB"));
    const ProgramRecord before = store().record(2);

    engine->setParameter(5, 0.875f);
    click(centreOf(Ed::kTagProgramName));
    type("Changed");
    pressReturn();
    ASSERT_EQ(nameOf(2), "Changed");

    engine->applied.clear();
    host.requests.clear();
    click(centreOf(Ed::kTagRecallMemoA));
    const ProgramRecord after = store().record(2);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << "name and values are back";
    EXPECT_TRUE(lastSelected(2)) << "and applied";
    EXPECT_EQ(fieldText(), nameOf(2));
    EXPECT_EQ(menuTitle(2), nameOf(2));
    EXPECT_GE(updateDisplays(), 1);

    const ProgramRecord unchanged = store().record(2);
    click(centreOf(Ed::kTagRecallMemoB));  // never stored
    const ProgramRecord still = store().record(2);
    EXPECT_EQ(std::memcmp(&unchanged, &still, sizeof still), 0);
}

// ---- Load and save buttons

TEST_F(BarTest, SavePresetAsksForAFileAndWritesIt) {
    const std::string path = config.folder() + "/mine.qrx";
    const std::string startFolder = editor->currentDirectoryText();
    dialogs.answers = {path};
    dialogs.watched = as<CSaveLoadButton>(Ed::kTagSavePreset);
    click(centreOf(Ed::kTagSavePreset));
    ASSERT_EQ(dialogs.requests.size(), 1u);
    const FileSelectorRequest& r = dialogs.requests[0];
    EXPECT_EQ(r.style, FileSelectorRequest::kSelectSaveFile);
    EXPECT_EQ(r.title, "Save preset");
    EXPECT_EQ(r.initialDirectory, startFolder);
    ASSERT_EQ(r.extensions.size(), 1u);
    EXPECT_STREQ(r.extensions[0].getExtension(), "qrx");
    EXPECT_STREQ(r.extensions[0].getDescription(), "QRX Preset");
    EXPECT_FALSE(r.allowMultiple);
    EXPECT_EQ(dialogs.imagesDuringDialog, std::vector<int>{2});
    EXPECT_EQ(readBytes(path).size(), 165u);
    EXPECT_STREQ(editor->currentPresetFileText(), "mine.qrx");

    // The next save dialog proposes the same name; a right click saves normally.
    dialogs.answers = {config.folder() + "/bank.qrb"};
    click(centreOf(Ed::kTagSaveBank), kRButton);
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].title, "Save bank");
    EXPECT_EQ(readBytes(config.folder() + "/bank.qrb").size(), 2565u);
    dialogs.answers = {""};
    click(centreOf(Ed::kTagSavePreset));
    EXPECT_EQ(dialogs.requests[2].defaultSaveName, "mine.qrx");
    EXPECT_EQ(dialogs.requests[2].initialDirectory, config.folder() + "/");
}

TEST_F(BarTest, SavingOntoAReadOnlyFileLeavesItAsItWas) {
    const std::string folder = config.folder() + "/files";
    std::filesystem::create_directory(folder);
    const Bytes previous = handPreset(vstFourCC('T', 'e', 's', 't'), "Keep me");
    writeBytes(folder + "/kept.qrx", previous);
    ASSERT_EQ(chmod((folder + "/kept.qrx").c_str(), 0444), 0);  // refused also for root
    pressFileButton(Ed::kTagSavePreset, {folder + "/kept.qrx"});
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(readBytes(folder + "/kept.qrx"), previous);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"kept.qrx"}) << "no temporary left";
}

TEST_F(BarTest, SavingOntoASymbolicLinkWritesTheFileItNames) {
    const std::string real = config.folder() + "/real", links = config.folder() + "/links";
    std::filesystem::create_directories(real);
    std::filesystem::create_directories(links);
    writeBytes(real + "/song.qrx", handPreset(vstFourCC('T', 'e', 's', 't'), "Old"));
    std::filesystem::create_symlink(real + "/song.qrx", links + "/song.qrx");
    pressFileButton(Ed::kTagSavePreset, {links + "/song.qrx"});
    Bytes image(165);
    editor->makePresetImage(image.data());
    EXPECT_EQ(readBytes(real + "/song.qrx"), image);
    EXPECT_TRUE(std::filesystem::is_symlink(links + "/song.qrx"));
    EXPECT_EQ(namesIn(real), std::vector<std::string>{"song.qrx"});
    EXPECT_EQ(namesIn(links), std::vector<std::string>{"song.qrx"});
}

TEST_F(BarTest, SavingUnderA250ByteNameWorks) {
    const std::string name = std::string(246, 'L') + ".qrx";
    pressFileButton(Ed::kTagSavePreset, {config.folder() + "/" + name});
    EXPECT_EQ(readBytes(config.folder() + "/" + name).size(), 165u);
    EXPECT_STREQ(editor->currentPresetFileText(), name.c_str());
}

TEST_F(BarTest, SaveDialogAddsTheDefaultExtensionWhenTheNameHasNone) {
    const std::string folder = config.folder() + "/files";
    std::filesystem::create_directory(folder);
    pressFileButton(Ed::kTagSavePreset, {folder + "/mypreset"});
    pressFileButton(Ed::kTagSaveBank, {folder + "/mybank"});
    pressFileButton(Ed::kTagSavePreset, {folder + "/.hidden"});  // a leading dot is no extension
    pressFileButton(Ed::kTagSavePreset, {folder + "/dotted."});
    pressFileButton(Ed::kTagSavePreset, {folder + "/v1.take"});  // has one: kept as typed
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{".hidden.qrx", "dotted.qrx", "mybank.qrb",
                                                         "mypreset.qrx", "v1.take"}));
    EXPECT_EQ(readBytes(folder + "/mypreset.qrx").size(), 165u);
    EXPECT_EQ(readBytes(folder + "/mybank.qrb").size(), 2565u);
    EXPECT_STREQ(editor->currentBankFileText(), "mybank.qrb");

    // The load dialog's filter shows the file, and loading it brings the program back.
    engine->renameCurrentProgram("Scratch");
    pressFileButton(Ed::kTagLoadPreset, {folder + "/mypreset.qrx"});
    EXPECT_STREQ(dialogs.requests.back().extensions[0].getExtension(), "qrx");
    EXPECT_EQ(nameOf(0), std::string(kFactoryProgramNames[0]));
}

TEST_F(BarTest, AddedExtensionLeadingToAnExistingFileAsksAgain) {
    const std::string folder = config.folder() + "/files";
    std::filesystem::create_directory(folder);
    const Bytes previous = handPreset(vstFourCC('T', 'e', 's', 't'), "Earlier");
    writeBytes(folder + "/take.qrx", previous);

    // "take" was new to the dialog, "take.qrx" is not: the dialog comes again, proposing it;
    // cancelling saves nothing.
    pressFileButton(Ed::kTagSavePreset, {folder + "/take", ""});
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].initialDirectory, folder + "/");
    EXPECT_EQ(dialogs.requests[1].defaultSaveName, "take.qrx");
    EXPECT_EQ(dialogs.requests[1].title, "Save preset");
    EXPECT_EQ(readBytes(folder + "/take.qrx"), previous);

    // Choosing the full name in the second dialog (which confirmed the overwrite) saves.
    pressFileButton(Ed::kTagSavePreset, {folder + "/take", folder + "/take.qrx"});
    ASSERT_EQ(dialogs.requests.size(), 4u);
    EXPECT_EQ(readBytes(folder + "/take.qrx").size(), 165u);
    EXPECT_NE(readBytes(folder + "/take.qrx"), previous);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"take.qrx"});
}

TEST_F(BarTest, LoadPresetBringsTheSavedProgramBack) {
    const std::string path = config.folder() + "/keep.qrx";
    engine->selectProgram(3);
    dialogs.answers = {path};
    click(centreOf(Ed::kTagSavePreset));
    const ProgramRecord saved = store().record(3);

    engine->setParameter(7, 0.0625f);
    engine->renameCurrentProgram("Scratch");
    host.requests.clear();
    dialogs.answers = {path};
    click(centreOf(Ed::kTagLoadPreset));
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].title, "Load preset");
    EXPECT_EQ(dialogs.requests[1].style, FileSelectorRequest::kSelectFile);
    const ProgramRecord loaded = store().record(3);
    EXPECT_EQ(std::memcmp(&saved, &loaded, sizeof saved), 0);
    EXPECT_EQ(fieldText(), nameOf(3));
    EXPECT_EQ(menuTitle(3), nameOf(3));
    EXPECT_GE(updateDisplays(), 1);
}

TEST_F(BarTest, RightClickOnLoadBankLoadsEndianReversed) {
    const std::string path = config.folder() + "/native.qrb";
    const Bytes bank = handBank(vstFourCC('T', 'e', 's', 't'));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bank.data()), 2565);
    engine->selectProgram(6);
    dialogs.answers = {path};
    dialogs.watched = as<CSaveLoadButton>(Ed::kTagLoadBank);
    click(centreOf(Ed::kTagLoadBank), kRButton);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, "Load bank (endian-reversed)");
    ASSERT_EQ(dialogs.requests[0].extensions.size(), 1u);
    EXPECT_STREQ(dialogs.requests[0].extensions[0].getExtension(), "qrb");
    EXPECT_EQ(dialogs.imagesDuringDialog, std::vector<int>{2});
    for (int k : {0, 9})
        for (int i : {1, 33}) EXPECT_EQ(store().value(k, i), swappedFloat(handValue(k, i)));
    EXPECT_EQ(nameOf(9), "Bank program 9");
    EXPECT_EQ(menuTitle(9), "Bank program 9") << "the menu shows the new names";
    EXPECT_EQ(engine->getCurrentProgramIndex(), 0);
    EXPECT_EQ(menu()->getCurrentIndex(), 0);
    EXPECT_EQ(fieldText(), "Bank program 0");

    // A left click loads the same file as it is.
    dialogs.answers = {path};
    click(centreOf(Ed::kTagLoadBank));
    EXPECT_EQ(dialogs.requests[1].title, "Load bank");
    EXPECT_EQ(store().value(9, 33), handValue(9, 33));
}

TEST_F(BarTest, CancelledDialogChangesNothing) {
    const auto before = store().record(0);
    dialogs.answers = {""};
    click(centreOf(Ed::kTagLoadPreset), kRButton);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, "Load preset (endian-reversed)");
    const auto after = store().record(0);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof after), 0);
    EXPECT_STREQ(editor->currentPresetFileText(), "");
}

TEST_F(BarTest, RefusedBankStillShowsProgramZeroInTheBar) {
    const std::string path = config.folder() + "/other.qrb";
    const Bytes bank = handBank(vstFourCC('O', 't', 'h', 'r'));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bank.data()), 2565);
    engine->selectProgram(5);
    editor->showProgramName();
    ASSERT_EQ(menu()->getCurrentIndex(), 5);
    dialogs.answers = {path};
    click(centreOf(Ed::kTagLoadBank));
    EXPECT_EQ(engine->getCurrentProgramIndex(), 0);
    EXPECT_EQ(menu()->getCurrentIndex(), 0);
    EXPECT_EQ(fieldText(), nameOf(0));
    EXPECT_EQ(nameOf(9), std::string(kFactoryProgramNames[9])) << "programs unchanged";
}

// ---- Keeping in step with the program store; timer; close

TEST_F(BarTest, HostRenameAndStateChunkReachTheBar) {
    char name[] = "From the host";
    engine->setProgramName(name);
    EXPECT_EQ(fieldText(), "From the host");
    EXPECT_EQ(menuTitle(0), "From the host");

    // A chunk with other names and program 7 current, as a host restores a project.
    ProgramRecord records[kNumPrograms];
    for (int k = 0; k < kNumPrograms; ++k) {
        records[k] = store().record(k);
        std::memset(records[k].name, 0, kProgramNameSize);
        std::snprintf(records[k].name, kProgramNameSize, "Song %d", k);
    }
    unsigned char chunk[CPresetSystemEffect::kChunkSize];
    CPresetSystemEffect::writeChunkImage(chunk, vstFourCC('T', 'e', 's', 't'), 7, records);
    ASSERT_EQ(engine->setChunk(chunk, sizeof chunk, false), 0);
    EXPECT_EQ(menu()->getCurrentIndex(), 7);
    EXPECT_EQ(menuTitle(12), "Song 12");
    EXPECT_EQ(fieldText(), "Song 7");
}

TEST_F(BarTest, IdleTimerCallsTheEditorsIdleEveryPeriodUntilClose) {
    const uint32_t id = editor->idleTimerId();
    ASSERT_NE(id, 0u);
    CFrame* f = frame();
    f->remember();
    f->idle();
    clock.advance(Ed::kIdleTimerMs - 1);
    f->idle();
    EXPECT_EQ(editor->idles, 0) << "not before its period";
    clock.advance(1);
    f->idle();
    EXPECT_EQ(editor->idles, 1);
    // The window's timer event between the host's idle calls.
    clock.advance(Ed::kIdleTimerMs);
    f->fireTimer(id);
    f->fireTimer(id);
    EXPECT_EQ(editor->idles, 2) << "once per period";

    editor->close();
    EXPECT_EQ(editor->idleTimerId(), 0u);
    EXPECT_EQ(editor->presetBarControl(Ed::kTagProgramName), nullptr);
    EXPECT_EQ(editor->presetBarControl(Ed::kTagRecallMemoB), nullptr);
    clock.advance(Ed::kIdleTimerMs);
    f->fireTimer(id);
    f->idle();
    EXPECT_EQ(editor->idles, 2) << "the timer is stopped";
    f->forget();

    // The bar is rebuilt on the next open, with the store's current state.
    engine->selectProgram(8);
    ASSERT_TRUE(editor->open(nullptr));
    EXPECT_EQ(fieldText(), nameOf(8));
    EXPECT_EQ(menu()->getCurrentIndex(), 8);
    EXPECT_NE(editor->idleTimerId(), 0u);
}

TEST_F(BarTest, OtherTagsAreLeftToTheEngineEditor) {
    auto* knob = new CKnob(CRect(0, 0, 10, 10), editor, 5, nullptr, nullptr);
    knob->setValue(1.0f);
    engine->applied.clear();
    host.requests.clear();
    editor->valueChanged(knob);
    EXPECT_TRUE(engine->applied.empty());
    EXPECT_TRUE(host.requests.empty());
    knob->forget();
}

}  // namespace
}  // namespace testsupport

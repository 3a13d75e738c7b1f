// The preset bar of CPresetSystemEditor: building it into the editor's frame, its control
// callback, and keeping it in step with the program store. User-interface thread.
#include <algorithm>
#include <filesystem>
#include <string>

#include "gui/CBitmap.h"
#include "gui/CFileSelector.h"
#include "gui/CFrame.h"
#include "gui/COptionMenu.h"
#include "gui/CTextEdit.h"
#include "presets/CPresetSystemEditor.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/PresetBarControls.h"

using namespace qgui;

namespace {

// Skin ids of the bar's strips and the height of one of their images (pixels).
constexpr int32_t kSaveBankBitmap = 19994;
constexpr int32_t kDefaultBankBitmap = 19990;
constexpr int32_t kLoadBankBitmap = 19993;
constexpr int32_t kSavePresetBitmap = 19999;
constexpr int32_t kDefaultPresetBitmap = 19899;
constexpr int32_t kLoadPresetBitmap = 19998;
constexpr int32_t kRockerBitmap = 19997;
constexpr int32_t kStoreMemoABitmap = 19995;
constexpr int32_t kRecallMemoABitmap = 19991;
constexpr int32_t kStoreMemoBBitmap = 19996;
constexpr int32_t kRecallMemoBBitmap = 19992;
constexpr CCoord kSmallImageHeight = 14;    // 12 x 42 strips and the 31 x 70 rocker
constexpr CCoord kDefaultImageHeight = 10;  // 37 x 30 and 47 x 30 strips

constexpr CColor kNameTextColor = MakeCColor(36, 36, 32);
constexpr CColor kNameBackColor = MakeCColor(209, 227, 238);

const CFileExtension kPresetExtension("QRX Preset", "qrx");
const CFileExtension kBankExtension("QRX Bank", "qrb");

// The characters that end a folder name in a path: '/', and on Windows also '\'.
constexpr char kFolderSeparators[] = {
    '/', static_cast<char>(std::filesystem::path::preferred_separator), '\0'};

// Whether anything (a dangling link too) has the UTF-8 name `path`.
bool nameTaken(const std::string& path) {
    std::error_code error;
    const std::u8string name(path.begin(), path.end());
    return std::filesystem::exists(std::filesystem::symlink_status(name, error));
}

// `path` with ".<extension>" added when its file name has none, as the save dialog's default
// extension asks (zenity does not add it). A name ending in '.' gets the extension without a
// second dot; a name that starts with '.' and has no other one ('.mix') has no extension.
std::string withDefaultExtension(const std::string& path, const std::string& extension) {
    const std::size_t slash = path.find_last_of(kFolderSeparators);
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string name = path.substr(nameStart);
    if (name.empty() || name == "." || name == "..") return path;  // names no file: refused later
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return path + "." + extension;
    if (dot + 1 == name.size()) return path + extension;
    return path;
}

// The first `kProgramNameSize` bytes of `text`, cut back to a whole UTF-8 character so a name
// typed with accents never ends in half a character.
std::string programNameOf(const char* text) {
    std::string s = text ? text : "";
    if (s.size() <= static_cast<std::size_t>(kProgramNameSize)) return s;
    std::size_t cut = kProgramNameSize;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
    s.resize(cut);
    return s;
}

std::string storedName(ProgramStore& store, int program) {
    char text[kProgramNameSize + 1];
    store.getName(program, text);
    return text;
}

// Adds `view` to `frame` (which takes the creator's reference) and returns it.
template <class V>
V* addTo(CFrame* frame, V* view) {
    frame->addView(view);
    return view;
}

// A 12 x 14 save or load button at `left` on the bar at `y0`, showing strip `bitmapId`.
CSaveLoadButton* addSaveLoadButton(CFrame* f, CControlListener* listener, CCoord left, int y0,
                                   int32_t tag, int32_t bitmapId) {
    CBitmap* b = new CBitmap(bitmapId);
    auto* button = addTo(f, new CSaveLoadButton(CRect(left, y0, left + 12, y0 + 14), listener, tag,
                                                kSmallImageHeight, b));
    b->forget();
    return button;
}

// A kick button in `r` showing strip `bitmapId` (images `imageHeight` high); `twice` asks for a
// second click to confirm.
CPSKickButton* addKickButton(CFrame* f, CControlListener* listener, const CRect& r, int32_t tag,
                             int32_t bitmapId, CCoord imageHeight, bool twice) {
    CBitmap* b = new CBitmap(bitmapId);
    auto* button = addTo(f, new CPSKickButton(r, listener, tag, imageHeight, b, twice));
    b->forget();
    return button;
}

// The memo buttons' left edges and strips, by tag from kTagStoreMemoA.
struct MemoButton {
    CCoord left;
    int32_t tag, bitmapId;
};
constexpr MemoButton kMemoButtons[] = {
    {352, CPresetSystemEditor::kTagStoreMemoA, kStoreMemoABitmap},
    {374, CPresetSystemEditor::kTagRecallMemoA, kRecallMemoABitmap},
    {395, CPresetSystemEditor::kTagStoreMemoB, kStoreMemoBBitmap},
    {417, CPresetSystemEditor::kTagRecallMemoB, kRecallMemoBBitmap},
};

}  // namespace

bool CPresetSystemEditor::addPresetBar(CFrame* f, int y0) {
    CPresetSystemEffect* e = presetEffect();
    if (!f || !e) return false;
    removePresetBar();
    barFrame = f;
    barFrame->remember();

    ProgramStore* store = e->programStore();
    const int current = e->getCurrentProgramIndex();
    // The name field and the menu show the frame's background through them.
    CBitmap* panel = f->getBackground();
    addNameField(panel, y0, store ? storedName(*store, current) : std::string());
    addProgramMenu(panel, y0, store, current);
    addBarButtons(y0);

    // The timer keeps meters and redraws going between the host's effEditIdle calls; the frame
    // runs it from its event pump and it calls the idle of the editor that owns the frame.
    idleTimer = barFrame->startTimer(kIdleTimerMs, [f, self = this] {
        AEffGUIEditor* owner = f->getEditor();
        (owner ? owner : self)->idle();
    });
    return true;
}

void CPresetSystemEditor::addNameField(CBitmap* panel, int y0, const std::string& name) {
    // Centred on the bar's middle, one line of the normal font high.
    const CCoord fieldHeight = kNormalFont->getSize() + 4;
    const CCoord fieldTop = y0 + 7 - fieldHeight / 2;
    const CRect fieldRect(175, fieldTop, 292, fieldTop + fieldHeight);
    nameField =
        addTo(barFrame, new CTextEdit(fieldRect, this, kTagProgramName, name.c_str(), panel, 0));
    nameField->setBackOffset(fieldRect.getTopLeft());
    nameField->setFont(kNormalFont);
    nameField->setHoriAlign(kCenterText);
    nameField->setFontColor(kNameTextColor);
    nameField->setBackColor(kNameBackColor);
    nameField->setFrameColor(kNameTextColor);
}

void CPresetSystemEditor::addProgramMenu(CBitmap* panel, int y0, ProgramStore* store, int current) {
    // A bare 12 x 14 button (the glyph is part of the frame background).
    const CRect menuRect(293, y0, 305, y0 + 14);
    programMenu = addTo(barFrame, new COptionMenu(menuRect, this, kTagProgramMenu, panel, nullptr,
                                                  kNoTextStyle | kNoFrame));
    programMenu->setBackOffset(menuRect.getTopLeft());
    programMenu->setFont(kNormalFont);  // of the opened list
    for (int k = 0; k < kNumPrograms; ++k)
        programMenu->addEntry(store ? storedName(*store, k).c_str() : "");
    if (hasZoomMenu()) programMenu->addEntry(kZoomEntryTitle);
    programMenu->setCurrent(current);
}

void CPresetSystemEditor::addBarButtons(int y0) {
    CFrame* f = barFrame;
    CBitmap* rockerStrip = new CBitmap(kRockerBitmap);
    rocker = addTo(f, new CPSRockerSwitch(CRect(313, y0, 344, y0 + 14), this, kTagProgramStep,
                                          kSmallImageHeight, rockerStrip));
    rockerStrip->forget();

    loadBankButton = addSaveLoadButton(f, this, 70, y0, kTagLoadBank, kLoadBankBitmap);
    saveBankButton = addSaveLoadButton(f, this, 20, y0, kTagSaveBank, kSaveBankBitmap);
    defaultBankButton = addKickButton(f, this, CRect(32, y0 + 2, 69, y0 + 12), kTagDefaultBank,
                                      kDefaultBankBitmap, kDefaultImageHeight, true);
    loadPresetButton = addSaveLoadButton(f, this, 150, y0, kTagLoadPreset, kLoadPresetBitmap);
    savePresetButton = addSaveLoadButton(f, this, 91, y0, kTagSavePreset, kSavePresetBitmap);
    defaultPresetButton =
        addKickButton(f, this, CRect(103, y0 + 2, 150, y0 + 12), kTagDefaultPreset,
                      kDefaultPresetBitmap, kDefaultImageHeight, true);
    for (const MemoButton& m : kMemoButtons)
        memoButtons[m.tag - kTagStoreMemoA] =
            addKickButton(f, this, CRect(m.left, y0, m.left + 12, y0 + 14), m.tag, m.bitmapId,
                          kSmallImageHeight, false);
}

void CPresetSystemEditor::removePresetBar() {
    nameField = nullptr;
    programMenu = nullptr;
    rocker = nullptr;
    loadBankButton = saveBankButton = loadPresetButton = savePresetButton = nullptr;
    defaultBankButton = defaultPresetButton = nullptr;
    for (CPSKickButton*& b : memoButtons) b = nullptr;
    if (!barFrame) return;
    if (idleTimer) barFrame->stopTimer(idleTimer);
    idleTimer = 0;
    CFrame* f = barFrame;
    barFrame = nullptr;
    f->forget();
}

void CPresetSystemEditor::close() {
    removePresetBar();
    AEffGUIEditor::close();
}

CControl* CPresetSystemEditor::presetBarControl(int32_t tag) const {
    switch (tag) {
        case kTagProgramName:
            return nameField;
        case kTagProgramStep:
            return rocker;
        case kTagLoadBank:
            return loadBankButton;
        case kTagSaveBank:
            return saveBankButton;
        case kTagLoadPreset:
            return loadPresetButton;
        case kTagSavePreset:
            return savePresetButton;
        case kTagProgramMenu:
            return programMenu;
        case kTagDefaultBank:
            return defaultBankButton;
        case kTagDefaultPreset:
            return defaultPresetButton;
        case kTagStoreMemoA:
        case kTagStoreMemoB:
        case kTagRecallMemoA:
        case kTagRecallMemoB:
            return memoButtons[tag - kTagStoreMemoA];
        default:
            return nullptr;
    }
}

void CPresetSystemEditor::valueChanged(CControl* control) {
    if (!control || !presetEffect()) return;
    const float v = control->getValue();
    // The buttons report only their press (1.0, or 0.5 for the variants); a value of 0 is a
    // release and must never delete a stored default or start a dialog.
    const bool pressed = v > 0;
    switch (control->getTag()) {
        case kTagProgramName:
            if (control == nameField) commitProgramName();
            break;
        case kTagProgramStep:
            stepProgram(v);
            break;
        case kTagLoadBank:
            if (pressed) runLoadDialog(true, v == 0.5f);
            break;
        case kTagSaveBank:
            if (pressed) runSaveDialog(true);
            break;
        case kTagLoadPreset:
            if (pressed) runLoadDialog(false, v == 0.5f);
            break;
        case kTagSavePreset:
            if (pressed) runSaveDialog(false);
            break;
        case kTagProgramMenu:
            chooseFromProgramMenu(v);
            break;
        case kTagDefaultBank:
            if (pressed) v < 0.75f ? clearDefaultBank() : storeDefaultBank();
            break;
        case kTagDefaultPreset:
            if (pressed) v < 0.75f ? clearDefaultPreset() : storeDefaultPreset();
            break;
        case kTagStoreMemoA:
            if (pressed) storeMemo(Memo::A);
            break;
        case kTagStoreMemoB:
            if (pressed) storeMemo(Memo::B);
            break;
        case kTagRecallMemoA:
            if (pressed) recallMemo(Memo::A);
            break;
        case kTagRecallMemoB:
            if (pressed) recallMemo(Memo::B);
            break;
        default:
            break;  // the engine editor's own controls
    }
}

void CPresetSystemEditor::commitProgramName() {
    CPresetSystemEffect* e = presetEffect();
    if (!e || !nameField) return;
    const std::string name = programNameOf(nameField->getText());
    e->renameCurrentProgram(name.c_str());
    // The field and the menu entry show what the program now holds (the cut name).
    nameField->setText(name.c_str());
    showProgramName();
}

void CPresetSystemEditor::stepProgram(float direction) {
    CPresetSystemEffect* e = presetEffect();
    ProgramStore* store = e ? e->programStore() : nullptr;
    if (!store || direction == 0) return;
    int i = e->getCurrentProgramIndex();
    // At either end the same program is applied again (a quick way back to its stored values).
    i = direction > 0 ? std::min(i + 1, kNumPrograms - 1) : std::max(i - 1, 0);
    const std::string name = storedName(*store, i);
    if (programMenu) programMenu->setCurrent(i);
    if (nameField) nameField->setText(name.c_str());
    e->selectProgram(i);
    e->renameCurrentProgram(name.c_str());
}

void CPresetSystemEditor::chooseFromProgramMenu(float menuValue) {
    CPresetSystemEffect* e = presetEffect();
    if (!e || !programMenu) return;
    if (static_cast<int>(menuValue + 0.5f) != kNumPrograms || !hasZoomMenu()) {
        chooseProgram(menuValue);
        return;
    }
    // "Zoom >": the program stays; the zoom menu opens at the menu's button.
    programMenu->setCurrent(e->getCurrentProgramIndex());
    openZoomMenu(programMenu->getViewSize().getTopLeft());
}

void CPresetSystemEditor::chooseProgram(float menuValue) {
    CPresetSystemEffect* e = presetEffect();
    if (!e || !programMenu) return;
    const int i = static_cast<int>(menuValue + 0.5f);
    CMenuItem* item = i >= 0 && i < kNumPrograms ? programMenu->getEntry(i) : nullptr;
    if (!item) return;
    const std::string title = item->getTitle();
    programMenu->setCurrent(i);
    e->selectProgram(i);
    e->renameCurrentProgram(title.c_str());
    if (nameField) nameField->setText(title.c_str());
}

void CPresetSystemEditor::runLoadDialog(bool bank, bool reversed) {
    if (!barFrame) return;
    CNewFileSelector* selector = CNewFileSelector::create(barFrame, CNewFileSelector::kSelectFile);
    if (!selector) return;
    const char* title = bank ? (reversed ? "Load bank (endian-reversed)" : "Load bank")
                             : (reversed ? "Load preset (endian-reversed)" : "Load preset");
    selector->setTitle(title);
    selector->setInitialDirectory(currentDirectory);
    selector->addFileExtension(bank ? kBankExtension : kPresetExtension);
    selector->setAllowMultiFileSelection(false);
    if (selector->runModal() && selector->getNumSelectedFiles() == 1) {
        const std::string path = selector->getSelectedFile(0);
        // Failures are silent here: a refused file leaves the programs as they were.
        if (bank)
            loadBankFile(path, reversed);
        else
            loadPresetFile(path, reversed);
        if (barFrame) barFrame->invalid();
    }
    selector->forget();
}

void CPresetSystemEditor::runSaveDialog(bool bank) {
    if (!barFrame) return;
    CNewFileSelector* selector =
        CNewFileSelector::create(barFrame, CNewFileSelector::kSelectSaveFile);
    if (!selector) return;
    const CFileExtension& extension = bank ? kBankExtension : kPresetExtension;
    selector->setTitle(bank ? "Save bank" : "Save preset");
    selector->setInitialDirectory(currentDirectory);
    selector->setDefaultSaveName(bank ? currentBankFile : currentPresetFile);
    selector->setDefaultExtension(extension);
    selector->setAllowMultiFileSelection(false);
    while (selector->runModal() && selector->getNumSelectedFiles() == 1) {
        const std::string typed = selector->getSelectedFile(0);
        const std::string path = withDefaultExtension(typed, extension.getExtension());
        // The dialog confirmed overwriting the name as typed, not a file the added extension
        // leads to: for that one the user is asked again, with the full name proposed.
        if (path != typed && nameTaken(path)) {
            const std::size_t slash = path.find_last_of(kFolderSeparators);
            selector->setInitialDirectory(path.substr(0, slash + 1).c_str());
            selector->setDefaultSaveName(path.substr(slash + 1).c_str());
            continue;
        }
        if (bank)
            saveBankFile(path);
        else
            savePresetFile(path);
        break;
    }
    selector->forget();
}

void CPresetSystemEditor::showProgramName() {
    CPresetSystemEffect* e = presetEffect();
    ProgramStore* store = e ? e->programStore() : nullptr;
    if (!store || (!nameField && !programMenu)) return;
    const int current = e->getCurrentProgramIndex();
    const std::string name = storedName(*store, current);
    if (nameField) nameField->setText(name.c_str());
    if (programMenu) {
        programMenu->setCurrent(current);
        if (CMenuItem* item = programMenu->getEntry(current)) item->setTitle(name.c_str());
        programMenu->setDirty();
    }
}

void CPresetSystemEditor::showProgramList() {
    CPresetSystemEffect* e = presetEffect();
    ProgramStore* store = e ? e->programStore() : nullptr;
    if (!store || !programMenu) return;
    for (int k = 0; k < kNumPrograms; ++k)
        if (CMenuItem* item = programMenu->getEntry(k))
            item->setTitle(storedName(*store, k).c_str());
    programMenu->setCurrent(e->getCurrentProgramIndex());
    programMenu->setDirty();
}

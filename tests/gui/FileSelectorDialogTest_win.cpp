// The file dialog of the Windows build: the filter list it offers, and the real common dialog
// shown and answered the way a user would (under wine in the tests).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <iterator>
#include <string>
#include <thread>

#include "gui/CFileSelector.h"
#include "gui/CFrame.h"

namespace guitest {
namespace {

using namespace qgui;

TEST(CommonDialogBackend, FilterListsEachExtensionThenAllFiles) {
    FileSelectorRequest r;
    r.extensions.emplace_back("Bank", "fxb");
    r.extensions.emplace_back("", "fxp");
    const wchar_t both[] = L"Bank (*.fxb)\0*.fxb\0fxp (*.fxp)\0*.fxp\0All files\0*.*\0";
    EXPECT_EQ(CommonDialogFileSelectorBackend::filter(r), std::wstring(both, std::size(both)));
    const wchar_t none[] = L"All files\0*.*\0";
    EXPECT_EQ(CommonDialogFileSelectorBackend::filter(FileSelectorRequest{}),
              std::wstring(none, std::size(none)));
}

// Waits for a top-level window titled `title` of this process and answers it once it shows
// (a dialog shows after its WM_INITDIALOG, when its controls are complete).
class DialogAnswerer {
  public:
    DialogAnswerer(std::wstring title, std::wstring fileName)
        : title(std::move(title)), fileName(std::move(fileName)), thread([this] { answer(); }) {}
    ~DialogAnswerer() {
        stop = true;  // when the dialog never came
        thread.join();
    }
    bool sawDialog() const { return seen.load(); }
    HWND dialogOwner() const { return owner.load(); }

  private:
    void answer() {
        while (!stop) {
            HWND dialog = FindWindowW(nullptr, title.c_str());
            if (dialog && IsWindowVisible(dialog)) {
                seen = true;
                owner = GetWindow(dialog, GW_OWNER);
                if (fileName.empty()) {
                    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                } else {
                    // The file-name box of the explorer-style dialog (edt1, cmb13 on newer ones).
                    HWND box = GetDlgItem(dialog, 0x480);
                    if (!box) box = GetDlgItem(dialog, 0x47c);
                    SetWindowTextW(box, fileName.c_str());
                    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                }
                return;
            }
            Sleep(1);  // looking again; the dialog comes when the test thread gets to it
        }
    }

    std::wstring title, fileName;
    std::atomic<bool> seen{false}, stop{false};
    std::atomic<HWND> owner{nullptr};
    std::thread thread;
};

std::string temporaryFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    std::string path;
    for (DWORD i = 0; i < n; ++i) path += static_cast<char>(buffer[i]);  // ASCII in the tests
    return path;
}

TEST(CommonDialogBackend, SaveDialogReturnsTheTypedNameWithTheDefaultExtension) {
    const std::string folder = temporaryFolder();
    FileSelectorRequest r;
    r.style = FileSelectorRequest::kSelectSaveFile;
    r.title = "QRX save test";
    r.initialDirectory = folder;
    r.defaultSaveName = "first";
    r.extensions.emplace_back("Bank", "fxb");
    std::vector<std::string> selected;
    CommonDialogFileSelectorBackend backend;
    DialogAnswerer user(L"QRX save test", L"Drums \u00e9t\u00e9");
    ASSERT_TRUE(backend.run(r, selected));
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0], folder + "Drums \xc3\xa9t\xc3\xa9.fxb") << "UTF-8, extension added";
}

// Through the toolkit, as the preset bar asks: cancelled, and owned by the host's window.
TEST(CommonDialogBackend, CancelledEditorDialogBelongsToTheHostWindowAndSelectsNothing) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QRXDialogHost";
    RegisterClassW(&wc);
    HWND host = CreateWindowExW(0, L"QRXDialogHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                0, 500, 500, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(host, nullptr) << "no window: wine needs a display";
    auto* frame = new CFrame(CRect(0, 0, 200, 100), nullptr);
    ASSERT_TRUE(frame->open(host));
    CNewFileSelector* selector = CNewFileSelector::create(frame, CNewFileSelector::kSelectFile);
    selector->setTitle("QRX owner test");
    selector->addFileExtension(CFileExtension("Bank", "fxb"));
    {
        DialogAnswerer user(L"QRX owner test", L"");
        EXPECT_FALSE(selector->runModal());
        EXPECT_EQ(selector->getNumSelectedFiles(), 0);
        EXPECT_TRUE(user.sawDialog()) << "the dialog was shown under its title";
        EXPECT_EQ(user.dialogOwner(), host) << "owned by the host window, not the editor's child";
    }
    selector->forget();
    frame->forget();
    DestroyWindow(host);
}

}  // namespace
}  // namespace guitest

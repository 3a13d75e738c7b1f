// The file dialog of the Windows build: the filter list it offers, and the real common dialog
// shown and answered the way a user would (under wine in the tests).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <iterator>
#include <string>
#include <thread>

#include "gui/CFileSelector.h"

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

// Waits for a top-level window titled `title` of this process and answers it.
class DialogAnswerer {
  public:
    DialogAnswerer(std::wstring title, std::wstring fileName)
        : title(std::move(title)), fileName(std::move(fileName)), thread([this] { answer(); }) {}
    ~DialogAnswerer() { thread.join(); }
    bool sawDialog() const { return seen.load(); }

  private:
    void answer() {
        for (int i = 0; i < 1000; ++i) {
            HWND dialog = FindWindowW(nullptr, title.c_str());
            if (dialog) {
                seen = true;
                Sleep(200);  // let the dialog finish its start-up
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
            Sleep(20);
        }
    }

    std::wstring title, fileName;
    std::atomic<bool> seen{false};
    std::thread thread;
};

std::string temporaryFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    std::string path;
    for (DWORD i = 0; i < n; ++i) path += static_cast<char>(buffer[i]);  // ASCII in the tests
    return path;
}

TEST(CommonDialogBackend, CancelledDialogSelectsNothing) {
    FileSelectorRequest r;
    r.title = "QRX cancel test";
    r.extensions.emplace_back("Bank", "fxb");
    std::vector<std::string> selected;
    CommonDialogFileSelectorBackend backend;
    DialogAnswerer user(L"QRX cancel test", L"");
    EXPECT_FALSE(backend.run(r, selected));
    EXPECT_TRUE(selected.empty());
    EXPECT_TRUE(user.sawDialog()) << "the dialog was shown under its title";
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

}  // namespace
}  // namespace guitest

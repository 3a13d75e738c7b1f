// File dialogs: what the backend is asked, what comes back, and the zenity command line.
#include <gtest/gtest.h>

#include <cstdlib>

#include "gui/CFileSelector.h"

namespace guitest {
namespace {

using namespace qgui;

struct FakeBackend : FileSelectorBackend {
    bool run(const FileSelectorRequest& r, std::vector<std::string>& selected) override {
        ++runs;
        last = r;
        for (const std::string& s : answer) selected.push_back(s);
        return !answer.empty();
    }
    int runs = 0;
    FileSelectorRequest last;
    std::vector<std::string> answer;
};

struct Selector : ::testing::Test {
    void SetUp() override { CNewFileSelector::setBackend(&backend); }
    void TearDown() override { CNewFileSelector::setBackend(nullptr); }
    FakeBackend backend;
};

TEST_F(Selector, SaveDialogPassesTitleFolderNameAndFilter) {
    CNewFileSelector* s = CNewFileSelector::create(nullptr, CNewFileSelector::kSelectSaveFile);
    s->setTitle("Save bank");
    s->setInitialDirectory("/tmp/banks");
    s->setDefaultSaveName("Default.fxb");
    s->setDefaultExtension(CFileExtension("Bank", "fxb"));
    backend.answer = {"/tmp/banks/Mine.fxb"};
    ASSERT_TRUE(s->runModal());
    EXPECT_EQ(backend.last.style, FileSelectorRequest::kSelectSaveFile);
    EXPECT_EQ(backend.last.title, "Save bank");
    EXPECT_EQ(backend.last.initialDirectory, "/tmp/banks");
    EXPECT_EQ(backend.last.defaultSaveName, "Default.fxb");
    ASSERT_EQ(backend.last.extensions.size(), 1u);
    EXPECT_STREQ(backend.last.extensions[0].getExtension(), "fxb");
    EXPECT_EQ(s->getNumSelectedFiles(), 1);
    EXPECT_STREQ(s->getSelectedFile(0), "/tmp/banks/Mine.fxb");
    EXPECT_EQ(s->getSelectedFile(1), nullptr);
    s->forget();
}

TEST_F(Selector, CancelledDialogSelectsNothing) {
    CNewFileSelector* s = CNewFileSelector::create();
    s->addFileExtension(CFileExtension("Preset", "fxp"));
    s->addFileExtension(CFileExtension("Preset", "fxp"));
    EXPECT_FALSE(s->runModal());
    EXPECT_EQ(s->getNumSelectedFiles(), 0);
    EXPECT_EQ(backend.last.style, FileSelectorRequest::kSelectFile);
    EXPECT_EQ(backend.last.extensions.size(), 1u) << "a filter is offered once";
    s->forget();
}

TEST(ZenityBackend, CommandLineCarriesEveryFieldAsOneArgument) {
    FileSelectorRequest r;
    r.style = FileSelectorRequest::kSelectSaveFile;
    r.title = "Save \"bank\"; rm -rf /";
    r.initialDirectory = "/home/u/My Banks";
    r.defaultSaveName = "A.fxb";
    r.extensions.emplace_back("Bank", "fxb");
    const std::vector<std::string> args = ZenityFileSelectorBackend::arguments(r);
    const std::vector<std::string> expected{"--file-selection",
                                            "--title=Save \"bank\"; rm -rf /",
                                            "--save",
                                            "--confirm-overwrite",
                                            "--filename=/home/u/My Banks/A.fxb",
                                            "--file-filter=Bank | *.fxb",
                                            "--file-filter=All files | *"};
    EXPECT_EQ(args, expected);
    r.style = FileSelectorRequest::kSelectFile;
    const std::vector<std::string> open = ZenityFileSelectorBackend::arguments(r);
    EXPECT_EQ(open[2], "--filename=/home/u/My Banks/") << "open dialogs start in the folder";
}

TEST(ZenityBackend, WithoutZenityNothingIsSelected) {
    const char* old = std::getenv("PATH");
    const std::string saved = old ? old : "";
    setenv("PATH", "/nonexistent", 1);
    ZenityFileSelectorBackend backend;
    std::vector<std::string> selected;
    EXPECT_FALSE(backend.run(FileSelectorRequest{}, selected));
    EXPECT_TRUE(selected.empty());
    setenv("PATH", saved.c_str(), 1);
}

}  // namespace
}  // namespace guitest

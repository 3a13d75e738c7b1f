// File dialogs: what the backend is asked and what comes back (any build).
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace guitest

// The file dialog of the Linux build: the zenity command line, and no zenity installed.
#include <gtest/gtest.h>

#include <cstdlib>

#include "gui/CFileSelector.h"

namespace guitest {
namespace {

using namespace qgui;

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

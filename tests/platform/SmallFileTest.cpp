// Whole reads and atomic replacement of small files, and the program's own path: the same
// behaviour on Linux and Windows (where a rename onto an existing file would fail).
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/ExecutablePath.h"
#include "platform/SmallFile.h"
#include "support/TemporaryFolder.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

class SmallFileTest : public testing::Test {
  protected:
    std::string path(const char* name) const { return folder_.path(name); }
    std::set<std::string> entries() const { return folder_.entries(); }
    static std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void write(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    testsupport::TemporaryFolder folder_{"qrx-small-file-"};
};

TEST_F(SmallFileTest, ReadsOnlyARegularFileOfExactlyTheExpectedSize) {
    write(path("four"), "abcd");
    char data[4] = {'-', '-', '-', '-'};
    ASSERT_TRUE(readFileOfExactSize(path("four"), data, 4).ok());
    EXPECT_EQ(std::string(data, 4), "abcd");

    std::fill(std::begin(data), std::end(data), '-');
    const SmallFileResult shorter = readFileOfExactSize(path("four"), data, 3);
    EXPECT_EQ(shorter.status, SmallFileStatus::WrongSize);
    EXPECT_EQ(shorter.actualSize, 4);
    const SmallFileResult missing = readFileOfExactSize(path("missing"), data, 4);
    EXPECT_EQ(missing.status, SmallFileStatus::CannotOpen);
    EXPECT_EQ(missing.error, ENOENT);
    fs::create_directory(path("folder"));
    EXPECT_EQ(readFileOfExactSize(path("folder"), data, 4).status, SmallFileStatus::NotRegularFile);
    EXPECT_EQ(std::string(data, 4), "----") << "failed reads leave the caller's bytes alone";
}

TEST_F(SmallFileTest, ReplacementCreatesAndOverwritesAndLeavesNoTemporary) {
    const std::string target = path("bank.qrx");
    ASSERT_TRUE(replaceFileAtomically(target, "first version", 13).ok());
    EXPECT_EQ(contents(target), "first version");
    // Onto an existing file, shorter: nothing of the old content remains.
    ASSERT_TRUE(replaceFileAtomically(target, "second", 6).ok());
    EXPECT_EQ(contents(target), "second");
    ASSERT_TRUE(replaceFileAtomically(target, nullptr, 0).ok());
    EXPECT_EQ(fs::file_size(target), 0u);
    EXPECT_EQ(entries(), std::set<std::string>{"bank.qrx"});
}

TEST_F(SmallFileTest, ReadOnlyFilesAndFoldersAreRefusedAndKept) {
    const std::string target = path("kept.qrx");
    write(target, "keep me");
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const SmallFileResult refused = replaceFileAtomically(target, "overwritten", 11);
    EXPECT_EQ(refused.status, SmallFileStatus::WriteFailed);
    EXPECT_EQ(refused.error, EACCES);
    EXPECT_EQ(contents(target), "keep me");

    fs::create_directory(path("folder"));
    EXPECT_EQ(replaceFileAtomically(path("folder"), "x", 1).status, SmallFileStatus::WriteFailed);
    EXPECT_TRUE(fs::is_directory(path("folder")));
    EXPECT_EQ(replaceFileAtomically(path("no-folder") + "/file", "x", 1).status,
              SmallFileStatus::WriteFailed);
    EXPECT_EQ(entries(), (std::set<std::string>{"kept.qrx", "folder"}));
}

TEST(ExecutablePath, NamesThisTestProgram) {
    const fs::path self = executablePath();
    ASSERT_TRUE(self.is_absolute()) << self;
    EXPECT_TRUE(fs::is_regular_file(self)) << self;
    EXPECT_EQ(self.stem().string(), "platform_tests");
}

}  // namespace
}  // namespace platform

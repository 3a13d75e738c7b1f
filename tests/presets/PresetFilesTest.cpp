// Preset (.qrx) and bank (.qrb) files: round trips, exact sizes, the other byte order, refusals
// that change nothing, read-only files, atomic saves and the three path texts.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "presets/EditorFixture.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

class PresetFiles : public EditorTest {
  protected:
    PresetFiles() {
        char pattern[] = "/tmp/qrx-files-XXXXXX";
        folder = mkdtemp(pattern);
    }
    ~PresetFiles() override {
        chmod(folder.c_str(), 0700);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    std::string at(const std::string& name) const { return folder + "/" + name; }
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        return names;
    }
    std::string folder;
};

TEST_F(PresetFiles, PresetRoundTripThroughAFileOfExactly165Bytes) {
    engine->selectProgram(6);
    engine->setParameter(3, 0.4375f);
    char name[] = "Saved one";
    engine->setProgramName(name);
    ASSERT_TRUE(editor->savePresetFile(at("one.qrx")).ok());

    const Bytes file = readBytes(at("one.qrx"));
    ASSERT_EQ(file.size(), 165u);
    Bytes image(165);
    editor->makePresetImage(image.data());
    EXPECT_EQ(file, image);

    // Load into another program: same name and values, host asked to update its display.
    engine->selectProgram(11);
    host.requests.clear();
    const FileOutcome loaded = editor->loadPresetFile(at("one.qrx"), false);
    ASSERT_TRUE(loaded.ok()) << loaded.reason;
    EXPECT_TRUE(loaded.reason.empty());
    EXPECT_EQ(nameOf(11), "Saved one");
    EXPECT_EQ(store().value(11, 3), 0.4375f);
    EXPECT_EQ(engine->params[3], 0.4375f);
    EXPECT_GE(host.count(audioMasterUpdateDisplay), 1);
}

TEST_F(PresetFiles, BankRoundTripThroughAFileOfExactly2565Bytes) {
    engine->selectProgram(13);
    engine->setParameter(20, 0.0625f);
    const auto saved = records();
    ASSERT_TRUE(editor->saveBankFile(at("all.qrb")).ok());
    EXPECT_EQ(fs::file_size(at("all.qrb")), 2565u);

    auto other = std::make_unique<Engine>(nullptr);
    auto* otherEditor = new CPresetSystemEditor(other.get());
    other->selectProgram(8);
    ASSERT_TRUE(otherEditor->loadBankFile(at("all.qrb"), false).ok());
    std::vector<ProgramRecord> got;
    for (int k = 0; k < 16; ++k) got.push_back(other->programStore()->record(k));
    EXPECT_TRUE(sameRecords(saved, got));
    EXPECT_EQ(other->getCurrentProgramIndex(), 0);
}

TEST_F(PresetFiles, FilesFromTheOtherByteOrderLoad) {
    writeBytes(at("big.qrx"), otherOrder(handPreset(kId, "Big end")));
    writeBytes(at("big.qrb"), otherOrder(handBank(kId)));

    ASSERT_TRUE(editor->loadBankFile(at("big.qrb"), false).ok());
    for (int k = 0; k < 16; ++k) EXPECT_EQ(store().value(k, 30), handValue(k, 30)) << k;
    ASSERT_TRUE(editor->loadPresetFile(at("big.qrx"), false).ok());
    EXPECT_EQ(nameOf(0), "Big end");
    for (int i = 0; i < 34; ++i) EXPECT_EQ(store().value(0, i), handValue(0, i)) << i;

    // The endian-reversed load of the same file reverses the values once more.
    ASSERT_TRUE(editor->loadPresetFile(at("big.qrx"), true).ok());
    EXPECT_EQ(store().value(0, 1), swappedFloat(handValue(0, 1)));
}

TEST_F(PresetFiles, FilesNotExactlyTheImageSizeAreRefusedAndChangeNothing) {
    Bytes shortPreset = handPreset(kId, "Cut short");
    shortPreset.resize(100);  // valid header, values cut off
    writeBytes(at("short.qrx"), shortPreset);
    Bytes longPreset = handPreset(kId, "Too long");
    longPreset.push_back(0);
    writeBytes(at("long.qrx"), longPreset);
    Bytes shortBank = handBank(kId);
    shortBank.resize(2564);
    writeBytes(at("short.qrb"), shortBank);

    engine->selectProgram(3);
    const auto before = records();
    engine->applied.clear();
    host.requests.clear();

    FileOutcome r = editor->loadPresetFile(at("short.qrx"), false);
    EXPECT_EQ(r.status, FileStatus::WrongSize);
    EXPECT_NE(r.reason.find("is 100 bytes"), std::string::npos) << r.reason;
    EXPECT_NE(r.reason.find("165"), std::string::npos) << r.reason;
    EXPECT_EQ(editor->loadPresetFile(at("long.qrx"), false).status, FileStatus::WrongSize);
    r = editor->loadBankFile(at("short.qrb"), false);
    EXPECT_EQ(r.status, FileStatus::WrongSize);
    EXPECT_NE(r.reason.find("2565"), std::string::npos) << r.reason;

    EXPECT_TRUE(sameRecords(before, records()));
    EXPECT_EQ(engine->getCurrentProgramIndex(), 3);  // a refused bank file does not even select
    EXPECT_TRUE(engine->applied.empty());
    EXPECT_EQ(host.count(audioMasterUpdateDisplay), 0);
}

TEST_F(PresetFiles, MissingFoldersAndForeignFilesAreRefusedWithAReason) {
    engine->selectProgram(3);
    const auto before = records();

    FileOutcome r = editor->loadPresetFile(at("missing.qrx"), false);
    EXPECT_EQ(r.status, FileStatus::CannotOpen);
    EXPECT_NE(r.reason.find(at("missing.qrx")), std::string::npos) << r.reason;
    EXPECT_NE(r.reason.find("No such file"), std::string::npos) << r.reason;

    EXPECT_EQ(editor->loadPresetFile(folder, false).status, FileStatus::NotRegularFile);

    writeBytes(at("bank-as-preset.qrx"), handPreset(kId, "x", 0x37));
    r = editor->loadPresetFile(at("bank-as-preset.qrx"), false);
    EXPECT_EQ(r.status, FileStatus::WrongType);
    EXPECT_NE(r.reason.find("not a preset file"), std::string::npos) << r.reason;

    writeBytes(at("other.qrb"), handBank(vstFourCC('Q', 'X', 'G', 'P')));
    r = editor->loadBankFile(at("other.qrb"), false);
    EXPECT_EQ(r.status, FileStatus::WrongPlugin);
    EXPECT_NE(r.reason.find("not a bank file of this plug-in"), std::string::npos) << r.reason;
    EXPECT_EQ(engine->getCurrentProgramIndex(), 0);  // the bank loader selects program 0 first

    EXPECT_TRUE(sameRecords(before, records()));
}

TEST_F(PresetFiles, ReadOnlyFileInReadOnlyFolderLoads) {
    writeBytes(at("locked.qrx"), handPreset(kId, "Locked"));
    ASSERT_EQ(chmod(at("locked.qrx").c_str(), 0444), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    // Exit 0: loaded; 1: refused; 2: could not drop privileges.
    const int result = inChild([&] {
        if (!dropRoot()) return 2;
        if (access(at("locked.qrx").c_str(), W_OK) == 0) return 3;  // would prove nothing
        const bool ok = editor->loadPresetFile(at("locked.qrx"), false, RememberPath::No).ok();
        return ok && nameOf(0) == "Locked" ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
}

TEST_F(PresetFiles, SaveReplacesTheTargetAndKeepsItsPermissions) {
    writeBytes(at("keep.qrx"), handPreset(kId, "Previous"));
    ASSERT_EQ(chmod(at("keep.qrx").c_str(), 0640), 0);
    ASSERT_TRUE(editor->savePresetFile(at("keep.qrx")).ok());
    Bytes image(165);
    editor->makePresetImage(image.data());
    EXPECT_EQ(readBytes(at("keep.qrx")), image);
    struct stat st {};
    ASSERT_EQ(stat(at("keep.qrx").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(listing(), std::vector<std::string>{"keep.qrx"});  // no temporary left behind
}

TEST_F(PresetFiles, InterruptedSaveLeavesThePreviousFile) {
    const Bytes previous = handBank(kId);
    writeBytes(at("keep.qrb"), previous);
    // The write stops after 1000 of 2565 bytes, as on a full disk.
    const int result = inChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
        const FileOutcome r = editor->saveBankFile(at("keep.qrb"), RememberPath::No);
        return r.status == FileStatus::WriteFailed && r.reason.find("cannot save") == 0 ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readBytes(at("keep.qrb")), previous);
    EXPECT_EQ(listing(), std::vector<std::string>{"keep.qrb"});
}

TEST_F(PresetFiles, InAFolderWithoutWriteAccessOnlyWritableFilesSave) {
    const Bytes previous = handPreset(kId, "Previous");
    writeBytes(at("open.qrx"), previous);
    writeBytes(at("keep.qrx"), previous);
    ASSERT_EQ(chmod(at("open.qrx").c_str(), 0666), 0);  // writable by whoever saves
    ASSERT_EQ(chmod(at("keep.qrx").c_str(), 0644), 0);  // writable by its owner only
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    Bytes image(165);
    editor->makePresetImage(image.data());
    const bool asRoot = geteuid() == 0;  // then the saves below run as another user
    // Exit 0: as expected; 1: a save went wrong; 2: could not drop privileges.
    const int result = inChild([&] {
        if (!dropRoot()) return 2;
        // No new file can be made here, so neither a new name nor a temporary file.
        FileOutcome r = editor->savePresetFile(at("new.qrx"), RememberPath::No);
        if (r.status != FileStatus::WriteFailed ||
            r.reason.find("Permission denied") == std::string::npos)
            return 1;
        // A file the user may write is rewritten in place, as a plain save would.
        if (!editor->savePresetFile(at("open.qrx"), RememberPath::No).ok()) return 1;
        // One only its owner may write is refused for everyone else.
        if (asRoot && editor->savePresetFile(at("keep.qrx"), RememberPath::No).ok()) return 1;
        return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readBytes(at("open.qrx")), image);
    if (asRoot) {
        EXPECT_EQ(readBytes(at("keep.qrx")), previous);
    }
    EXPECT_EQ(listing().size(), 2u);
}

TEST_F(PresetFiles, SaveOntoAFileTheUserMayNotWriteFailsAndKeepsIt) {
    const Bytes previous = handPreset(kId, "Protected");
    writeBytes(at("locked.qrx"), previous);
    // Marked read-only by its user in a writable folder: refused, also when saved as root.
    ASSERT_EQ(chmod(at("locked.qrx").c_str(), 0444), 0);
    FileOutcome r = editor->savePresetFile(at("locked.qrx"));
    EXPECT_EQ(r.status, FileStatus::WriteFailed);
    EXPECT_EQ(r.reason.find("cannot save"), 0u) << r.reason;
    EXPECT_NE(r.reason.find("Permission denied"), std::string::npos) << r.reason;
    EXPECT_EQ(readBytes(at("locked.qrx")), previous);
    struct stat st {};
    ASSERT_EQ(stat(at("locked.qrx").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(listing(), std::vector<std::string>{"locked.qrx"});

    // Writable by its owner only, saved by someone else from a folder open to all.
    if (geteuid() != 0) return;  // only root can make a file another user may not write
    ASSERT_EQ(chmod(at("locked.qrx").c_str(), 0644), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    const int result = inChild([&] {
        if (!dropRoot()) return 2;
        r = editor->savePresetFile(at("locked.qrx"), RememberPath::No);
        return r.status == FileStatus::WriteFailed ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readBytes(at("locked.qrx")), previous);
    EXPECT_EQ(listing(), std::vector<std::string>{"locked.qrx"});
}

TEST_F(PresetFiles, SaveThroughSymbolicLinksWritesTheFileTheyName) {
    fs::create_directory(at("real"));
    fs::create_directory(at("links"));
    writeBytes(at("real/target.qrx"), handPreset(kId, "Old"));
    fs::create_symlink("../real/target.qrx", at("links/one.qrx"));
    fs::create_symlink(at("links/one.qrx"), at("links/two.qrx"));  // a chain of two
    fs::create_symlink("../real/new.qrb", at("links/new.qrb"));    // nothing there yet
    Bytes image(165);
    editor->makePresetImage(image.data());

    for (const char* link : {"links/one.qrx", "links/two.qrx"}) {
        SCOPED_TRACE(link);
        writeBytes(at("real/target.qrx"), handPreset(kId, "Old"));
        const FileOutcome r = editor->savePresetFile(at(link));
        ASSERT_TRUE(r.ok()) << r.reason;
        EXPECT_EQ(readBytes(at("real/target.qrx")), image);
        EXPECT_TRUE(fs::is_symlink(at(link))) << "the link stays a link";
    }
    ASSERT_TRUE(editor->saveBankFile(at("links/new.qrb")).ok());
    EXPECT_EQ(fs::file_size(at("real/new.qrb")), 2565u);
    EXPECT_TRUE(fs::is_symlink(at("links/new.qrb")));
    // The temporary file was made beside the real file and renamed there: nothing left over.
    std::vector<std::string> real;
    for (const auto& e : fs::directory_iterator(at("real"))) real.push_back(e.path().filename());
    std::sort(real.begin(), real.end());
    EXPECT_EQ(real, (std::vector<std::string>{"new.qrb", "target.qrx"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(at("links")), {}), 3);
    // The editor remembers the name the user chose, not where it leads.
    EXPECT_EQ(std::string(editor->currentDirectoryText()), at("links/"));

    // A link to a read-only file is refused like the file itself.
    ASSERT_EQ(chmod(at("real/target.qrx").c_str(), 0444), 0);
    EXPECT_EQ(editor->savePresetFile(at("links/one.qrx")).status, FileStatus::WriteFailed);
    EXPECT_EQ(readBytes(at("real/target.qrx")), image);
}

TEST_F(PresetFiles, HardLinkedFileGetsTheNewContentUnderEveryName) {
    writeBytes(at("a.qrb"), handBank(kId));
    ASSERT_EQ(link(at("a.qrb").c_str(), at("b.qrb").c_str()), 0);
    engine->selectProgram(2);
    engine->setParameter(9, 0.1875f);
    ASSERT_TRUE(editor->saveBankFile(at("a.qrb")).ok());
    Bytes image(2565);
    editor->makeBankImage(image.data());
    EXPECT_EQ(readBytes(at("b.qrb")), image);
    struct stat a {
    }, b{};
    ASSERT_EQ(stat(at("a.qrb").c_str(), &a), 0);
    ASSERT_EQ(stat(at("b.qrb").c_str(), &b), 0);
    EXPECT_EQ(a.st_nlink, 2u);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(listing().size(), 2u);
}

TEST_F(PresetFiles, NamesUpToTheFileSystemLimitSave) {
    for (std::size_t length : {236u, 250u, 255u}) {
        SCOPED_TRACE(length);
        const std::string name = std::string(length - 4, 'n') + ".qrx";
        // Twice: a new file, then replacing it.
        for (int pass = 0; pass < 2; ++pass) {
            const FileOutcome r = editor->savePresetFile(at(name));
            ASSERT_TRUE(r.ok()) << r.reason;
        }
        EXPECT_EQ(fs::file_size(at(name)), 165u);
        fs::remove(at(name));
        EXPECT_TRUE(listing().empty());
    }
}

TEST_F(PresetFiles, SaveIntoAMissingFolderFailsCleanly) {
    const FileOutcome r = editor->saveBankFile(at("no-such-folder/x.qrb"));
    EXPECT_EQ(r.status, FileStatus::WriteFailed);
    EXPECT_FALSE(fs::exists(at("no-such-folder")));
}

TEST_F(PresetFiles, PathTextsFollowTheLastFileUsed) {
    fs::create_directory(at("sub"));
    ASSERT_TRUE(editor->savePresetFile(at("sub/p.qrx")).ok());
    EXPECT_EQ(std::string(editor->currentDirectoryText()), at("sub/"));
    EXPECT_EQ(std::string(editor->currentPresetFileText()), "p.qrx");
    EXPECT_EQ(std::string(editor->currentBankFileText()), "");

    // A failed load still remembers where the user looked.
    EXPECT_FALSE(editor->loadBankFile(at("b.qrb"), false).ok());
    EXPECT_EQ(std::string(editor->currentDirectoryText()), folder + "/");
    EXPECT_EQ(std::string(editor->currentBankFileText()), "b.qrb");
    EXPECT_EQ(std::string(editor->currentPresetFileText()), "p.qrx");

    // A command-line load leaves the texts alone.
    ASSERT_TRUE(editor->loadPresetFile(at("sub/p.qrx"), false, RememberPath::No).ok());
    ASSERT_TRUE(editor->saveBankFile(at("sub/b.qrb"), RememberPath::No).ok());
    EXPECT_EQ(std::string(editor->currentDirectoryText()), folder + "/");
    EXPECT_EQ(std::string(editor->currentBankFileText()), "b.qrb");
}

TEST_F(PresetFiles, RelativePathsAreTakenFromTheProcessDirectory) {
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    const FileOutcome saved = editor->savePresetFile("rel.qrx");
    fs::current_path(previous);
    ASSERT_TRUE(saved.ok()) << saved.reason;
    EXPECT_TRUE(fs::exists(at("rel.qrx")));
    EXPECT_EQ(std::string(editor->currentDirectoryText()), folder + "/");
    EXPECT_EQ(std::string(editor->currentPresetFileText()), "rel.qrx");
}

TEST_F(PresetFiles, OverlongNamesAreRefusedWithoutTouchingTheTexts) {
    ASSERT_TRUE(editor->savePresetFile(at("p.qrx")).ok());
    const std::string dir = editor->currentDirectoryText();

    // Folder of 257 bytes with its separator: one more than fits.
    const std::string longFolder = "/" + std::string(255, 'd') + "/";
    ASSERT_EQ(longFolder.size(), 257u);
    FileOutcome r = editor->loadPresetFile(longFolder + "x.qrx", false);
    EXPECT_EQ(r.status, FileStatus::PathTooLong);
    EXPECT_NE(r.reason.find("256 bytes"), std::string::npos) << r.reason;
    r = editor->saveBankFile(at(std::string(257, 'f')));
    EXPECT_EQ(r.status, FileStatus::PathTooLong);
    EXPECT_EQ(editor->loadBankFile(folder + "/", false).status, FileStatus::CannotOpen);
    EXPECT_EQ(editor->loadBankFile("", false).status, FileStatus::CannotOpen);

    EXPECT_EQ(std::string(editor->currentDirectoryText()), dir);
    EXPECT_EQ(std::string(editor->currentPresetFileText()), "p.qrx");
    EXPECT_EQ(std::string(editor->currentBankFileText()), "");
    EXPECT_EQ(listing(), std::vector<std::string>{"p.qrx"});
}

TEST_F(PresetFiles, APipeIsRefusedWithoutWaitingForAWriter) {
    ASSERT_EQ(mkfifo(at("pipe.qrx").c_str(), 0600), 0);
    EXPECT_EQ(editor->loadPresetFile(at("pipe.qrx"), false).status, FileStatus::NotRegularFile);
}

TEST_F(PresetFiles, ToolsReadFilesWithoutAnEditorAndGiveBanksAsStateChunks) {
    engine->selectProgram(10);
    engine->setParameter(8, 0.15625f);
    ASSERT_TRUE(editor->saveBankFile(at("t.qrb")).ok());
    writeBytes(at("t.qrx"), otherOrder(handPreset(kId, "Tool preset")));

    ProgramRecord bank[16];
    const FileOutcome read = readBankFile(at("t.qrb"), kId, false, bank);
    ASSERT_TRUE(read.ok()) << read.reason;
    EXPECT_TRUE(sameRecords(records(), std::vector<ProgramRecord>(bank, bank + 16)));

    // The bank as a state chunk gives another instance the same programs, program 0 current.
    Engine other(nullptr);
    other.selectProgram(4);
    std::vector<unsigned char> chunk(CPresetSystemEffect::kChunkSize);
    CPresetSystemEffect::writeChunkImage(chunk.data(), kId, 0, bank);
    ASSERT_EQ(other.setChunk(chunk.data(), static_cast<VstInt32>(chunk.size()), false), 0);
    std::vector<ProgramRecord> got;
    for (int k = 0; k < 16; ++k) got.push_back(other.programStore()->record(k));
    EXPECT_TRUE(sameRecords(records(), got));
    EXPECT_EQ(other.getCurrentProgramIndex(), 0);

    ProgramRecord preset{};
    ASSERT_TRUE(readPresetFile(at("t.qrx"), kId, false, preset).ok());
    EXPECT_STREQ(preset.name, "Tool preset");
    for (int i = 0; i < 34; ++i) EXPECT_EQ(preset.values[i], handValue(0, i)) << i;

    // Refusals leave the output alone and say why.
    ProgramRecord untouched{};
    std::strcpy(untouched.name, "unchanged");
    FileOutcome r = readPresetFile(at("t.qrx"), vstFourCC('Q', 'X', 'G', 'P'), false, untouched);
    EXPECT_EQ(r.status, FileStatus::WrongPlugin);
    EXPECT_NE(r.reason.find(at("t.qrx")), std::string::npos) << r.reason;
    EXPECT_EQ(readPresetFile(at("t.qrb"), kId, false, untouched).status, FileStatus::WrongSize);
    EXPECT_EQ(readBankFile(at("t.qrx"), kId, false, bank).status, FileStatus::WrongSize);
    EXPECT_STREQ(untouched.name, "unchanged");
    // Reading for a tool does not touch the editor's texts.
    EXPECT_STREQ(editor->currentBankFileText(), "t.qrb");
    EXPECT_STREQ(editor->currentPresetFileText(), "");
}

TEST(ChosenPathSplit, LimitsAre256BytesForFolderAndFile) {
    ChosenPath out;
    const std::string folder256 = "/" + std::string(254, 'd') + "/";
    ASSERT_EQ(splitChosenPath(folder256 + std::string(256, 'f'), out), FileStatus::Done);
    EXPECT_EQ(out.folder, folder256);
    EXPECT_EQ(out.file, std::string(256, 'f'));
    EXPECT_EQ(out.full, folder256 + out.file);

    ChosenPath untouched{"keep", "keep/", "k"};
    EXPECT_EQ(splitChosenPath(folder256 + std::string(257, 'f'), untouched),
              FileStatus::PathTooLong);
    EXPECT_EQ(splitChosenPath("/" + std::string(255, 'd') + "/f", untouched),
              FileStatus::PathTooLong);
    EXPECT_EQ(untouched.full, "keep");
    EXPECT_EQ(untouched.folder, "keep/");
    EXPECT_EQ(untouched.file, "k");

    ASSERT_EQ(splitChosenPath("/top.qrx", out), FileStatus::Done);
    EXPECT_EQ(out.folder, "/");
    EXPECT_EQ(out.file, "top.qrx");
}

}  // namespace

TEST_F(PresetFiles, DamagedFilesAreRefusedWithAReasonAndWideValuesClamped) {
    Bytes damaged = handBank(kId);
    putFloat(damaged, 29 + 160 * 3 + 4 * 9, std::nanf(""));
    writeBytes(at("damaged.qrb"), damaged);
    const auto before = records();
    const FileOutcome load = editor->loadBankFile(at("damaged.qrb"), false);
    EXPECT_EQ(load.status, FileStatus::DamagedValues);
    EXPECT_NE(load.reason.find("damaged"), std::string::npos) << load.reason;
    EXPECT_TRUE(sameRecords(before, records()));

    ProgramRecord bank[16];
    std::strcpy(bank[0].name, "unchanged");
    EXPECT_EQ(readBankFile(at("damaged.qrb"), kId, false, bank).status, FileStatus::DamagedValues);
    EXPECT_STREQ(bank[0].name, "unchanged");

    Bytes wide = handPreset(kId, "Wide");
    putFloat(wide, 29 + 4 * 8, 2.0f);
    writeBytes(at("wide.qrx"), wide);
    ProgramRecord preset{};
    ASSERT_TRUE(readPresetFile(at("wide.qrx"), kId, false, preset).ok());
    EXPECT_EQ(preset.values[8], 1.0f);
    EXPECT_EQ(preset.values[9], handValue(0, 9));
}

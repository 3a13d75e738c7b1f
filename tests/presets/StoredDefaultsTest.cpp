// Stored default bank and preset, memos and the three path texts, with the real engines: two
// instances of each plug-in share one per-user store (an isolated folder per test).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "editor/GrandPressEditor.h"
#include "grandpress/GrandPress.h"
#include "platform/UserStore.h"
#include "platform/Utf.h"
#include "presets/CPresetSystemEditor.h"
#include "support/BytesRead.h"
#include "support/CallbackRecorder.h"
#include "tinypress/TinyPress.h"

namespace {

namespace fs = std::filesystem;
using testsupport::bytesReadSoFar;
using testsupport::CallbackRecorder;
using testsupport::TemporaryConfigHome;

CPresetSystemEditor& editorOf(CPresetSystemEffect& e) {
    auto* editor = dynamic_cast<CPresetSystemEditor*>(e.getEditor());
    if (!editor) throw std::runtime_error("engine without preset editor");
    return *editor;
}

std::vector<ProgramRecord> recordsOf(CPresetSystemEffect& e) {
    std::vector<ProgramRecord> r;
    for (int k = 0; k < kNumPrograms; ++k) r.push_back(e.programStore()->record(k));
    return r;
}

bool sameRecords(const std::vector<ProgramRecord>& a, const std::vector<ProgramRecord>& b) {
    return a.size() == b.size() &&
           std::memcmp(a.data(), b.data(), a.size() * sizeof(ProgramRecord)) == 0;
}

std::string nameOf(CPresetSystemEffect& e, int program) {
    char text[25];
    e.programStore()->getName(program, text);
    return text;
}

// Gives program `program` a recognisable name and value (index 5: not Power, which all share).
void mark(CPresetSystemEffect& e, int program, const char* name, float value) {
    e.selectProgram(program);
    e.setParameter(5, value);
    std::string text = name;
    e.setProgramName(text.data());
}

template <class Plugin>
struct Family;
template <>
struct Family<grandpress::GrandPress> {
    using Other = tinypress::TinyPress;
};
template <>
struct Family<tinypress::TinyPress> {
    using Other = grandpress::GrandPress;
};

template <class Plugin>
class StoredDefaults : public ::testing::Test {
  protected:
    using Other = typename Family<Plugin>::Other;

    std::unique_ptr<Plugin> instance() {
        return std::make_unique<Plugin>(CallbackRecorder::callback, &GrandPressEditor::create);
    }
    std::unique_ptr<Other> otherInstance() {
        return std::make_unique<Other>(CallbackRecorder::callback, &GrandPressEditor::create);
    }
    std::string keyFolder() const { return config.folder() + "/QRX-soundwerk/QRX_GrandPress"; }
    bool stored(const std::string& file) const { return fs::exists(keyFolder() + "/" + file); }
    std::vector<unsigned char> storedBytes(const std::string& file) const {
        std::ifstream in(keyFolder() + "/" + file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::u16string storedText(const char* name) const {
        std::u16string text = u"<missing>";
        if (auto key = platform::UserStoreKey::open(CPresetSystemEditor::kStoreKey,
                                                    platform::StoreAccess::Query))
            key->queryString(name, text, 514);
        return text;
    }

    TemporaryConfigHome config;
    CallbackRecorder host;
};

using Plugins = ::testing::Types<grandpress::GrandPress, tinypress::TinyPress>;
TYPED_TEST_SUITE(StoredDefaults, Plugins);

TYPED_TEST(StoredDefaults, WithoutAStoreANewInstanceStartsFromTheFactory) {
    auto a = this->instance();
    EXPECT_EQ(a->getCurrentProgramIndex(), 0);
    EXPECT_EQ(nameOf(*a, 0), "Default");
    auto fresh = this->instance();  // nothing stored by `a` yet: the same factory programs
    EXPECT_TRUE(sameRecords(recordsOf(*a), recordsOf(*fresh)));
    // The process directory it started with is replaced by the (missing) stored folder.
    EXPECT_STREQ(editorOf(*a).currentDirectoryText(), "");
    EXPECT_STREQ(editorOf(*a).currentBankFileText(), "");
    EXPECT_STREQ(editorOf(*a).currentPresetFileText(), "");
}

TYPED_TEST(StoredDefaults, DefaultBankReachesNewInstancesOfTheSamePluginOnly) {
    auto factoryOther = this->otherInstance();
    auto a = this->instance();
    mark(*a, 4, "Stored bank four", 0.3125f);
    mark(*a, 0, "Stored bank zero", 0.1875f);
    a->selectProgram(9);
    ASSERT_TRUE(editorOf(*a).storeDefaultBank());
    EXPECT_EQ(this->storedBytes("DefaultBank.bin").size(), 2565u);

    auto b = this->instance();
    EXPECT_EQ(b->getCurrentProgramIndex(), 0);
    EXPECT_TRUE(sameRecords(recordsOf(*a), recordsOf(*b)));
    EXPECT_EQ(nameOf(*b, 4), "Stored bank four");
    EXPECT_EQ(b->getParameter(5), 0.1875f);  // program 0's value reached the engine

    auto other = this->otherInstance();
    EXPECT_TRUE(sameRecords(recordsOf(*factoryOther), recordsOf(*other)));
}

TYPED_TEST(StoredDefaults, DefaultPresetReplacesProgramZeroAndClearsAlone) {
    auto a = this->instance();
    mark(*a, 2, "Bank two", 0.25f);
    ASSERT_TRUE(editorOf(*a).storeDefaultBank());
    mark(*a, 6, "My start", 0.6875f);
    ASSERT_TRUE(editorOf(*a).storeDefaultPreset());  // the current program, 6
    EXPECT_EQ(this->storedBytes("DefaultPreset.bin").size(), 165u);

    auto b = this->instance();
    EXPECT_EQ(b->getCurrentProgramIndex(), 0);
    EXPECT_EQ(nameOf(*b, 0), "My start");
    EXPECT_EQ(b->programStore()->value(0, 5), 0.6875f);
    EXPECT_EQ(b->getParameter(5), 0.6875f);
    EXPECT_EQ(nameOf(*b, 2), "Bank two");  // the bank came first

    EXPECT_TRUE(editorOf(*b).clearDefaultPreset());
    EXPECT_FALSE(this->stored("DefaultPreset.bin"));
    EXPECT_TRUE(this->stored("DefaultBank.bin"));
    EXPECT_FALSE(editorOf(*b).clearDefaultPreset());  // nothing left to clear

    auto c = this->instance();
    EXPECT_EQ(nameOf(*c, 0), "Default");  // program 0 of the stored bank
    EXPECT_EQ(nameOf(*c, 2), "Bank two");
    EXPECT_TRUE(editorOf(*c).clearDefaultBank());
    EXPECT_FALSE(this->stored("DefaultBank.bin"));
}

TYPED_TEST(StoredDefaults, MemoRecallBringsTheProgramBackAndKeepsTheMemo) {
    auto a = this->instance();
    mark(*a, 3, "Compare me", 0.40625f);
    ASSERT_TRUE(editorOf(*a).storeMemo(CPresetSystemEditor::Memo::A));
    const ProgramRecord memo = a->programStore()->record(3);
    const auto storedMemo = this->storedBytes("MemoA.bin");
    EXPECT_EQ(storedMemo.size(), 165u);

    a->setParameter(5, 0.9375f);
    std::string changed = "Changed";
    a->setProgramName(changed.data());
    this->host.requests.clear();

    // A second instance recalls what the first stored: the store is shared.
    auto b = this->instance();
    b->selectProgram(7);
    EXPECT_EQ(editorOf(*b).recallMemo(CPresetSystemEditor::Memo::A), FileStatus::Done);
    EXPECT_EQ(b->programStore()->value(7, 5), 0.40625f);

    EXPECT_EQ(editorOf(*a).recallMemo(CPresetSystemEditor::Memo::A), FileStatus::Done);
    EXPECT_EQ(a->getCurrentProgramIndex(), 3);
    const ProgramRecord back = a->programStore()->record(3);
    EXPECT_EQ(std::memcmp(&back, &memo, sizeof memo), 0);
    EXPECT_EQ(a->getParameter(5), 0.40625f);  // selected again: the engine has the value
    EXPECT_GE(this->host.count(audioMasterUpdateDisplay), 1);
    EXPECT_EQ(this->storedBytes("MemoA.bin"), storedMemo);
}

TYPED_TEST(StoredDefaults, MemoNeverStoredOrOfTheOtherPluginChangesNothing) {
    auto other = this->otherInstance();
    ASSERT_TRUE(editorOf(*other).storeMemo(CPresetSystemEditor::Memo::A));

    auto a = this->instance();
    a->selectProgram(5);
    const auto before = recordsOf(*a);
    this->host.requests.clear();
    EXPECT_EQ(editorOf(*a).recallMemo(CPresetSystemEditor::Memo::B), FileStatus::NotStored);
    EXPECT_EQ(editorOf(*a).recallMemo(CPresetSystemEditor::Memo::A), FileStatus::WrongPlugin);
    EXPECT_TRUE(sameRecords(before, recordsOf(*a)));
    EXPECT_EQ(a->getCurrentProgramIndex(), 5);
    EXPECT_EQ(this->host.count(audioMasterUpdateDisplay), 0);
    EXPECT_FALSE(this->stored("MemoB.bin"));
}

TYPED_TEST(StoredDefaults, ClosingWritesTheThreeTextsEvenWhenNoFileWasUsed) {
    this->instance().reset();
    EXPECT_EQ(this->storedText("CurrDir"), u"");
    EXPECT_EQ(this->storedText("CurrBank"), u"");
    EXPECT_EQ(this->storedText("CurrPreset"), u"");

    const std::string files = this->config.folder() + "/files";
    fs::create_directory(files);
    {
        auto a = this->instance();
        ASSERT_TRUE(editorOf(*a).savePresetFile(files + "/p\xc3\xa4.qrx").ok());
    }
    EXPECT_EQ(this->storedText("CurrDir"), platform::toUtf16(files + "/"));
    EXPECT_EQ(this->storedText("CurrPreset"), u"p\u00e4.qrx");
    EXPECT_EQ(this->storedText("CurrBank"), u"");

    auto b = this->instance();
    EXPECT_EQ(std::string(editorOf(*b).currentDirectoryText()), files + "/");
    EXPECT_STREQ(editorOf(*b).currentPresetFileText(), "p\xc3\xa4.qrx");
}

TYPED_TEST(StoredDefaults, NamesThatAreNotUtf8ComeBackByteForByte) {
    // Latin-1 names, as older systems and archives make them.
    const std::string folder = this->config.folder() + "/d\xfcr";
    fs::create_directory(folder);
    {
        auto a = this->instance();
        ASSERT_TRUE(editorOf(*a).savePresetFile(folder + "/caf\xe9.qrx").ok());
        ASSERT_TRUE(editorOf(*a).saveBankFile(folder + "/\xff\xfe.qrb").ok());
    }
    auto b = this->instance();
    EXPECT_EQ(std::string(editorOf(*b).currentDirectoryText()), folder + "/");
    EXPECT_STREQ(editorOf(*b).currentPresetFileText(), "caf\xe9.qrx");
    EXPECT_STREQ(editorOf(*b).currentBankFileText(), "\xff\xfe.qrb");
    b.reset();
    // UTF-8 names are still stored as text.
    EXPECT_TRUE(this->stored("CurrPreset.bin"));
    {
        auto c = this->instance();
        ASSERT_TRUE(editorOf(*c).savePresetFile(this->config.folder() + "/caf\xc3\xa9.qrx").ok());
    }
    EXPECT_EQ(this->storedText("CurrPreset"), u"caf\u00e9.qrx");
}

TYPED_TEST(StoredDefaults, HugeStoredTextIsIgnoredUnread) {
    { auto a = this->instance(); }  // makes the key
    const std::string planted = this->keyFolder() + "/CurrDir.sz";
    { std::ofstream(planted) << "/"; }
    fs::resize_file(planted, 300'000'000);  // sparse: no disk space taken
    const long long before = bytesReadSoFar();
    ASSERT_GE(before, 0);
    auto b = this->instance();
    EXPECT_LT(bytesReadSoFar() - before, 1'000'000) << "construction read the planted file";
    EXPECT_STREQ(editorOf(*b).currentDirectoryText(), "");
}

TYPED_TEST(StoredDefaults, LastInstanceClosedWinsTheTexts) {
    const std::string one = this->config.folder() + "/one";
    const std::string two = this->config.folder() + "/two";
    fs::create_directory(one);
    fs::create_directory(two);
    auto a = this->instance();
    auto b = this->otherInstance();  // the key is shared by the family
    ASSERT_TRUE(editorOf(*a).saveBankFile(one + "/a.qrb").ok());
    ASSERT_TRUE(editorOf(*b).savePresetFile(two + "/b.qrx").ok());
    a.reset();
    EXPECT_EQ(this->storedText("CurrDir"), platform::toUtf16(one + "/"));
    EXPECT_EQ(this->storedText("CurrBank"), u"a.qrb");
    b.reset();
    EXPECT_EQ(this->storedText("CurrDir"), platform::toUtf16(two + "/"));
    EXPECT_EQ(this->storedText("CurrBank"), u"");  // b never used a bank file
    EXPECT_EQ(this->storedText("CurrPreset"), u"b.qrx");
}

TYPED_TEST(StoredDefaults, MalformedStoredValuesAreIgnored) {
    {
        auto key = platform::UserStoreKey::create(CPresetSystemEditor::kStoreKey,
                                                  platform::StoreAccess::Write);
        ASSERT_TRUE(key);
        // A valid header on a value cut to 100 bytes: not an image.
        auto writer = this->instance();
        std::vector<std::uint8_t> image(165);
        mark(*writer, 0, "Cut", 0.5f);
        editorOf(*writer).makePresetImage(image.data());
        ASSERT_TRUE(key->setBinary("DefaultPreset", image.data(), 100));
        ASSERT_TRUE(key->setBinary("MemoA", image.data(), 100));
        writer.reset();  // its own texts are replaced next
        ASSERT_TRUE(key->setString("CurrDir", std::u16string(300, u'x')));
        ASSERT_TRUE(key->setString("CurrBank", u"bank.qrb"));
    }
    auto a = this->instance();
    EXPECT_EQ(nameOf(*a, 0), "Default");
    EXPECT_STREQ(editorOf(*a).currentDirectoryText(), "");  // would not fit: dropped, not cut
    EXPECT_STREQ(editorOf(*a).currentBankFileText(), "bank.qrb");
    EXPECT_EQ(editorOf(*a).recallMemo(CPresetSystemEditor::Memo::A), FileStatus::NotStored);
}

TYPED_TEST(StoredDefaults, UnusableStoreIsSilent) {
    // The company folder is a plain file: no key can be created or opened.
    { std::ofstream(this->config.folder() + "/QRX-soundwerk") << "not a folder"; }
    auto a = this->instance();
    EXPECT_EQ(nameOf(*a, 0), "Default");
    EXPECT_FALSE(editorOf(*a).storeDefaultBank());
    EXPECT_FALSE(editorOf(*a).storeMemo(CPresetSystemEditor::Memo::B));
    EXPECT_FALSE(editorOf(*a).clearDefaultPreset());
    EXPECT_EQ(editorOf(*a).recallMemo(CPresetSystemEditor::Memo::B), FileStatus::NotStored);
    a.reset();  // writing the texts fails quietly
    EXPECT_TRUE(fs::is_regular_file(this->config.folder() + "/QRX-soundwerk"));
}

}  // namespace

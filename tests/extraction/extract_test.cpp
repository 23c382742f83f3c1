// The extraction loop: what lands on disk, which messages appear, where it stops, and
// what it leaves for the launcher (anything usable, everything whole, the setup program).
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>

#include "archive/extract.h"
#include "archive/record.h"
#include "tests/extraction/extraction_fixture.h"

namespace {

using namespace sfxtest;
using plat::testing::FaultPlan;

constexpr time_t kRecordTime = 1735732800;  // the records' 2025-01-01 12:00:00, read as UTC

// What the loop leaves for the launcher: ExtractedAny, ExtractedWhole, InstallerWritten.
enum Outcome : int { kNone = 0, kAny = 1, kWhole = 2, kWritten = 4 };

class ExtractTest : public ExtractionTest {
 protected:
  // Writes the package (cut short by `cut` bytes), opens it and runs ExtractArchive into dest().
  void Extract(const std::vector<Record>& records, const FaultPlan& plan = {}, size_t cut = 0) {
    Bytes stub = FakeStub(), package = BuildPackage(records, stub);
    package.resize(package.size() - cut);
    std::string path = *dir_ / "package.exe";
    WriteFile(path, package);
    snprintf(::TempDir, sizeof ::TempDir, "%s\\_I_\\", folder().c_str());
    ArchiveOffset = static_cast<int32_t>(stub.size());
    Install(plan);
    OpenedArchive open(path);
    ExtractArchive();
  }
};

struct Case {
  const char* name;
  std::vector<Record> records;
  std::vector<Message> messages;     // the destination written as "\"
  std::vector<std::string> listing;  // what the destination holds (Listing)
  int outcome;
  std::string installer = "";        // the setup program chosen, under the destination
  FaultPlan plan = {};
  size_t cut = 0;                    // bytes cut off the package's end
};

std::vector<Case> Cases() {
  auto stored = StoredRecord;
  auto method9 = [](const std::string& name, const std::string& content) {
    return With(StoredRecord(name, content), [](Record& r) { r.method = 9; });
  };
  auto flagged = [](const std::string& name, uint16_t flags, const std::string& content = "x") {
    return With(StoredRecord(name, content), [&](Record& r) { r.flags = flags; });
  };
  auto named = [](const std::string& name) {  // a name that may hold zero bytes
    return With(StoredRecord("", "x"), [&](Record& r) { r.name = name; });
  };
  auto beyond2GiB = [](const std::string& name) {  // a size that steps back onto the record
    return With(StoredRecord(name, ""), [](Record& r) { r.compressedSize = 0xFFFFFFE0u; r.crc32 = 0; });
  };
  auto early = [](Record bad) {  // a record between two good ones
    return std::vector<Record>{StoredRecord("first.txt", "1"), bad, StoredRecord("after.txt", "2")};
  };
  auto plan = [](auto edit) { return With(FaultPlan{}, edit); };
  std::string longName;
  for (int i = 0; i < 60; ++i) longName += "dir" + std::to_string(i % 10) + "/";
  longName += "file.txt";  // over 258 bytes: longer than a name buffer's first size
  const std::string greek = "\xCE\xB5\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC.txt";
  const std::string cjk = "\xE6\x97\xA5\xE6\x9C\xAC/\xE8\xAA\x9E.EXE";
  Record setup = stored("SETUP.EXE", "x"), other = stored("OTHER.EXE", "y"), after = stored("after", "y");
  Record digits = stored("data.bin", "0123456789");
  Record deflatedDigits = With(digits, [](Record& r) {  // deflated as one stored block of 10 bytes
    r.method = kMethodDeflate;
    r.data = {0x01, 10, 0, 0xF5, 0xFF, '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
  });
  const int all = kAny | kWhole | kWritten;
  return {
      {"NoRecord", {}, {}, {}, kWhole},
      {"FilesInFolders", {stored("readme.txt", "hello"), stored("sub/dir/file.txt", "nested"), stored("empty.dat", "")},
       {}, {"empty.dat=", "readme.txt=hello", "sub/dir/file.txt=nested"}, kAny | kWhole},
      {"NameCutAtItsFirstZeroByte", {named(std::string("abcd\0xyz", 8)), stored("next.txt", "second")}, {},
       {"abcd=x", "next.txt=second"}, kAny | kWhole},
      // Reads of a few bytes, as from a network share: the header and a name longer than the
      // name buffer's first size are read whole.
      {"LongNameInShortReads", {stored(longName, "deep"), after}, {}, {"after=y", longName + "=deep"},
       kAny | kWhole, "", plan([](FaultPlan& p) { p.readChunkLimit = 7; })},
      {"Flag3LeavesTheCrcUnchecked",
       {With(stored("data.bin", "content"), [](Record& r) { r.flags = kFlagCheckByteFromTime; r.crc32 = 0; })},
       {}, {"data.bin=content"}, kAny | kWhole},
      // Archives for the stub carry no extra field; one is not skipped: the data follows the name.
      {"ExtraFieldNotSkipped", {With(stored("a", "xy"), [](Record& r) { r.extraLength = 4; }), stored("b", "z")},
       {}, {"a=xy", "b=z"}, kAny | kWhole},
      // With flag bit 11 a name is UTF-8; without it, Windows-1252 (the stand-in's ANSI code
      // page). Either way the system creates, chooses and shows the UTF-8 name.
      {"NamesInUtf8AndTheAnsiCodePage",
       {flagged(greek, kFlagUtf8Name), flagged(cjk, kFlagUtf8Name), flagged("l\xC2\xB7l.txt", kFlagUtf8Name),
        flagged("caf\xE9 \xF1 \xB7 \x80.txt", 0), flagged("plain.txt", kFlagUtf8Name), flagged("\xE9 fail.txt", 0)},
       {{"\\\xC3\xA9 fail.txt", kCreateFailed}},
       {"caf\xC3\xA9 \xC3\xB1 \xC2\xB7 \xE2\x82\xAC.txt=x", "l\xC2\xB7l.txt=x", "plain.txt=x", greek + "=x", cjk + "=x"},
       kAny | kWritten, "\xE6\x97\xA5\xE6\x9C\xAC\\\xE8\xAA\x9E.EXE",
       plan([](FaultPlan& p) { p.createFailsForPath = "fail"; })},
      // The setup program: the first path containing ".EXE" in capitals, whatever happens to
      // its file; only a file this run created and wrote whole may be started.
      {"SetupUppercaseAfterLowercase", {stored("setup.exe", "x"), setup}, {}, {"SETUP.EXE=x", "setup.exe=x"}, all,
       "SETUP.EXE"},
      {"SetupInTheMiddleOfAName", {stored("x.txt", "x"), stored("A.EXE.TXT", "x")}, {}, {"A.EXE.TXT=x", "x.txt=x"}, all,
       "A.EXE.TXT"},
      {"SetupInAFolderName", {stored("TOOLS.EXE/readme", "x")}, {}, {"TOOLS.EXE/readme=x"}, all,
       "TOOLS.EXE\\readme"},
      {"SetupNotCreated", {setup, other}, {{"\\SETUP.EXE", kCreateFailed}}, {"OTHER.EXE=y"}, kAny, "SETUP.EXE",
       plan([](FaultPlan& p) { p.createFailsForPath = "SETUP.EXE"; })},
      {"SetupIsAFolder", {stored("SETUP.EXE/", "x"), other}, {{"\\SETUP.EXE\\", kCreateFailed}},
       {"OTHER.EXE=y", "SETUP.EXE/"}, kAny, "SETUP.EXE\\"},
      {"SetupNotClosed", {setup, other}, {{"\\SETUP.EXE", kCloseFailed}}, {"OTHER.EXE=y", "SETUP.EXE=x"}, kAny,
       "SETUP.EXE", plan([](FaultPlan& p) { p.outputCloseFailsAtCall = 1; })},
      {"SetupReplacedWholeLater", {setup, other, stored("Setup.exe", "z")}, {},
       {"OTHER.EXE=y", "SETUP.EXE=x", "Setup.exe=z"}, all, "SETUP.EXE"},
      {"SetupEmptiedLater", {setup, other, method9("setup.exe", "z")}, {kUnknownMethod},
       {"OTHER.EXE=y", "SETUP.EXE=x", "setup.exe="}, kAny, "SETUP.EXE"},
      // Early ends: the loop stops at the record; what came before stays and counts, but for
      // an encrypted entry, which leaves nothing to offer. (Every refused name form is in the
      // name table of the path tests; here one row for each way a name is refused.)
      {"EmptyName", early(stored("", "x")), {kBadName}, {"first.txt=1"}, kAny},
      {"NameStartingWithAZeroByte", early(named(std::string("\0abc", 4))), {kBadName}, {"first.txt=1"}, kAny},
      {"ParentFolder", early(stored("../evil.txt", "x")), {kBadName}, {"first.txt=1"}, kAny},
      {"InvalidUtf8UnderFlag11", early(flagged("caf\xE9.txt", kFlagUtf8Name)), {kBadName}, {"first.txt=1"}, kAny},
      {"EncryptedWithoutPassword", early(flagged("secret.txt", kFlagEncrypted, std::string(12, 'h') + "data")), {},
       {"first.txt=1"}, kNone},
      // An unknown method leaves an empty file with the entry's time.
      {"UnknownMethod", early(method9("odd.bin", "payload")), {kUnknownMethod}, {"first.txt=1", "odd.bin="}, kAny},
      {"FolderNotMade", {stored("a.txt", "1"), stored("blocked/x/b.txt", "2"), stored("c.txt", "3")},
       {{"No puedo crear directorio", "\\blocked\\x"}}, {"a.txt=1"}, kAny, "",
       plan([](FaultPlan& p) { p.makeDirectoryFailsForPath = "blocked"; })},
      {"FirstSeekFails", {stored("a", "1")}, {kSeekFailed}, {}, kNone, "",
       plan([](FaultPlan& p) { p.seekFailsAtCall = 1; })},
      {"SeekToTheNextRecordFails", {stored("a", "1"), stored("b", "2")}, {kSeekFailed}, {"a=1"}, kAny, "",
       plan([](FaultPlan& p) { p.seekFailsAtCall = 2; })},
      // A file that cannot be created or closed is told, and the loop goes on. (The second
      // file's close fails: the first was never opened.)
      {"CreateAndCloseFail", {stored("one", "1"), stored("two", "2"), stored("three", "3")},
       {{"\\one", kCreateFailed}, {"\\two", kCloseFailed}}, {"three=3", "two=2"}, kAny, "",
       plan([](FaultPlan& p) { p.createFailsAtCall = 1; p.outputCloseFailsAtCall = 1; })},
      {"NameEndingInASeparator", {stored("folder/", ""), stored("folder/in.txt", "x")},
       {{"\\folder\\", kCreateFailed}}, {"folder/in.txt=x"}, kAny},
      // Damage and failed writes end everything: the written files stay, nothing is started.
      // (SETUP.EXE's byte is the first one written. A write that takes nothing fails the
      // same way in the system: the stand-in reports both as a failed call.)
      {"CrcMismatch",
       {setup, With(stored("data.bin", "what was written"), [](Record& r) { r.crc32 = 0x12345678u; }), after},
       {{"\\data.bin", kDamaged}}, {"SETUP.EXE=x", "data.bin=what was written"}, kNone},
      {"StoredWriteShort", {setup, digits, after}, {{"\\data.bin", kWriteFailed}}, {"SETUP.EXE=x", "data.bin=012"},
       kNone, "", plan([](FaultPlan& p) { p.writeFailsAfterBytes = 4; })},
      {"DeflatedWriteShort", {setup, deflatedDigits, after}, {{"\\data.bin", kWriteFailed}},
       {"SETUP.EXE=x", "data.bin=012"}, kNone, "", plan([](FaultPlan& p) { p.writeFailsAfterBytes = 4; })},
      // A size of 2 GiB or more would seek back onto the record: damage, not a loop, also
      // when the file could not be created. Its CRC is that of no data: only the size tells.
      {"SizeOf2GiB", {setup, beyond2GiB("x")}, {{"\\x", kDamaged}}, {"SETUP.EXE=x", "x="}, kNone},
      {"SizeOf2GiBOfAFolder", {setup, beyond2GiB("d/")}, {{"\\d\\", kCreateFailed}, {"\\d\\", kDamaged}},
       {"SETUP.EXE=x", "d/"}, kNone},
      // Stored data cut by the package's end, under flag bit 3 where no CRC would tell.
      {"StoredDataCutUnderFlag3", {flagged("big.bin", kFlagCheckByteFromTime, std::string(5000, 'b'))},
       {{"\\big.bin", kDamaged}}, {"big.bin=" + std::string(4000, 'b')}, kNone, "", {}, 1000},
  };
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ExtractCaseTest : public ExtractTest, public testing::WithParamInterface<Case> {};

TEST_P(ExtractCaseTest, MessagesFilesAndOutcome) {
  const Case& c = GetParam();
  Extract(c.records, c.plan, c.cut);
  EXPECT_EQ(Messages(), c.messages);
  EXPECT_EQ(Listing(), c.listing);
  for (const std::string& entry : ListTree(dest())) {
    struct stat st;
    if (stat((dest() + "/" + entry).c_str(), &st) == 0 && S_ISREG(st.st_mode))
      EXPECT_EQ(st.st_mtime, kRecordTime) << entry;
  }
  EXPECT_EQ((ExtractedAny ? kAny : 0) | (ExtractedWhole ? kWhole : 0) | (InstallerWritten ? kWritten : 0), c.outcome);
  std::string installer = InstallerPath.Text();
  EXPECT_EQ(installer.substr(installer.empty() ? 0 : strlen(::TempDir)), c.installer);
}

INSTANTIATE_TEST_SUITE_P(Packages, ExtractCaseTest, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST_F(ExtractTest, AnExistingFileIsReplacedWithoutFolderWork) {
  ASSERT_EQ(mkdir(dest().c_str(), 0755), 0);
  WriteFile(dest() + "/old.txt", ToBytes("old content that is longer"));
  Extract({StoredRecord("old.txt", "new")});
  EXPECT_EQ(Listing(), (std::vector<std::string>{"old.txt=new"}));
  EXPECT_TRUE(trace().createdDirectories.empty());
}

}  // namespace

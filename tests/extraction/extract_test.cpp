// The extraction loop: what lands on disk, which messages appear, where it stops.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "archive/extract.h"
#include "tests/extraction/extraction_fixture.h"

namespace {

using sfxtest::Bytes;
using sfxtest::Content;
using sfxtest::Message;
using sfxtest::Record;
using sfxtest::StoredRecord;

const char kCaption[] = "Velmora Software";
const Message kBadName{kCaption, "Error al extraer el nombre de un componente.\r\rError #SFXENC#"};
const Message kUnknownMethod{kCaption, "Compresi\xF3n desconocida.\r\rArchivo da\xF1" "ado.\r\rError #SFXMCD#"};
const Message kSeekFailed{kCaption, "Error localizando el instalador\r\rError #SFXELI#"};
const char kCreateFailed[] = "Error al abrir el archivo\r\rError #SFXEAA#";
const char kCloseFailed[] = "Error al cerrar el archivo\r\rError #SFXECA#";
const char kDamaged[] = "Archivo da\xF1" "ado.\r\rError #SFXCRC#";
const char kWriteFailed[] = "Error al escribir el archivo\r\rError #SFXEEA#";

// A deflated record of `content` (under 64 KiB) as one stored deflate block.
Record DeflatedRecord(const std::string& name, const std::string& content) {
  Record r = StoredRecord(name, content);
  r.method = 8;
  uint16_t n = static_cast<uint16_t>(content.size());
  r.data = {0x01, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(~n),
            static_cast<uint8_t>(~n >> 8)};
  r.data.insert(r.data.end(), content.begin(), content.end());
  return r;
}

time_t ModificationTime(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

class ExtractTest : public sfxtest::ExtractionTest {};

TEST_F(ExtractTest, AnArchiveWithNoRecordExtractsNothingQuietly) {
  EXPECT_TRUE(Extract({}).empty());
  EXPECT_FALSE(ExtractedAny);
  EXPECT_TRUE(ExtractedWhole);
  EXPECT_EQ(installer(), "");
}

TEST_F(ExtractTest, WritesFilesAndDirectoriesWithTheirTimes) {
  Record nested = StoredRecord("sub/dir/file.txt", "nested");
  nested.modDate = 0x5A21;  // 2025-01-01
  nested.modTime = 0x6000;  // 12:00:00, read as UTC
  Record empty = StoredRecord("empty.dat", "");
  EXPECT_TRUE(Extract({StoredRecord("readme.txt", "hello"), nested, empty}).empty());
  EXPECT_EQ(Tree(), (std::vector<std::string>{"empty.dat", "readme.txt", "sub", "sub/dir", "sub/dir/file.txt"}));
  EXPECT_EQ(Content(dest() + "/sub/dir/file.txt"), "nested");
  EXPECT_EQ(Content(dest() + "/empty.dat"), "");
  EXPECT_EQ(ModificationTime(dest() + "/sub/dir/file.txt"), 1735732800);
  EXPECT_EQ(ModificationTime(dest() + "/empty.dat"), 1735732800);
  EXPECT_TRUE(ExtractedAny);
  EXPECT_TRUE(ExtractedWhole);
  EXPECT_EQ(installer(), "");
}

TEST_F(ExtractTest, TheFirstPathContainingUppercaseExeIsTheInstaller) {
  struct Case { const char* what; std::vector<std::string> names; std::string expected; };
  const Case cases[] = {
      {"uppercase wins over a lowercase one before it", {"setup.exe", "SETUP.EXE"}, "SETUP.EXE"},
      {"first of two", {"A.EXE", "B.EXE"}, "A.EXE"},
      {"in the middle of a name", {"x.txt", "A.EXE.TXT"}, "A.EXE.TXT"},
      {"in a directory name", {"TOOLS.EXE/readme"}, "TOOLS.EXE\\readme"},
      {"none", {"setup.exe", "data.bin"}, ""},
  };
  for (const Case& c : cases) {
    std::vector<Record> records;
    for (auto& n : c.names) records.push_back(StoredRecord(n, "x"));
    FreshFolder();
    Extract(records);
    EXPECT_EQ(installer(), c.expected.empty() ? "" : destText() + c.expected) << c.what;
  }
}

// With flag bit 11 a name is UTF-8; without it, text in the ANSI code page (Windows-1252
// in the stand-in). Either way the system creates, chooses and shows the UTF-8 name.
TEST_F(ExtractTest, NamesAreUtf8WithFlagBit11AndTheAnsiCodePageWithout) {
  struct Case { std::string name; uint16_t flags; std::string created; };
  const Case cases[] = {
      {"\xCE\xB5\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC.txt", 0x0800,
       "\xCE\xB5\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC.txt"},        // Greek
      {"\xE6\x97\xA5\xE6\x9C\xAC/\xE8\xAA\x9E.EXE", 0x0800, "\xE6\x97\xA5\xE6\x9C\xAC/\xE8\xAA\x9E.EXE"},  // CJK
      {"l\xC2\xB7l.txt", 0x0800, "l\xC2\xB7l.txt"},                                              // Catalan
      {"caf\xE9 \xF1 \xB7 \x80.txt", 0, "caf\xC3\xA9 \xC3\xB1 \xC2\xB7 \xE2\x82\xAC.txt"},       // Windows-1252
      {"plain.txt", 0x0800, "plain.txt"},
      {"\xE9 fail.txt", 0, "\xC3\xA9 fail.txt"},
  };
  std::vector<Record> records;
  for (const Case& c : cases) {
    records.push_back(StoredRecord(c.name, "x"));
    records.back().flags = c.flags;
  }
  plat::testing::FaultPlan plan;
  plan.createFailsForPath = "fail";
  auto messages = Extract(records, plan);
  EXPECT_EQ(messages, (std::vector<Message>{{destText() + cases[5].created, kCreateFailed}}));
  for (const Case& c : cases)
    EXPECT_EQ(sfxtest::Exists(dest() + "/" + c.created), &c != &cases[5]) << c.created;
  EXPECT_EQ(installer(), destText() + "\xE6\x97\xA5\xE6\x9C\xAC\\\xE8\xAA\x9E.EXE");
}


// The first ".EXE" path stays the setup program whatever happens to its file, but only
// a file this run created and wrote whole may be started.
TEST_F(ExtractTest, TheInstallerIsChosenEvenWhenItsFileIsNotWrittenWhole) {
  auto plan = [](auto set) { plat::testing::FaultPlan p; set(p); return p; };
  struct Case {
    const char* what;
    std::string name;
    plat::testing::FaultPlan plan;
    std::vector<Message> messages;  // captions relative to the destination
    bool written;
    std::vector<Record> later = {};  // records after SETUP.EXE and OTHER.EXE
  };
  Record emptied = StoredRecord("setup.exe", "z");  // the same file, emptied by an unknown method
  emptied.method = 9;
  const Case cases[] = {
      {"written whole", "SETUP.EXE", {}, {}, true},
      {"its create fails", "SETUP.EXE", plan([](auto& p) { p.createFailsForPath = "SETUP.EXE"; }),
       {{"SETUP.EXE", kCreateFailed}}, false},
      {"it is a folder", "SETUP.EXE/", {}, {{"SETUP.EXE\\", kCreateFailed}}, false},
      {"its close fails", "SETUP.EXE", plan([](auto& p) { p.outputCloseFailsAtCall = 1; }),
       {{"SETUP.EXE", kCloseFailed}}, false},
      {"a later record replaces it whole", "SETUP.EXE", {}, {}, true, {StoredRecord("Setup.exe", "z")}},
      {"a later record empties it", "SETUP.EXE", {}, {kUnknownMethod}, false, {emptied}},
  };
  for (const Case& c : cases) {
    FreshFolder();
    std::vector<Record> records = {StoredRecord(c.name, "x"), StoredRecord("OTHER.EXE", "y")};
    records.insert(records.end(), c.later.begin(), c.later.end());
    auto messages = Extract(records, c.plan);
    for (Message& m : messages)
      if (m.caption.rfind(destText(), 0) == 0) m.caption = m.caption.substr(destText().size());
    EXPECT_EQ(messages, c.messages) << c.what;
    EXPECT_EQ(installer(), destText() + (c.name == "SETUP.EXE/" ? "SETUP.EXE\\" : "SETUP.EXE")) << c.what;
    EXPECT_EQ(InstallerWritten, c.written) << c.what;
    EXPECT_EQ(ExtractedWhole, c.written && c.messages.empty()) << c.what;
    EXPECT_TRUE(sfxtest::Exists(dest() + "/OTHER.EXE")) << c.what;  // the loop went on
  }
}

TEST_F(ExtractTest, EarlyEndsAndWhatStaysBehind) {
  Record emptyName = StoredRecord("", "x");
  Record zeroFirst = StoredRecord("\0abc", "x");
  zeroFirst.name = std::string("\0abc", 4);
  Record encrypted = StoredRecord("secret.txt", std::string(12, 'h') + "data");
  encrypted.flags = 1;
  Record method9 = StoredRecord("odd.bin", "payload");
  method9.method = 9;
  Record notUtf8 = StoredRecord("caf\xE9.txt", "x");  // Windows-1252 bytes under bit 11
  notUtf8.flags = 0x0800;
  // `usable`: what was unpacked still counts (an encrypted entry leaves nothing to offer).
  struct Case {
    const char* what; Record bad; std::vector<Message> messages; std::vector<std::string> tree; bool usable = true;
  };
  const std::vector<Case> cases = {
      {"empty name", emptyName, {kBadName}, {"first.txt"}},
      {"name starting with a zero byte", zeroFirst, {kBadName}, {"first.txt"}},
      {"parent directory", StoredRecord("../evil.txt", "x"), {kBadName}, {"first.txt"}},
      {"absolute name", StoredRecord("/tmp/evil.txt", "x"), {kBadName}, {"first.txt"}},
      {"drive letter", StoredRecord("C:evil.txt", "x"), {kBadName}, {"first.txt"}},
      {"device name", StoredRecord("nul.tar.gz", "x"), {kBadName}, {"first.txt"}},
      {"device name in a folder", StoredRecord("sub/Aux.txt", "x"), {kBadName}, {"first.txt"}},
      {"encrypted entry without a password", encrypted, {}, {"first.txt"}, false},
      {"invalid UTF-8 under flag bit 11", notUtf8, {kBadName}, {"first.txt"}},
      {"unknown method", method9, {kUnknownMethod}, {"first.txt", "odd.bin"}},
  };
  for (const Case& c : cases) {
    FreshFolder();
    auto messages = Extract({StoredRecord("first.txt", "1"), c.bad, StoredRecord("after.txt", "2")});
    EXPECT_EQ(messages, c.messages) << c.what;
    EXPECT_EQ(Tree(), c.tree) << c.what;
    EXPECT_EQ(ExtractedAny, c.usable) << c.what;
    EXPECT_FALSE(ExtractedWhole) << c.what;
  }
}

TEST_F(ExtractTest, AnUnknownMethodLeavesAnEmptyFileWithTheEntrysTime) {
  Record method9 = StoredRecord("odd.bin", "payload");
  method9.method = 9;
  Extract({method9});
  EXPECT_EQ(Content(dest() + "/odd.bin"), "");
  EXPECT_EQ(ModificationTime(dest() + "/odd.bin"), 1735732800);
}

TEST_F(ExtractTest, NamesAreCutAtTheFirstZeroButTheNextRecordIsFoundByNameLength) {
  Record cut = StoredRecord("abcd", "first");
  cut.name = std::string("abcd\0xyz", 8);
  EXPECT_TRUE(Extract({cut, StoredRecord("next.txt", "second")}).empty());
  EXPECT_EQ(Tree(), (std::vector<std::string>{"abcd", "next.txt"}));
  EXPECT_EQ(Content(dest() + "/abcd"), "first");
}

// Also when reads deliver a few bytes at a time, as a network share may: the header and
// the name are read whole, not from where a short read stopped.
TEST_F(ExtractTest, NamesLongerThan258BytesAreExtracted) {
  std::string name;
  for (int i = 0; i < 60; ++i) name += "dir" + std::to_string(i % 10) + "/";
  name += "file.txt";
  ASSERT_GT(name.size(), 258u);
  plat::testing::FaultPlan shortReads;
  shortReads.readChunkLimit = 7;
  for (const plat::testing::FaultPlan& plan : {plat::testing::FaultPlan{}, shortReads}) {
    FreshFolder();
    EXPECT_TRUE(Extract({StoredRecord(name, "deep"), StoredRecord("after", "x")}, plan).empty());
    EXPECT_EQ(Content(dest() + "/" + name), "deep");
    EXPECT_TRUE(sfxtest::Exists(dest() + "/after"));
  }
}

TEST_F(ExtractTest, ANameEndingInASeparatorMakesItsDirectoryAndFailsToOpen) {
  auto messages = Extract({StoredRecord("folder/", ""), StoredRecord("folder/in.txt", "x")});
  EXPECT_EQ(messages, (std::vector<Message>{{destText() + "folder\\", kCreateFailed}}));
  EXPECT_EQ(Tree(), (std::vector<std::string>{"folder", "folder/in.txt"}));
}

TEST_F(ExtractTest, AnExistingFileIsReplacedWithoutDirectoryWork) {
  ASSERT_EQ(mkdir(dest().c_str(), 0755), 0);
  sfxtest::WriteFile(dest() + "/old.txt", sfxtest::ToBytes("old content that is longer"));
  EXPECT_TRUE(Extract({StoredRecord("old.txt", "new")}).empty());
  EXPECT_EQ(Content(dest() + "/old.txt"), "new");
  EXPECT_TRUE(trace().createdDirectories.empty());
}

TEST_F(ExtractTest, ADirectoryThatCannotBeCreatedEndsTheExtraction) {
  plat::testing::FaultPlan plan;
  plan.makeDirectoryFailsForPath = "blocked";
  auto messages = Extract({StoredRecord("a.txt", "1"), StoredRecord("blocked/x/b.txt", "2"), StoredRecord("c.txt", "3")}, plan);
  EXPECT_EQ(messages, (std::vector<Message>{{"No puedo crear directorio", destText() + "blocked\\x"}}));
  EXPECT_EQ(Tree(), (std::vector<std::string>{"a.txt"}));
}

TEST_F(ExtractTest, CreateAndCloseFailuresAreReportedAndTheLoopGoesOn) {
  plat::testing::FaultPlan plan;
  plan.createFailsAtCall = 1;
  plan.outputCloseFailsAtCall = 1;  // the second file's close: the first was never opened
  auto messages = Extract({StoredRecord("one", "1"), StoredRecord("two", "2"), StoredRecord("three", "3")}, plan);
  EXPECT_EQ(messages, (std::vector<Message>{{destText() + "one", kCreateFailed}, {destText() + "two", kCloseFailed}}));
  EXPECT_EQ(Tree(), (std::vector<std::string>{"three", "two"}));
  EXPECT_TRUE(ExtractedAny);
  EXPECT_FALSE(ExtractedWhole);
}

TEST_F(ExtractTest, ADamagedEntryStopsEverythingAndStartsNothing) {
  Record bad = StoredRecord("data.bin", "what was written");
  bad.crc32 = 0x12345678u;
  auto messages = Extract({StoredRecord("SETUP.EXE", "x"), bad, StoredRecord("after", "y")});
  EXPECT_EQ(messages, (std::vector<Message>{{destText() + "data.bin", kDamaged}}));
  EXPECT_EQ(Tree(), (std::vector<std::string>{"SETUP.EXE", "data.bin"}));  // written files stay
  EXPECT_FALSE(ExtractedAny);
  EXPECT_EQ(installer(), "");
}

// A disk that does not take the data ends the extraction with a message of its own, and
// nothing is started, whether the entry was stored or deflated.
TEST_F(ExtractTest, AWriteThatFailsOrFallsShortEndsTheExtraction) {
  struct Case { const char* what; Record entry; int64_t accepted; };
  const Case cases[] = {
      {"stored, short", StoredRecord("data.bin", "0123456789"), 3},
      {"stored, failed", StoredRecord("data.bin", "0123456789"), 0},
      {"deflated, short", DeflatedRecord("data.bin", "0123456789"), 3},
      {"deflated, failed", DeflatedRecord("data.bin", "0123456789"), 0},
  };
  for (const Case& c : cases) {
    FreshFolder();
    plat::testing::FaultPlan plan;
    plan.writeFailsAfterBytes = 1 + c.accepted;  // SETUP.EXE's one byte first
    auto messages = Extract({StoredRecord("SETUP.EXE", "x"), c.entry, StoredRecord("after", "y")}, plan);
    EXPECT_EQ(messages, (std::vector<Message>{{destText() + "data.bin", kWriteFailed}})) << c.what;
    EXPECT_EQ(Content(dest() + "/data.bin"), std::string("0123456789").substr(0, c.accepted)) << c.what;
    EXPECT_FALSE(sfxtest::Exists(dest() + "/after")) << c.what;
    EXPECT_FALSE(ExtractedAny) << c.what;
    EXPECT_EQ(installer(), "") << c.what;
    EXPECT_FALSE(InstallerWritten) << c.what;
  }
}

TEST_F(ExtractTest, WithFlagBit3TheCrcFieldIsNotCompared) {
  Record r = StoredRecord("data.bin", "content");
  r.flags = 0x0008;
  r.crc32 = 0;
  EXPECT_TRUE(Extract({r}).empty());
  EXPECT_TRUE(ExtractedAny);
}

// A size that would seek back onto the record, or before it, ends the loop as damage,
// also when the record's file could not be created.
TEST_F(ExtractTest, ASizeOf2GiBOrMoreIsDamageNotALoop) {
  struct Case { const char* name; std::vector<Message> messages; };
  const Case cases[] = {
      {"x", {{"x", kDamaged}}},
      {"d/", {{"d\\", kCreateFailed}, {"d\\", kDamaged}}},  // a folder: the create fails
  };
  for (const Case& c : cases) {
    FreshFolder();
    Record r = StoredRecord(c.name, "");
    r.compressedSize = 0xFFFFFFE0u;  // back to this very record
    r.crc32 = 0;                     // the CRC of no data: only the size can tell
    auto messages = Extract({StoredRecord("SETUP.EXE", "x"), r});
    for (Message& m : messages) m.caption = m.caption.substr(destText().size());
    EXPECT_EQ(messages, c.messages) << c.name;
    EXPECT_FALSE(ExtractedAny) << c.name;
    EXPECT_EQ(installer(), "") << c.name;
  }
}

TEST_F(ExtractTest, ExtraFieldsAreNotSkipped) {
  Record r = StoredRecord("a", "xy");
  r.extraLength = 4;  // archives for the stub carry 0; the data follows the name all the same
  EXPECT_TRUE(Extract({r, StoredRecord("b", "z")}).empty());
  EXPECT_EQ(Content(dest() + "/a"), "xy");
  EXPECT_EQ(Content(dest() + "/b"), "z");
}

TEST_F(ExtractTest, SeekFailures) {
  plat::testing::FaultPlan plan;
  plan.seekFailsAtCall = 1;
  EXPECT_EQ(Extract({StoredRecord("a", "1")}, plan), (std::vector<Message>{kSeekFailed}));
  EXPECT_FALSE(ExtractedAny);
  plan.seekFailsAtCall = 2;  // between the records: the next record cannot be found
  EXPECT_EQ(Extract({StoredRecord("a", "1"), StoredRecord("b", "2")}, plan), (std::vector<Message>{kSeekFailed}));
  EXPECT_EQ(Tree(), (std::vector<std::string>{"a"}));
}

// Also with flag bit 3, where no CRC-32 would find the missing bytes.
TEST_F(ExtractTest, AnArchiveCutInsideAStoredEntryIsDamaged) {
  for (uint16_t flags : {0, 0x0008}) {
    FreshFolder();
    Bytes stub = sfxtest::FakeStub();
    Record big = StoredRecord("big.bin", std::string(5000, 'b'));
    big.flags = flags;
    Bytes package = sfxtest::BuildPackage({big}, stub);
    package.resize(package.size() - 1000);
    auto messages = ExtractBytes(package, static_cast<int32_t>(stub.size()), {});
    EXPECT_EQ(messages, (std::vector<Message>{{destText() + "big.bin", kDamaged}})) << flags;
    EXPECT_EQ(sfxtest::ReadFile(dest() + "/big.bin").size(), 4000u) << flags;
  }
}

}  // namespace

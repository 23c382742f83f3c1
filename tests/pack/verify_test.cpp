// sfx-pack verify and list against damaged and signed packages, cross-checked with what
// the stub's own extraction loop (sfx-pack extract) does with each of them.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <set>

#include "tests/pack/pack_support.h"
#include "tests/support/temp_dir.h"

namespace sfxtest {
namespace {

// The error codes ("#SFXCRC#") a text holds.
std::set<std::string> ErrorCodes(const std::string& text) {
  static const std::regex code("#SFX[A-Z]{3}#");
  return {std::sregex_token_iterator(text.begin(), text.end(), code), std::sregex_token_iterator()};
}

size_t RegularFiles(const std::string& root) {
  std::vector<std::string> all = ListTree(root);
  return std::count_if(all.begin(), all.end(), [&](const std::string& p) { return !IsDirectory(root + "/" + p); });
}

// A package of three records made by sfx-pack on a PE stub: SETUP.EXE, data/big.txt
// (deflate) and data/two.txt (stored), with the offsets of its records.
class VerifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string big;
    for (int i = 0; i < 2000; ++i) big += "line " + std::to_string(i) + " of the big file\n";
    WriteTree(dir.path(), {{"SETUP.EXE", FakePe()}, {"data/big.txt", ToBytes(big)},
                           {"data/two.txt", ToBytes("22")}, {"stub", FakePe()}});
    ASSERT_EQ(RunPack({"create", "--stub", "stub", "--output", "good.exe", "SETUP.EXE", "data"}, dir.path()).status, 0);
    package = ReadFile(dir / "good.exe");
    TempDir scratch;
    std::vector<ReadBackEntry> back = ReadPackageBack(dir / "good.exe", scratch.path());
    for (const ReadBackEntry& e : back) start.push_back(e.offset);
    ASSERT_EQ(start.size(), 3u);
    ASSERT_EQ(back[1].header.Method(), kMethodDeflate);
    bigData = start[1] + kRecordHeaderSize + back[1].header.NameLength() + back[1].header.CompressedSize() / 2;
  }
  // A damage writing the plain `value` over `size` bytes at `at` in record `record`, in
  // the archive's stored form (XOR 0xF0).
  std::function<void(Bytes&)> Patch(int record, size_t at, uint32_t value, int size) {
    return [=, this](Bytes& p) {
      for (int i = 0; i < size; ++i)
        p[start[record] + at + i] = static_cast<uint8_t>(value >> (8 * i)) ^ kArchiveScramble;
    };
  }
  TempDir dir;
  Bytes package;
  std::vector<size_t> start;
  size_t bigData = 0;  // a byte in the middle of data/big.txt's deflate stream
};

// What a signing tool adds to a package: zeros to a multiple of 8 and the certificate
// table, which the PE header's directory 4 points at (`shift` bytes off where it is).
void Sign(Bytes& p, int shift) {
  p.resize((p.size() + 7) / 8 * 8, 0);
  Bytes header = FakePe(0x14C, static_cast<uint32_t>(p.size() + shift), 200);
  std::copy(header.begin(), header.end(), p.begin());
  p.insert(p.end(), 200, 0x30);
}

TEST_F(VerifyTest, FindsEveryFaultTheStubReportsOrStopsAt) {
  enum { kSetupRecord, kBigRecord, kTwoRecord };
  using namespace RecordField;
  const int kName = kRecordHeaderSize;  // the name follows the header
  auto both = [](std::function<void(Bytes&)> a, std::function<void(Bytes&)> b) {
    return [=](Bytes& p) { a(p); b(p); };
  };
  struct Case {
    std::string label;
    std::function<void(Bytes&)> damage;
    size_t extractedFiles;          // what the stub's loop leaves (3: everything)
    std::set<std::string> codes;    // messages the stub shows
    int verifyStatus;
    std::string verifySays;
    int extractStatus = 1;          // 0: the stub unpacks it all without a word
    std::string listError = "";     // a part of list's one-line error; none: list succeeds
    std::string listEnds = "";      // a part of the listing's last line
  };
  const std::string endEarly = "the records end before the end of the file";
  const Case cases[] = {
      {"intact", [](Bytes&) {}, 3, {}, 0, "3 records from offset 512, stub PE i386, setup program SETUP.EXE (PE i386): OK", 0, "",
       "end of records at offset " + std::to_string(package.size()) + ": end of file (3 records)"},
      {"a stub that is no program", [](Bytes& p) { p[0] = 'x'; }, 3, {}, 1,
       "the stub is not a program: neither a Windows program for i386 (PE) nor a Linux program (ELF)", 0},
      {"signed", [](Bytes& p) { Sign(p, 0); }, 3, {}, 0, ", signed: OK", 0, "",
       ": Authenticode signature of " + std::to_string((package.size() + 7) / 8 * 8 - package.size() + 200) +
           " bytes to the end of the file"},
      {"a certificate table not where the header says", [](Bytes& p) { Sign(p, 8); }, 3, {}, 1,
       "bytes before the end of the file", 1, endEarly},
      {"flag bit 3 on an intact entry", Patch(kTwoRecord, kFlags, 0x0008, 2), 3, {}, 0,
       "does not compare this entry's CRC-32 (flag bit 3)", 0},
      {"a wrong CRC-32", Patch(kTwoRecord, kCrc32, 0x12345678, 4), 3, {"#SFXCRC#"}, 1,
       "the data does not match its CRC-32 (the record says 12345678"},
      {"a flipped byte in deflate data", [&](Bytes& p) { p[bigData] ^= 0x20; }, 2, {"#SFXCRC#"}, 1, "#SFXCRC#"},
      {"a wrong CRC-32 the stub does not check (flag bit 3)",
       both(Patch(kTwoRecord, kCrc32, 0x12345678, 4), Patch(kTwoRecord, kFlags, 0x0008, 2)), 3, {}, 1,
       "the stub does not compare it for this entry (flag bit 3) and would install the damaged file", 0},
      {"method 9", Patch(kBigRecord, kMethod, 9, 2), 2, {"#SFXMCD#"}, 1, "compression method 9"},
      {"an encrypted entry", Patch(kBigRecord, kFlags, kFlagEncrypted, 2), 1, {}, 1,
       "\"data/big.txt\": the entry is encrypted"},
      {"an empty name", Patch(kBigRecord, kNameLength, 0, 2), 1, {"#SFXENC#"}, 1, "the name is empty", 1, endEarly},
      {"an absolute name", Patch(kTwoRecord, kName, '/', 1), 2, {"#SFXENC#"}, 1, "it starts with \"/\""},
      {"a name not UTF-8 under flag bit 11",
       both(Patch(kTwoRecord, kFlags, kFlagUtf8Name, 2), Patch(kTwoRecord, kName + 5, 0xE9, 1)), 2, {"#SFXENC#"}, 1,
       "the name is marked as UTF-8 (flag bit 11) but is not valid UTF-8"},
      {"a name ending in a separator", Patch(kTwoRecord, kName + 11, '/', 1), 2, {"#SFXEAA#"}, 1,
       "the name ends with a separator"},
      {"a folder whose size steps back onto its record",
       both(Patch(kTwoRecord, kName + 11, '/', 1), Patch(kTwoRecord, kCompressedSize, 0xFFFFFFE0u, 4)), 2,
       {"#SFXEAA#", "#SFXCRC#"}, 1, "has a compressed size of 2 GiB or more", 1, endEarly},
      {"a broken record signature", Patch(kTwoRecord, kSignature, 0x02014B50, 4), 2, {}, 1,
       "the records end at offset", 1, endEarly},
      {"a compressed size of 2 GiB", Patch(kTwoRecord, kCompressedSize, 0x80000000u, 4), 3, {"#SFXCRC#"}, 1,
       "has a compressed size of 2 GiB or more", 1, endEarly},
      {"a compressed size past the end", Patch(kTwoRecord, kCompressedSize, 0x7FFFFFF0u, 4), 3, {"#SFXCRC#"}, 1,
       "bytes past the end of the file", 1, "the file is cut short",
       "runs 2147483630 bytes past the end of the file (3 records)"},  // 0x7FFFFFF0 for 2 bytes
      {"cut inside the last record's data", [&](Bytes& p) { p.pop_back(); }, 3, {"#SFXCRC#"}, 1,
       "runs 1 bytes past the end of the file", 1, "the file is cut short",
       ": the record at " + std::to_string(start[kTwoRecord]) + " runs 1 bytes past the end of the file (3 records)"},
      {"a name running past the end of the file", Patch(kTwoRecord, kNameLength, 20, 2), 3, {"#SFXCRC#"}, 1,
       "the data is cut short by the end of the file", 1, "the file is cut short",
       "the name of the record at " + std::to_string(start[kTwoRecord]) + " is cut short by the end of file"},
      {"cut inside the last record's header", [&](Bytes& p) { p.resize(start[kTwoRecord] + 20); }, 2, {}, 1,
       "20 bytes left, too few for a record header", 1, "the file is cut short: it ends inside a record",
       "20 bytes left, too few for a record header: the file is cut short inside it (2 records)"},
      {"bytes appended", [&](Bytes& p) { p.insert(p.end(), 100, 0x55); }, 3, {}, 1,
       "100 bytes before the end of the file", 1, endEarly},
      {"too few bytes appended for a header", [&](Bytes& p) { p.insert(p.end(), 5, 0x55); }, 3, {}, 1,
       "5 bytes left", 1, endEarly, "5 bytes left, too few for a record header (3 records)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Bytes damaged = package;
    c.damage(damaged);
    WriteFile(dir / "pkg.exe", damaged);
    std::filesystem::remove_all(dir / "out");
    CommandResult extracted = RunPack({"extract", "pkg.exe", "out"}, dir.path());
    CommandResult verified = RunPack({"verify", "pkg.exe"}, dir.path());
    CommandResult listed = RunPack({"list", "pkg.exe"}, dir.path());
    // The stub's loop does what the case says, so the case tests what it means to.
    // A file damaged by a bad CRC-32 stays on disk as the loop leaves it.
    EXPECT_EQ(RegularFiles(dir / "out"), c.extractedFiles) << extracted.err;
    EXPECT_EQ(ErrorCodes(extracted.err), c.codes) << extracted.err;
    // extract says "extracted" only when the stub would have unpacked everything.
    EXPECT_EQ(extracted.status, c.extractStatus) << extracted.err;
    EXPECT_EQ(extracted.out.find("extracted"), c.extractStatus ? std::string::npos : 10) << extracted.out;
    if (c.extractStatus && RegularFiles(dir / "out") > 0 && c.codes.empty())
      EXPECT_NE(extracted.err.find("the extraction ended early"), std::string::npos) << extracted.err;
    EXPECT_EQ(verified.status, c.verifyStatus) << verified.out << verified.err;
    EXPECT_NE(verified.out.find(c.verifySays), std::string::npos) << verified.out;
    // Whatever the stub reports, verify reports with the same code; whenever the stub
    // stops early or reports anything, verify fails.
    std::set<std::string> verifyCodes = ErrorCodes(verified.out);
    for (const std::string& code : c.codes) EXPECT_TRUE(verifyCodes.count(code)) << code << "\n" << verified.out;
    if (extracted.status != 0 || RegularFiles(dir / "out") < 3) EXPECT_EQ(verified.status, 1);
    // list fails only where the records end early.
    if (c.listError.empty())
      EXPECT_EQ(listed.status, 0) << listed.err;
    else
      ExpectOneLineError(listed, 1, c.listError);
    if (!c.listEnds.empty()) EXPECT_NE(Lines(listed.out).back().find(c.listEnds), std::string::npos) << listed.out;
  }
}

}  // namespace
}  // namespace sfxtest

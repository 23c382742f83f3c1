// ZIP files from writers no one here wrote, turned into packages with --from-zip and
// read back through the system's own reader, cipher and stored copy.
#include <gtest/gtest.h>
#include <sys/time.h>

#include <filesystem>
#include <map>

#include "tests/pack/pack_support.h"
#include "tests/support/temp_dir.h"
#include "tools/sfx_pack/pack_error.h"
#include "tools/sfx_pack/zip_reader.h"

namespace sfxtest {
namespace {

const char kPassword[] = "secret";

// The files every writer packs, relative to the tree's root.
std::map<std::string, Bytes> SourceFiles() {
  std::map<std::string, Bytes> files;
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "setting " + std::to_string(i % 91) + " = value\n";
  files["docs/readme.txt"] = ToBytes(text);
  files["docs/empty.txt"] = {};
  files["bin/noise.bin"] = Noise(9000, 12345);
  Bytes program = ToBytes("MZ");
  for (int i = 0; i < 4000; ++i) program.push_back(static_cast<uint8_t>(i * i % 251 < 60 ? i : 0));
  files["setup.exe"] = program;
  files["name with spaces.txt"] = ToBytes("spaces");
  files["docs/ni\xC3\xB1o \xCE\xB5\xCE\xBB\xCE\xBB.txt"] = ToBytes("UTF-8 name");
  return files;
}

class ZipWritersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& [name, content] : SourceFiles()) {
      std::filesystem::create_directories(std::filesystem::path(tree / name).parent_path());
      WriteFile(tree / name, content);
      // An odd second: ZIP tools round it up to the next even one.
      struct timeval times[2] = {{1700000001, 0}, {1700000001, 0}};
      ASSERT_EQ(::utimes((tree / name).c_str(), times), 0);
    }
    WriteFile(work / "stub", FakeElf(4096));
  }

  // Runs a shell command in the tree that writes a ZIP file; "" when the writer is not
  // installed.
  std::string MakeZip(const std::string& program, const std::string& command) {
    if (!HaveProgram(program)) return "";
    std::string zip = work / "made.zip";
    std::filesystem::remove(zip);
    CommandResult r = RunCommand({"sh", "-c", "{ " + command + "; } >/dev/null"}, tree.path());
    EXPECT_EQ(r.status, 0) << command << ": " << r.err;
    return zip;
  }

  // Packages the ZIP, reads it back, and compares every record with the source files;
  // each keeps its name and whether the ZIP marked it as UTF-8 (flag bit 11).
  std::vector<ReadBackEntry> PackAndCompare(const std::string& zip, const std::string& password = "") {
    created = RunPack({"create", "--stub", "stub", "--output", "out.exe", "--from-zip", zip}, work.path());
    EXPECT_EQ(created.status, 0) << created.err;
    std::map<std::string, uint16_t> zipFlags;
    sfxpack::ZipArchive source(zip);
    for (const sfxpack::ZipEntry& e : source.entries()) zipFlags[e.name] = e.flags;
    std::vector<ReadBackEntry> back = ReadPackageBack(work / "out.exe", scratch.path(), password);
    std::map<std::string, Bytes> expected = SourceFiles();
    EXPECT_EQ(back.size(), expected.size());
    for (const ReadBackEntry& entry : back) {
      SCOPED_TRACE(entry.name);
      if (expected.count(entry.name) != 1) {
        ADD_FAILURE() << "unexpected record";
        continue;
      }
      EXPECT_EQ(entry.content, expected[entry.name]);
      EXPECT_EQ(entry.header.Crc32(), Crc32(expected[entry.name]));
      EXPECT_EQ(entry.header.UncompressedSize(), expected[entry.name].size());
      EXPECT_EQ(entry.header.ExtraLength(), 0);
      EXPECT_EQ(entry.header.Flags() & kFlagUtf8Name, zipFlags[entry.name] & kFlagUtf8Name);
      if (!password.empty()) EXPECT_TRUE(entry.header.Flags() & kFlagEncrypted);
      EXPECT_EQ(entry.systemCrc, entry.header.Crc32());
    }
    return back;
  }

  TempDir tree, work, scratch;
  CommandResult created;  // the last create run
};

#define REQUIRE_ZIP(zip, program) \
  if ((zip).empty()) GTEST_SKIP() << program << " is not installed"

// Each writer's ZIP, packaged and read back; and what must show in the records' headers:
// flag bit 3 (the writer used data descriptors), which the package keeps only on
// encrypted entries, whose check byte depends on it (-1: either), and whether stored and
// deflate records must both be there. Every unencrypted package verifies, each entry
// checked; of an encrypted one, create warns and verify says the stub stops there.
TEST_F(ZipWritersTest, EveryWritersZipReadsBackWhole) {
  const std::string out = work / "made.zip";
  struct Case {
    std::string program, command, password;
    int descriptors;
    bool storedAndDeflated;
  } cases[] = {
      {"zip", "zip -qr " + out + " .", "", 0, true},
      {"zip", "zip -qr - . | cat > " + out, "", 0, false},
      {"zip", "zip -qr -P " + std::string(kPassword) + " " + out + " .", kPassword, 1, false},
      // After other bytes: found through its central directory.
      {"zip", "zip -qr " + work / "plain.zip" + " . && cat " + work / "stub" + " " + work / "plain.zip" + " > " + out,
       "", -1, false},
      {"7z", "7z a -tzip -bd " + out + " .", "", -1, false},
      {"7z", "7z a -tzip -bd -mem=ZipCrypto -p" + std::string(kPassword) + " " + out + " .", kPassword, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    std::string zip = MakeZip(c.program, c.command);
    if (zip.empty()) continue;  // the writer is not installed
    std::vector<ReadBackEntry> back = PackAndCompare(zip, c.password);
    bool descriptors = false, stored = false, deflated = false;
    for (const ReadBackEntry& e : back) {
      descriptors |= (e.header.Flags() & kFlagCheckByteFromTime) != 0;
      stored |= e.header.Method() == kMethodStored;
      deflated |= e.header.Method() == kMethodDeflate;
    }
    if (c.descriptors >= 0) EXPECT_EQ(descriptors, c.descriptors == 1);
    if (c.storedAndDeflated) EXPECT_TRUE(stored && deflated);
    CommandResult verified = RunPack({"verify", "out.exe"}, work.path());
    EXPECT_EQ(verified.status, c.password.empty() ? 0 : 1) << verified.out;
    if (c.password.empty()) EXPECT_EQ(verified.out.find("flag bit 3"), std::string::npos) << verified.out;
    if (!c.password.empty()) {
      EXPECT_NE(created.err.find("\": the entry is encrypted: the stub has no password and stops here"),
                std::string::npos) << created.err;
      EXPECT_NE(verified.out.find("error: record 1 at offset 4096, \""), std::string::npos) << verified.out;
      EXPECT_NE(verified.out.find("\": the entry is encrypted"), std::string::npos) << verified.out;
    }
    EXPECT_TRUE(deflated);
    // The first record carries the marker's signature; the others are ordinary.
    EXPECT_EQ(back.at(0).header.Signature(), kAlternateSignature);
    EXPECT_EQ(back.at(1).header.Signature(), kLocalSignature);
  }
}

TEST_F(ZipWritersTest, FileTimesMatchInfoZips) {
  std::string zip = MakeZip("zip", "zip -qr " + work / "made.zip" + " .");
  REQUIRE_ZIP(zip, "zip");
  std::vector<ReadBackEntry> fromZip = PackAndCompare(zip);
  ASSERT_EQ(RunPack({"create", "--stub", "stub", "--output", "files.exe", tree.path() + "/."}, work.path()).status, 0);
  std::map<std::string, std::pair<uint16_t, uint16_t>> times;
  for (const ReadBackEntry& e : ReadPackageBack(work / "files.exe", scratch.path()))
    times[e.name] = {e.header.ModDate(), e.header.ModTime()};
  ASSERT_EQ(times.size(), fromZip.size());
  for (const ReadBackEntry& e : fromZip) {
    EXPECT_EQ(times[e.name].first, e.header.ModDate()) << e.name;
    EXPECT_EQ(times[e.name].second, e.header.ModTime()) << e.name;
  }
}

TEST_F(ZipWritersTest, ZipEntriesComeBeforeInputFiles) {
  std::string zip = MakeZip("zip", "zip -q " + work / "made.zip" + " setup.exe");
  REQUIRE_ZIP(zip, "zip");
  WriteFile(work / "extra.txt", ToBytes("extra"));
  CommandResult r = RunPack({"create", "--stub", "stub", "--output", "out.exe", "--from-zip", zip, "extra.txt"}, work.path());
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<ReadBackEntry> back = ReadPackageBack(work / "out.exe", scratch.path());
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].name, "setup.exe");
  EXPECT_EQ(back[0].content, SourceFiles()["setup.exe"]);
  EXPECT_EQ(back[1].name, "extra.txt");
}

TEST_F(ZipWritersTest, RefusesWhatThePackageCannotCarry) {
  struct Case {
    std::string program, command, words;
  } cases[] = {
      {"zip", "zip -qr -Z bzip2 made.zip .", "compression method 12 is not supported"},
      {"7z", "7z a -tzip -bd -mem=AES256 -psecret made.zip .", "only traditional encryption"},
      {"python3",
       "python3 -c \"import zipfile\nwith zipfile.ZipFile('made.zip', 'w') as z:\n"
       "  for i in range(65536): z.writestr('f%d' % i, '')\"",
       "ZIP64 archives are not supported"},
      {"zip", "zip -q made.zip stub && truncate -s -10 made.zip", "not a ZIP file"},
      {"zip", "zip -q made.zip stub && printf '\\377\\377\\377\\177' | "
              "dd of=made.zip bs=1 seek=$(($(stat -c %s made.zip) - 6)) conv=notrunc 2>/dev/null",
       "damaged ZIP: the central directory offset is past its end"},
      {"zip", "zip -q made.zip stub && printf '\\377\\377' | "
              "dd of=made.zip bs=1 seek=$(($(stat -c %s made.zip) - 22 + 10)) conv=notrunc 2>/dev/null",
       "ZIP64 archives are not supported"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    if (!HaveProgram(c.program) || !HaveProgram("zip")) continue;
    std::filesystem::remove(work / "made.zip");
    ASSERT_EQ(RunCommand({"sh", "-c", "{ " + c.command + "; } >/dev/null"}, work.path()).status, 0);
    std::vector<std::string> before = ListTree(work.path());
    CommandResult r = RunPack({"create", "--stub", "stub", "--output", "out.exe", "--from-zip", "made.zip"}, work.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
    EXPECT_EQ(ListTree(work.path()), before);
  }
}

// Reads every entry of a ZIP the way --from-zip does; false when it was refused.
bool ReadsWhole(const std::string& path) {
  try {
    sfxpack::ZipArchive zip(path);
    for (const sfxpack::ZipEntry& entry : zip.entries())
      if (!sfxpack::IsDirectoryEntry(entry)) (void)zip.MakePackEntry(entry);
    return true;
  } catch (const sfxpack::PackError&) {
    return false;
  }
}

TEST_F(ZipWritersTest, DamagedZipsAreRefusedWithoutReadingOutOfBounds) {
  std::string zip = MakeZip("zip", "zip -q " + work / "made.zip" + " setup.exe 'name with spaces.txt'");
  REQUIRE_ZIP(zip, "zip");
  Bytes good = ReadFile(zip);
  ASSERT_TRUE(ReadsWhole(zip));
  std::string damaged = work / "damaged.zip";
  int refused = 0;
  // Every cut, and every byte of the central directory and end record flipped in turn;
  // only a one-line refusal (PackError) or a successful read may come out.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    WriteFile(damaged, Bytes(good.begin(), good.begin() + cut));
    refused += !ReadsWhole(damaged);
  }
  EXPECT_EQ(refused, static_cast<int>(good.size()));
  size_t centralStart = good.size() - 22 - ReadLe32(&good[good.size() - 10]);
  for (size_t at = centralStart; at < good.size(); ++at) {
    Bytes flipped = good;
    flipped[at] ^= 0xFF;
    WriteFile(damaged, flipped);
    (void)ReadsWhole(damaged);
  }
}

}  // namespace
}  // namespace sfxtest

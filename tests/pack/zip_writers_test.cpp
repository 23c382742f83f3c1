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
  files["bin/noise.bin"] = RandomBytes(9000, 12345);
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
    std::map<std::string, Bytes> files = SourceFiles();
    WriteTree(tree.path(), {files.begin(), files.end()});
    for (const auto& [name, content] : files) {
      // An odd second: ZIP tools round it up to the next even one.
      struct timeval times[2] = {{1700000001, 0}, {1700000001, 0}};
      ASSERT_EQ(::utimes((tree / name).c_str(), times), 0);
    }
    WriteFile(work / "stub", FakeElf(4096));
  }

  TempDir tree, work, scratch;
};

// Each writer's ZIP, packaged with a file after it and read back whole, through the
// cipher with the password where there is one; and what must show in the records'
// headers: flag bit 3 (the writer used data descriptors), which the package keeps only
// on encrypted entries, whose check byte depends on it (-1: either), and whether stored
// and deflate records must both be there. Every unencrypted package verifies; of an
// encrypted one, create warns and verify says the stub stops there. The times are
// those of a package made from the files themselves.
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
  std::map<std::string, Bytes> expected = SourceFiles();
  expected["extra.txt"] = ToBytes("extra");
  WriteFile(work / "extra.txt", expected["extra.txt"]);
  // The package made from the files themselves: deflate only where it shrinks a file, and
  // the times every ZIP's records must carry.
  ASSERT_EQ(RunPack({"create", "--stub", "stub", "--output", "files.exe", tree.path() + "/."}, work.path()).status, 0);
  std::map<std::string, std::pair<uint16_t, uint16_t>> times;
  for (const ReadBackEntry& e : ReadPackageBack(work / "files.exe", scratch.path())) {
    times[e.name] = {e.header.ModDate(), e.header.ModTime()};
    EXPECT_EQ(e.content, expected[e.name]) << e.name;
    bool shrinks = e.name == "docs/readme.txt" || e.name == "setup.exe";
    EXPECT_EQ(e.header.Method(), shrinks ? kMethodDeflate : kMethodStored) << e.name;
  }
  ASSERT_EQ(times.size(), expected.size() - 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    if (!HaveProgram(c.program)) continue;
    std::filesystem::remove(out);
    ASSERT_EQ(RunCommand({"sh", "-c", "{ " + c.command + "; } >/dev/null"}, tree.path()).status, 0);
    CommandResult created =
        RunPack({"create", "--stub", "stub", "--output", "out.exe", "--from-zip", out, "extra.txt"}, work.path());
    EXPECT_EQ(created.status, 0) << created.err;
    sfxpack::ZipArchive source(out);
    std::map<std::string, uint16_t> zipFlags;
    for (const sfxpack::ZipEntry& e : source.entries()) zipFlags[e.name] = e.flags;
    std::vector<ReadBackEntry> back = ReadPackageBack(work / "out.exe", scratch.path(), c.password);
    ASSERT_EQ(back.size(), expected.size());
    EXPECT_EQ(back.back().name, "extra.txt");  // files come after the ZIP's entries
    bool descriptors = false, stored = false, deflated = false;
    for (const ReadBackEntry& e : back) {
      SCOPED_TRACE(e.name);
      ASSERT_EQ(expected.count(e.name), 1u);
      EXPECT_EQ(e.content, expected[e.name]);
      EXPECT_EQ(e.systemCrc, e.header.Crc32());
      EXPECT_EQ(e.header.UncompressedSize(), expected[e.name].size());
      EXPECT_EQ(e.header.ExtraLength(), 0);
      EXPECT_EQ(e.header.Flags() & kFlagUtf8Name, zipFlags[e.name] & kFlagUtf8Name);
      if (e.name == "extra.txt") continue;
      EXPECT_EQ((e.header.Flags() & kFlagEncrypted) != 0, !c.password.empty());
      EXPECT_EQ(std::make_pair(e.header.ModDate(), e.header.ModTime()), times[e.name]);
      descriptors |= (e.header.Flags() & kFlagCheckByteFromTime) != 0;
      stored |= e.header.Method() == kMethodStored;
      deflated |= e.header.Method() == kMethodDeflate;
    }
    if (c.descriptors >= 0) EXPECT_EQ(descriptors, c.descriptors == 1);
    if (c.storedAndDeflated) EXPECT_TRUE(stored && deflated);
    EXPECT_TRUE(deflated);
    CommandResult verified = RunPack({"verify", "out.exe"}, work.path());
    EXPECT_EQ(verified.status, c.password.empty() ? 0 : 1) << verified.out;
    if (c.password.empty()) EXPECT_EQ(verified.out.find("flag bit 3"), std::string::npos) << verified.out;
    if (!c.password.empty())
      EXPECT_NE(created.err.find("\": the entry is encrypted: the stub has no password and stops here"),
                std::string::npos) << created.err;
    // The first record carries the marker's signature (the reader found it); the others
    // are ordinary.
    EXPECT_EQ(back.at(1).header.Signature(), kLocalSignature);
  }
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
    ExpectOneLineError(r, 1, c.words);
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
  if (!HaveProgram("zip")) GTEST_SKIP() << "zip is not installed";
  ASSERT_EQ(RunCommand({"zip", "-q", work / "made.zip", "setup.exe", "name with spaces.txt"}, tree.path()).status, 0);
  Bytes good = ReadFile(work / "made.zip");
  ASSERT_TRUE(ReadsWhole(work / "made.zip"));
  // Every cut is refused with a PackError (a one-line refusal), never read past its end.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    WriteFile(work / "damaged.zip", Bytes(good.begin(), good.begin() + cut));
    EXPECT_FALSE(ReadsWhole(work / "damaged.zip")) << cut;
  }
}

}  // namespace
}  // namespace sfxtest

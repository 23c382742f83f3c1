// The POSIX stand-in answers the way the Win32 calls it replaces do.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "platform/byte_string.h"
#include "platform/platform.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

class StandInTest : public sfxtest::PlatformTest {
 protected:
  sfxtest::TempDir dir_;
};

// The stand-in's ANSI code page is Windows-1252, its five undefined bytes included. (Its
// defined bytes and characters outside it: the extraction's name table and the launcher's
// package paths.)
TEST_F(StandInTest, AnsiCodePageIsWindows1252BothWays) {
  struct Case { std::string ansi, utf8; bool back; };
  const Case cases[] = {
      {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D", true},
      {"", "caf\xC3", false},           // not UTF-8
  };
  for (const Case& c : cases) {
    plat::ScopedByteString out;
    if (!c.ansi.empty()) {
      ASSERT_TRUE(plat::AnsiToUtf8(c.ansi.data(), static_cast<uint32_t>(c.ansi.size()), out));
      EXPECT_EQ(std::string(out.Text()), c.utf8);
    }
    EXPECT_EQ(plat::Utf8ToAnsi(c.utf8.data(), static_cast<uint32_t>(c.utf8.size()), out), c.back) << c.utf8;
    if (c.back) EXPECT_EQ(std::string(out.Text()), c.ansi);
  }
}

TEST_F(StandInTest, TempPathComesFromTmpdirWithATrailingBackslash) {
  const char* old = getenv("TMPDIR");
  std::string saved = old ? old : "";
  char buffer[256];
  const std::pair<const char*, const char*> cases[] = {{"/var/tmp", "/var/tmp\\"}, {"/x/", "/x/"}, {"", "/tmp\\"}};
  for (auto [env, expected] : cases) {
    setenv("TMPDIR", env, 1);
    EXPECT_EQ(plat::QueryTempPath(buffer, sizeof buffer), strlen(expected));
    EXPECT_STREQ(buffer, expected);
  }
  setenv("TMPDIR", std::string(300, 'a').c_str(), 1);
  EXPECT_EQ(plat::QueryTempPath(buffer, sizeof buffer), 0u);  // does not fit
  if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
}

TEST_F(StandInTest, DosTimeBecomesTheModificationTimeReadAsUtc) {
  std::string path = dir_ / "f";
  struct Case { uint16_t date, time; long long epoch; bool ok; };
  const Case cases[] = {
      {0x0021, 0x0000, 315532800, true},   // 1980-01-01 00:00:00
      {0x5A21, 0xBF7D, 1735775998, true},  // 23:59:58
      {0x5A20, 0x0000, 0, false},          // day 0
      {0x5BA1, 0x0000, 0, false},          // month 13
  };
  for (const Case& c : cases) {
    plat::FileHandle f = plat::CreateOutputFile(path.c_str());
    ASSERT_NE(f, plat::kInvalidFile);
    EXPECT_EQ(plat::SetDosFileTime(f, c.date, c.time), c.ok) << std::hex << c.date;
    EXPECT_TRUE(plat::CloseFileHandle(f));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    if (c.ok) EXPECT_EQ(st.st_mtime, c.epoch);
  }
}

// The same calls on the file system and on memory files give the same answers, the
// answers of the Win32 calls they stand in for (FindFirstFile's patterns among them).
class FileStoreTest : public sfxtest::PlatformTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    sfxtest::PlatformTest::SetUp();
    if (GetParam()) {
      plat::testing::UseMemoryFiles();
      ASSERT_TRUE(plat::testing::PutMemoryDirectory("/tmp/m"));
    }
    base_ = GetParam() ? "/tmp/m" : dir_.path();
  }
  void TearDown() override {
    plat::testing::UseRealFiles();
    sfxtest::PlatformTest::TearDown();
  }
  std::string At(const char* relative) const { return base_ + "\\" + relative; }
  std::string Read(const char* relative, int32_t from) {
    plat::FileHandle f = plat::OpenForReading(At(relative).c_str());
    char buffer[64];
    uint32_t got = 0;
    bool ok = f != plat::kInvalidFile && plat::SeekFile(f, from, plat::kFromBeginning) == from &&
              plat::ReadBytes(f, buffer, sizeof buffer, &got) && plat::CloseFileHandle(f);
    return ok ? std::string(buffer, got) : "(failed)";
  }
  sfxtest::TempDir dir_;
  std::string base_;
};

TEST_P(FileStoreTest, AnswersLikeTheFileSystem) {
  enum Op { kMkdir, kWrite, kOpen, kFind, kRemove, kRmdir };
  struct Step { Op op; const char* path; bool ok; };
  const Step steps[] = {
      {kMkdir, "a", true},        {kMkdir, "a", false},       {kMkdir, "x\\y", false},
      {kWrite, "a\\f", true},     {kWrite, "a\\", false},     {kWrite, "a", false},
      {kWrite, "a\\f\\g", false}, {kWrite, "a\\.\\h", true},  {kWrite, "a\\..\\a\\i", true},
      {kOpen, "a", false},        {kOpen, "a\\f", true},      {kOpen, "a\\f\\", false},
      {kOpen, "b", false},        {kFind, "a\\*.*", true},    {kFind, "a\\f*", true},
      {kFind, "a\\*.txt", false}, {kFind, "b\\*.*", false},   {kFind, "a\\h", true},
      {kFind, "a\\", false},      {kRmdir, "a", false},       {kRemove, "a", false},
      {kRemove, "a\\f", true},    {kRemove, "a\\f", false},   {kRemove, "a\\h", true},
      {kRemove, "a\\i", true},    {kRmdir, "a", true},        {kRmdir, "a", false},
      {kMkdir, "e", true},        {kFind, "e\\*.*", true},   // "." is in every directory
      {kFind, "e\\*.bin", false},
  };
  for (const Step& s : steps) {
    std::string path = At(s.path);
    bool ok = false;
    switch (s.op) {
      case kMkdir: ok = plat::MakeDirectory(path.c_str()); break;
      case kWrite: {
        plat::FileHandle f = plat::CreateOutputFile(path.c_str());
        uint32_t written = 0;
        ok = f != plat::kInvalidFile && plat::WriteBytes(f, "hello", 5, &written) && written == 5 &&
             plat::CloseFileHandle(f);
        if (ok) EXPECT_EQ(Read(s.path, 2), "llo") << s.path;
        break;
      }
      case kOpen: {
        plat::FileHandle f = plat::OpenForReading(path.c_str());
        uint32_t size = 0;
        ok = f != plat::kInvalidFile && plat::QueryFileSize(f, &size) && size == 5 && plat::CloseFileHandle(f);
        break;
      }
      case kFind: ok = plat::FindAnyMatch(path.c_str()); break;
      case kRemove: ok = plat::RemoveFile(path.c_str()); break;
      case kRmdir: ok = plat::RemoveEmptyDirectory(path.c_str()); break;
    }
    EXPECT_EQ(ok, s.ok) << s.op << " " << s.path;
  }
}

INSTANTIATE_TEST_SUITE_P(Stores, FileStoreTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Memory" : "Disk"; });

}  // namespace

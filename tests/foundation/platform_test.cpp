// The POSIX stand-in answers the way the Win32 calls it replaces do.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "platform/platform.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

class StandInTest : public sfxtest::PlatformTest {
 protected:
  sfxtest::TempDir dir_;
};

TEST_F(StandInTest, MessageBoxIsWrittenAsUtf8WithLineFeeds) {
  plat::testing::FaultPlan plan;
  plat::testing::Install(plan);  // not quiet
  testing::internal::CaptureStderr();
  plat::ShowMessageBox("Compresi\xF3n\r\rda\xF1" "ado \x80 \xB7", "Cap\xE9");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Cap\xC3\xA9]\nCompresi\xC3\xB3n\n\nda\xC3\xB1" "ado \xE2\x82\xAC \xC2\xB7\n\n");
  ASSERT_EQ(trace().messageBoxes.size(), 1u);
  EXPECT_EQ(trace().messageBoxes[0].caption, "Cap\xE9");  // recorded as the system gave it
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
      {0x5A21, 0x6000, 1735732800, true},  // 2025-01-01 12:00:00
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

TEST_F(StandInTest, SearchesMatchLikeFindFirstFile) {
  sfxtest::WriteFile(dir_ / "a.txt", {1});
  mkdir((dir_ / "empty").c_str(), 0755);
  std::string d = dir_.path();
  const std::pair<std::string, bool> cases[] = {
      {d + "\\a.txt", true}, {d + "\\b.txt", false}, {d + "\\*.*", true},
      {d + "\\empty\\*.*", true},  // "." is in every directory
      {d + "\\missing\\*.*", false}, {d + "\\*.txt", true}, {d + "\\*.bin", false}, {d + "\\", false},
  };
  for (auto& [pattern, found] : cases) EXPECT_EQ(plat::FindAnyMatch(pattern.c_str()), found) << pattern;
}

TEST_F(StandInTest, InjectedFaultsHitTheirCall) {
  plat::testing::FaultPlan plan;
  plan.createFailsAtCall = 2;
  plan.outputCloseFailsAtCall = 1;
  plan.makeDirectoryFailsForPath = "nope";
  Install(plan);
  plat::FileHandle first = plat::CreateOutputFile((dir_ / "1").c_str());
  EXPECT_NE(first, plat::kInvalidFile);
  EXPECT_EQ(plat::CreateOutputFile((dir_ / "2").c_str()), plat::kInvalidFile);
  EXPECT_FALSE(plat::CloseFileHandle(first));
  EXPECT_TRUE(sfxtest::Exists(dir_ / "1"));  // closed and kept all the same
  EXPECT_FALSE(plat::MakeDirectory((dir_ / "nope").c_str()));
  EXPECT_TRUE(plat::MakeDirectory((dir_ / "yes").c_str()));
}

TEST_F(StandInTest, SelfPathIsCutToTheBuffer) {
  char buffer[8];
  EXPECT_EQ(plat::QuerySelfPath(buffer, sizeof buffer), 7u);
  EXPECT_EQ(strlen(buffer), 7u);
}

}  // namespace

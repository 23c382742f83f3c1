// The POSIX stand-in answers the way the Win32 calls it replaces do.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

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

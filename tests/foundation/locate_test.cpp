// The marker scan: where the archive is found and where it is not.
#include <gtest/gtest.h>

#include "launcher/locate.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using sfxtest::Bytes;

const Bytes kMarker = {0xA6, 0x95, 0x9C, 0x2B, 0x0F, 0xF0};

// `size` filler bytes (never a marker byte) with marker copies placed at `at`.
Bytes FileWithMarkers(size_t size, std::vector<size_t> at) {
  Bytes file(size, 0x11);
  for (size_t p : at) std::copy(kMarker.begin(), kMarker.end(), file.begin() + p);
  return file;
}

class LocateTest : public sfxtest::PlatformTest {
 protected:
  sfxtest::TempDir dir_;
};

TEST_F(LocateTest, FindsTheFirstMarkerAtOrAfterOffset20) {
  struct Case { const char* what; Bytes file; int32_t expected; plat::testing::FaultPlan plan = {}; };
  // The blocks are read from offset 20, so the first one ends at 20 + 4096.
  const size_t straddle = kMarkerScanStart + kMarkerScanBlock - 3;
  Bytes straddling = FileWithMarkers(9000, {straddle});
  Bytes restart = FileWithMarkers(200, {101});
  restart[100] = 0xA6;  // A6 A6 95 9C 2B 0F F0: the match restarts at the second A6
  Bytes broken = FileWithMarkers(200, {});
  std::copy(kMarker.begin(), kMarker.begin() + 5, broken.begin() + 50);  // five bytes only
  auto fault = [](auto set) { plat::testing::FaultPlan p; set(p); return p; };
  const Case cases[] = {
      {"first of two occurrences", FileWithMarkers(300, {64, 128}), 64},
      {"marker at exactly offset 20", FileWithMarkers(100, {20}), 20},
      {"marker inside the first 20 bytes is skipped", FileWithMarkers(100, {14}), -1},
      {"one before 20 skipped, a later one found", FileWithMarkers(100, {10, 70}), 70},
      {"straddles the first block's end", straddling, static_cast<int32_t>(straddle)},
      {"breaking byte that starts a new match", restart, 101},
      {"five of six marker bytes", broken, -1},
      {"marker ends at the file's last byte", FileWithMarkers(106, {100}), 100},
      {"empty file", Bytes{}, -1},
      {"the block holding the marker fails to read", FileWithMarkers(10000, {9000}), -1,
       fault([](auto& p) { p.readFailsAtOffset = 5000; })},
      {"a read fails after the marker's block", FileWithMarkers(10000, {6000}), 6000,
       fault([](auto& p) { p.readFailsAtOffset = 9500; })},
      {"the seek to offset 20 fails", FileWithMarkers(300, {64}), -1, fault([](auto& p) { p.seekFailsAtCall = 1; })},
  };
  for (const Case& c : cases) {
    sfxtest::WriteFile(dir_ / "pkg", c.file);
    Install(c.plan);
    EXPECT_EQ(FindArchiveStart((dir_ / "pkg").c_str()), c.expected) << c.what;
  }
  EXPECT_EQ(FindArchiveStart((dir_ / "missing").c_str()), -1);
  EXPECT_EQ(FindArchiveStart(dir_.path().c_str()), -1);  // a directory is no package
}

}  // namespace

// The stand-in fixture: fault plan, quiet message boxes, heap balance.
#include "tests/support/platform_fixture.h"

#include "integrity/crc32.h"

namespace sfxtest {

void PlatformTest::SetUp() {
  if (!CrcTable) ASSERT_TRUE(AllocateCrcTable());
  Install({});
  plat::testing::OnMessageBox(nullptr);
  plat::testing::OnDialogMessage(nullptr);
  liveAtStart_ = plat::testing::Recorded().liveAllocations;
}

void PlatformTest::TearDown() {
  plat::testing::OnMessageBox(nullptr);
  plat::testing::OnDialogMessage(nullptr);
  EXPECT_EQ(plat::testing::Recorded().liveAllocations, liveAtStart_)
      << "heap blocks allocated by the system during the test were not released";
  plat::testing::Reset();
}

void PlatformTest::Install(plat::testing::FaultPlan plan) {
  plan.quietMessageBoxes = true;
  plat::testing::Install(plan);
}

OpenedArchive::OpenedArchive(const std::string& path) {
  ArchiveHandle = plat::OpenForReading(path.c_str());
  EXPECT_NE(ArchiveHandle, plat::kInvalidFile) << path;
}

OpenedArchive::~OpenedArchive() {
  if (ArchiveHandle != plat::kInvalidFile) (void)plat::CloseFileHandle(ArchiveHandle);
  ArchiveHandle = plat::kInvalidFile;
}

}  // namespace sfxtest

// A test fixture over the POSIX stand-in: a clean fault plan, quiet message boxes, and
// a check that the system released every heap block it allocated during the test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "archive/record.h"
#include "integrity/crc32.h"
#include "platform/testing.h"

namespace sfxtest {

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CrcTable) ASSERT_TRUE(AllocateCrcTable());
    Install({});
    liveAtStart_ = plat::testing::Recorded().liveAllocations;
  }
  // The hooks a test set are cleared for the next one.
  void TearDown() override {
    plat::testing::OnMessageBox(nullptr);
    plat::testing::OnDialogMessage(nullptr);
    EXPECT_EQ(plat::testing::Recorded().liveAllocations, liveAtStart_)
        << "heap blocks allocated by the system during the test were not released";
    plat::testing::Reset();
  }
  // Installs a plan (message boxes kept quiet) and clears the trace.
  void Install(plat::testing::FaultPlan plan) {
    plan.quietMessageBoxes = true;
    plat::testing::Install(plan);
  }
  const plat::testing::Trace& trace() const { return plat::testing::Recorded(); }

 private:
  int64_t liveAtStart_ = 0;
};

// Opens a file as the package (ArchiveHandle) for the duration of a scope and closes it.
class OpenedArchive {
 public:
  explicit OpenedArchive(const std::string& path) {
    ArchiveHandle = plat::OpenForReading(path.c_str());
    EXPECT_NE(ArchiveHandle, plat::kInvalidFile) << path;
  }
  ~OpenedArchive() {
    if (ArchiveHandle != plat::kInvalidFile) (void)plat::CloseFileHandle(ArchiveHandle);
    ArchiveHandle = plat::kInvalidFile;
  }
  OpenedArchive(const OpenedArchive&) = delete;
  OpenedArchive& operator=(const OpenedArchive&) = delete;
};

}  // namespace sfxtest

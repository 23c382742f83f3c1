// A test fixture over the POSIX stand-in: a clean fault plan, quiet message boxes, and
// a check that the system released every heap block it allocated during the test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "archive/record.h"
#include "platform/testing.h"

namespace sfxtest {

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Installs a plan (message boxes kept quiet) and clears the trace.
  void Install(plat::testing::FaultPlan plan);
  const plat::testing::Trace& trace() const { return plat::testing::Recorded(); }

 private:
  int64_t liveAtStart_ = 0;
};

// Opens a file as the package (ArchiveHandle) for the duration of a scope and closes it.
class OpenedArchive {
 public:
  explicit OpenedArchive(const std::string& path);
  ~OpenedArchive();
  OpenedArchive(const OpenedArchive&) = delete;
  OpenedArchive& operator=(const OpenedArchive&) = delete;
};

}  // namespace sfxtest

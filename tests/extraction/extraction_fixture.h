// Running the extraction loop on a hand-built package into a temporary destination.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"

namespace sfxtest {

struct Message {
  std::string caption, text;
  bool operator==(const Message&) const = default;
};
void PrintTo(const Message& m, std::ostream* os);

// A file's bytes as a string.
std::string Content(const std::string& path);

class ExtractionTest : public PlatformTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Writes the package, opens it, runs ExtractArchive into dest() and returns the
  // message boxes it showed.
  std::vector<Message> Extract(const std::vector<Record>& records, plat::testing::FaultPlan plan = {});
  std::vector<Message> ExtractBytes(const Bytes& package, int32_t archiveOffset, plat::testing::FaultPlan plan);
  // The destination as the system holds it once its path tests ran ("\tmp\...\_I_\"),
  // and as a POSIX path.
  std::string destText() const;
  std::string dest() const { return dir_->path() + "/_I_"; }
  // Starts over in a new temporary folder, with the outcome cleared.
  void FreshFolder();
  std::string installer() const;
  // Files and directories below the destination.
  std::vector<std::string> Tree() const { return ListTree(dest()); }
  std::unique_ptr<TempDir> dir_ = std::make_unique<TempDir>();
};

}  // namespace sfxtest

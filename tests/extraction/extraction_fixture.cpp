// Running the extraction loop on a hand-built package.
#include "tests/extraction/extraction_fixture.h"

#include <string.h>

#include "archive/extract.h"
#include "archive/record.h"

namespace sfxtest {

void ExtractionTest::SetUp() {
  PlatformTest::SetUp();
  ExtractedAny = false;
  InstallerPath.Release();
}

void ExtractionTest::TearDown() {
  InstallerPath.Release();
  PlatformTest::TearDown();
}

std::string Content(const std::string& path) {
  Bytes b = ReadFile(path);
  return std::string(b.begin(), b.end());
}

void PrintTo(const Message& m, std::ostream* os) {
  std::string text = m.text;
  for (char& c : text) if (c == '\r') c = '|';
  *os << "[" << m.caption << "] " << text;
}

std::string ExtractionTest::destText() const {
  std::string d = dir_->path() + "\\_I_\\";
  for (char& c : d) if (c == '/') c = '\\';
  return d;
}

void ExtractionTest::FreshFolder() {
  dir_ = std::make_unique<TempDir>();
  ExtractedAny = false;
  InstallerPath.Release();
}

std::string ExtractionTest::installer() const { return InstallerPath.Text(); }

std::vector<Message> ExtractionTest::Extract(const std::vector<Record>& records, plat::testing::FaultPlan plan) {
  Bytes stub = FakeStub();
  return ExtractBytes(BuildPackage(records, stub), static_cast<int32_t>(stub.size()), plan);
}

std::vector<Message> ExtractionTest::ExtractBytes(const Bytes& package, int32_t archiveOffset,
                                                  plat::testing::FaultPlan plan) {
  std::string path = *dir_ / "package.exe";
  WriteFile(path, package);
  std::string dest = destText();
  strcpy(::TempDir, dest.c_str());
  ArchiveOffset = archiveOffset;
  Install(plan);
  {
    OpenedArchive open(path);
    ExtractArchive();
  }
  std::vector<Message> out;
  for (auto& m : trace().messageBoxes) out.push_back({m.caption, m.text});
  return out;
}

}  // namespace sfxtest

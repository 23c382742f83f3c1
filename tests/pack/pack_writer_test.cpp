// The package tool's library: the method each file gets, and the naming of inputs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/pack/pack_support.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/sfx_pack/file_inputs.h"
#include "tools/sfx_pack/pack_create.h"
#include "tools/sfx_pack/pack_error.h"

namespace sfxtest {
namespace {

class PackWriterTest : public PlatformTest {
 protected:
  std::vector<std::string> Names(const std::vector<std::string>& inputs) {
    std::vector<sfxpack::Finding> skipped;
    std::vector<std::string> names;
    for (const auto& f : sfxpack::CollectInputs(inputs, "", skipped)) names.push_back(f.name);
    return names;
  }
  TempDir dir;
  TempDir scratch;
};

TEST_F(PackWriterTest, FilesAreDeflatedOnlyWhenThatShrinksThem) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i % 37) + " of the readme\n";
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"readme.txt", ToBytes(text)}, {"sub/empty", {}}, {"sub/noise.bin", Noise(70000, 7)}, {"x", ToBytes("x")}};
  WriteTree(dir / "tree", files);
  WriteFile(dir / "stub", FakeStub(100));
  struct Case {
    int level;
    uint16_t readmeMethod;
  } cases[] = {{sfxpack::kStoreLevel, kMethodStored}, {1, kMethodDeflate}, {sfxpack::kDefaultLevel, kMethodDeflate}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    sfxpack::CreateOptions options;
    options.stub = dir / "stub";
    options.force = true;
    options.output = dir / "out";
    options.level = c.level;
    options.inputs = {dir / "tree/."};
    sfxpack::CreateSummary summary = sfxpack::CreatePackage(options);
    EXPECT_EQ(summary.records, 4);
    EXPECT_EQ(summary.archiveOffset, 100);
    std::vector<ReadBackEntry> back = ReadPackageBack(options.output, scratch.path());
    ASSERT_EQ(back.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(back[i].name, files[i].first);
      EXPECT_EQ(back[i].header.Method(), i == 0 ? c.readmeMethod : kMethodStored) << files[i].first;
      EXPECT_EQ(back[i].content, files[i].second) << files[i].first;
      EXPECT_EQ(back[i].header.Crc32(), Crc32(files[i].second)) << files[i].first;
    }
    // The first record carries the marker's signature; the others are ordinary.
    EXPECT_EQ(back[0].header.Signature(), kAlternateSignature);
    EXPECT_EQ(back[1].header.Signature(), kLocalSignature);
    if (c.readmeMethod == kMethodDeflate)
      EXPECT_LT(back[0].header.CompressedSize(), static_cast<int32_t>(text.size()) / 10);
  }
}

// Inputs are named after their own last component; what is not a plain file or folder
// is refused, and so is a link inside a folder, while a link given as an input is followed.
TEST_F(PackWriterTest, InputsAreNamedAfterTheirOwnLastComponent) {
  std::string root = dir / "root";
  WriteTree(root, {{"data/a.txt", ToBytes("a")}, {"data/B/c.txt", ToBytes("c")}, {"setup.exe", ToBytes("MZ")}});
  std::filesystem::create_directories(root + "/data/empty");
  std::filesystem::create_directories(dir / "with-link");
  std::filesystem::create_directory_symlink(root + "/data/B", dir / "linked");
  std::filesystem::create_directory_symlink(root + "/data/B", dir / "with-link/B");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  struct Case {
    std::vector<std::string> inputs;
    std::vector<std::string> names;  // none: refused
  } cases[] = {
      {{root + "/data"}, {"data/B/c.txt", "data/a.txt"}},
      {{root + "/data/"}, {"data/B/c.txt", "data/a.txt"}},
      {{root + "/data/."}, {"B/c.txt", "a.txt"}},
      {{root + "/data/B/.."}, {"B/c.txt", "a.txt"}},
      {{root + "/setup.exe", root + "/data/B"}, {"setup.exe", "B/c.txt"}},
      {{root}, {"root/data/B/c.txt", "root/data/a.txt", "root/setup.exe"}},
      {{dir / "linked"}, {"linked/c.txt"}},
      {{dir / "with-link"}, {}},
      {{dir / "fifo"}, {}},
      {{dir / "missing"}, {}},
      {{""}, {}},
  };
  for (const Case& c : cases) {
    if (c.names.empty())
      EXPECT_THROW(Names(c.inputs), sfxpack::PackError) << c.inputs[0];
    else
      EXPECT_EQ(Names(c.inputs), c.names) << c.inputs[0];
  }
}

}  // namespace
}  // namespace sfxtest

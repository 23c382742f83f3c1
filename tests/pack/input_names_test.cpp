// The package tool's library: the naming of inputs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/pack/pack_support.h"
#include "tests/support/temp_dir.h"
#include "tools/sfx_pack/file_inputs.h"
#include "tools/sfx_pack/pack_error.h"

namespace sfxtest {
namespace {

class InputNamesTest : public ::testing::Test {
 protected:
  std::vector<std::string> Names(const std::vector<std::string>& inputs) {
    std::vector<sfxpack::Finding> skipped;
    std::vector<std::string> names;
    for (const auto& f : sfxpack::CollectInputs(inputs, "", skipped)) names.push_back(f.name);
    return names;
  }
  TempDir dir;
};

// Inputs are named after their own last component; what is not a plain file or folder
// is refused, and so is a link inside a folder, while a link given as an input is followed.
TEST_F(InputNamesTest, InputsAreNamedAfterTheirOwnLastComponent) {
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

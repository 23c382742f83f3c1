// Path utilities: directory parts, slash conversion, existence tests and directory
// chains through the stand-in, and the names that must stay inside the destination.
#include <gtest/gtest.h>

#include "archive/paths.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Part(const std::string& path) {
  plat::ScopedByteString in, out;
  EXPECT_TRUE(in.Assign(path.data(), static_cast<uint32_t>(path.size())));
  EXPECT_TRUE(DirectoryPart(in, out));
  return out.Text();
}

class PathsTest : public sfxtest::PlatformTest {
 protected:
  // The test folder as the system writes it, with backslashes.
  std::string Base() const {
    std::string d = dir_.path();
    for (char& c : d) if (c == '/') c = '\\';
    return d;
  }
  sfxtest::TempDir dir_;
};

TEST_F(PathsTest, DirectoryPart) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\T\\_I_\\a\\b.txt", "C:\\T\\_I_\\a"}, {"C:\\b.txt", "C:\\"}, {"\\b.txt", "\\"},
      {"ab\\c", "ab"}, {"C:b.txt", "C:"}, {"b.txt", ""}, {"C:\\", "C:\\"}, {"x/y", "x"},
      {"a/b/", "a/b"}, {"C:", "C:"}, {"ab:", "ab:"}, {"/x", "/"}, {"abc\\", "abc"},
  };
  for (auto [in, out] : cases) EXPECT_EQ(Part(in), out) << in;
}

TEST_F(PathsTest, PathExistsSearchesThePatternOrTheName) {
  std::string d = Base();
  sfxtest::WriteFile(dir_ / "file", {1});
  std::string withSlash = d + "/";
  std::string withBackslash = d + "\\";
  EXPECT_TRUE(PathExists(withBackslash.data()));
  EXPECT_EQ(trace().searches.back(), d + "\\*.*");
  std::string file = d + "/file";
  EXPECT_TRUE(PathExists(file.data()));
  EXPECT_EQ(file, d + "\\file");  // the caller's text changed in place
  std::string missing = d + "\\nothing\\";
  EXPECT_FALSE(PathExists(missing.data()));
  std::string missingFile = d + "\\nothing";
  EXPECT_FALSE(PathExists(missingFile.data()));
  // A trailing-backslash path longer than any fixed scratch buffer.
  std::string deep = d + "\\" + std::string(300, 'q') + "\\";
  EXPECT_FALSE(PathExists(deep.data()));
  EXPECT_EQ(trace().searches.back(), deep + "*.*");
}

// Missing parents are made first; what exists (a file in the way counts) is left; a
// path that cannot shrink further ends the chain, whatever the platform answers.
TEST_F(PathsTest, CreateDirectoryChain) {
  const std::string b = Base();
  sfxtest::WriteFile(dir_ / "blocker", {1});
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {b + "\\a/b\\c\\", {b + "\\a", b + "\\a\\b", b + "\\a\\b\\c"}},
      {b + "\\a\\b\\c\\", {}},
      {b + "\\blocker", {}},
  };
  for (const auto& [text, created] : cases) {
    plat::ScopedByteString path;
    ASSERT_TRUE(path.AppendText(text.c_str()));
    Install({});
    CreateDirectoryChain(path);
    EXPECT_EQ(trace().createdDirectories, created) << text;
  }
  EXPECT_TRUE(sfxtest::IsDirectory(dir_ / "a/b/c"));
  Install({});
  for (const char* text : {"C:", "C:\\", "\\", "ab", "zz:", "q:\\zz:"}) {
    plat::ScopedByteString path;
    ASSERT_TRUE(path.AppendText(text));
    CreateDirectoryChain(path);  // must return
  }
  // "q:\zz:" cannot exist on Linux; the chain tries it once and does not recurse on it.
  EXPECT_LE(trace().createdDirectories.size(), 2u);
}

TEST_F(PathsTest, NamesThatLeaveTheDestinationOrOpenADeviceAreRefused) {
  const std::pair<const char*, bool> cases[] = {
      {"setup.exe", true}, {"dir/sub\\file.txt", true}, {"./a", true}, {"a/./b", true},
      {"a..b", true}, {"..a/b", true}, {".hidden", true}, {"a b/c d", true},
      {"/etc/passwd", false}, {"\\x", false}, {"C:\\x", false}, {"C:x", false},
      {"file.txt:stream", false}, {"..", false}, {"../x", false}, {"a/../../x", false},
      {"a\\..\\x", false}, {"a/..", false}, {"...", false}, {"a/. ./b", false}, {".. /x", false},
      // Device names, as any component, in any case, with an extension, dots or spaces.
      {"CON", false}, {"nul.tar.gz", false}, {"sub/Aux.txt", false}, {"d\\prn.", false}, {"com1 ", false},
      {"LPT9.log", false}, {"com0", false}, {"conout$", false}, {"CONIN$.x", false}, {"aux .txt", false},
      {"COM\xB9", false}, {"console", true}, {"com10", true}, {"lpt", true}, {"nul_x", true}, {"a.con", true},
      {"comA", true}, {"xnul/y", true},
  };
  for (auto [name, ok] : cases) {
    plat::ScopedByteString s;
    ASSERT_TRUE(s.AppendText(name));
    EXPECT_EQ(IsContainedName(s), ok) << name;
  }
}

}  // namespace

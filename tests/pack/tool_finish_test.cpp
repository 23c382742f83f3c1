// What makes sfx-pack a finished tool: the stub found where it is installed, a man page
// troff reads without a warning, the same package from any number of threads, and list
// --json.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/pack/pack_support.h"
#include "tests/support/temp_dir.h"

namespace sfxtest {
namespace {

namespace fs = std::filesystem;

// sfx-pack copied into a layout of folders, with stubs placed around it.
TEST(StubSearch, CreateFindsTheInstalledOrBuiltStub) {
  const Bytes windowsStub = FakePe(), linuxStub = FakeElf(100);
  struct Case {
    std::string label;
    std::string tool;                                 // where sfx-pack is
    std::vector<std::pair<std::string, Bytes>> stubs; // what lies around it
    std::vector<std::string> stubOption;
    const Bytes* expected;                            // nullptr: no stub found
  } cases[] = {
      {"installed, Windows by default", "bin/sfx-pack",
       {{"share/sfx/sfx-stub.exe", windowsStub}, {"share/sfx/sfx-stub", linuxStub}}, {}, &windowsStub},
      {"build tree: build/host beside build/win32", "build/host/sfx-pack",
       {{"build/win32/sfx-stub.exe", windowsStub}, {"build/host/sfx-stub", linuxStub}}, {}, &windowsStub},
      {"installed first, then the build tree", "host/sfx-pack",
       {{"share/sfx/sfx-stub.exe", windowsStub}, {"win32/sfx-stub.exe", linuxStub}}, {}, &windowsStub},
      {"nothing installed", "bin/sfx-pack", {}, {}, nullptr},
      {"no Linux stub", "bin/sfx-pack", {{"share/sfx/sfx-stub.exe", windowsStub}}, {"--stub", "linux"}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir root;
    WriteTree(root.path(), c.stubs);
    fs::create_directories(fs::path(root / c.tool).parent_path());
    fs::copy_file(SFX_PACK_PATH, root / c.tool);
    std::string work = fs::path(root / c.tool).parent_path().string();
    WriteFile(work + "/SETUP.EXE", FakePe());
    std::vector<std::string> argv{root / c.tool, "create", "--output", "out.exe", "SETUP.EXE"};
    argv.insert(argv.end(), c.stubOption.begin(), c.stubOption.end());
    CommandResult r = RunCommand(argv, work);
    if (c.expected == nullptr) {
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find(" stub found (looked at " + work + "/../share/sfx/"), std::string::npos) << r.err;
      continue;
    }
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ToString(ReadFile(work + "/out.exe")).rfind(ToString(*c.expected), 0), 0u);  // the stub comes first
  }
}

TEST(ManPage, TroffReadsItWithoutAWarning) {
  EXPECT_EQ(ToString(ReadFile(SFX_PACK_MAN_PAGE)).rfind(".TH SFX\\-PACK 1 ", 0), 0u);
  if (!HaveProgram("groff")) GTEST_SKIP() << "groff is not installed: the page was not rendered";
  CommandResult rendered = RunCommand({"groff", "-man", "-Tutf8", "-ww", "-z", SFX_PACK_MAN_PAGE});
  EXPECT_EQ(rendered.status, 0);
  EXPECT_EQ(rendered.err, "") << "troff warnings";
}

class FinishedToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteTree(dir.path(), {{"SETUP.EXE", FakePe()}, {"data/a.txt", ToBytes(std::string(3000, 'a'))},
                           {"data/\xC3\xA9t\xC3\xA9.txt", ToBytes("utf-8 name")}, {"data/x\"y\\z", ToBytes("q")}});
    WriteFile(dir / "stub", FakeElf(300));
  }
  TempDir dir;
};

// The same package however many threads compress it; and list --json, read back by
// Python, with a name JSON must escape.
TEST_F(FinishedToolTest, OneAndFourThreadsWriteTheSamePackageThatListJsonDescribes) {
  for (const char* jobs : {"1", "4"}) {
    CommandResult r = RunPack({"create", "--jobs", jobs, "--stub", "stub", "--output", std::string("out") + jobs,
                               "SETUP.EXE", "data"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    // Warnings about the odd name only, and no progress bar: standard error is no terminal.
    for (const std::string& line : Lines(r.err)) EXPECT_NE(line.find("x\"y\\z"), std::string::npos) << line;
  }
  EXPECT_EQ(ReadFile(dir / "out1"), ReadFile(dir / "out4"));
  if (!HaveProgram("python3")) GTEST_SKIP() << "python3 is not installed";
  // The script prints what the test compares.
  CommandResult read = RunCommand(
      {"sh", "-c", "\"$0\" list --json out1 | python3 -c \"$1\"", SFX_PACK_PATH,
       "import json, re, sys\n"
       "d = json.load(sys.stdin)\n"
       "print(d['archiveOffset'], d['end']['clean'], d['end']['reason'], d['signatureSize'])\n"
       "for r in d['records']:\n"
       "    print(r['name'], r['method'], r['flags'], r['encrypted'], re.fullmatch('[0-9A-F]{8}', r['crc32']) is not None,"
       " r['compressedSize'] > 0, r['offset'] >= 300)\n"},
      dir.path());
  ASSERT_EQ(read.status, 0) << read.err;
  // A name outside ASCII is UTF-8 with flag bit 11.
  EXPECT_EQ(Lines(read.out), (std::vector<std::string>{"300 True end of file 0", "SETUP.EXE 8 0 False True True True",
                                                       "data/a.txt 8 0 False True True True",
                                                       "data/x\"y\\z 0 0 False True True True",
                                                       "data/\xC3\xA9t\xC3\xA9.txt 0 2048 False True True True"}));
}

}  // namespace
}  // namespace sfxtest

// What makes sfx-pack a finished tool: the stub found where it is installed, the man
// page from the help texts, --quiet and --verbose, list --json, and the progress bar.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>

#include "tests/pack/pack_support.h"
#include "tests/support/temp_dir.h"
#include "tools/sfx_pack/help_text.h"
#include "tools/sfx_pack/progress.h"

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
      {"installed, --stub windows", "bin/sfx-pack", {{"share/sfx/sfx-stub.exe", windowsStub}}, {"--stub", "windows"},
       &windowsStub},
      {"installed, --stub linux", "bin/sfx-pack",
       {{"share/sfx/sfx-stub.exe", windowsStub}, {"share/sfx/sfx-stub", linuxStub}}, {"--stub=linux"}, &linuxStub},
      {"build tree: build/host beside build/win32", "build/host/sfx-pack",
       {{"build/win32/sfx-stub.exe", windowsStub}, {"build/host/sfx-stub", linuxStub}}, {}, &windowsStub},
      {"build tree, --stub linux", "build/host/sfx-pack", {{"build/host/sfx-stub", linuxStub}}, {"--stub", "linux"},
       &linuxStub},
      {"installed first, then the build tree", "host/sfx-pack",
       {{"share/sfx/sfx-stub.exe", windowsStub}, {"win32/sfx-stub.exe", linuxStub}}, {}, &windowsStub},
      {"--stub PATH overrides", "bin/sfx-pack", {{"share/sfx/sfx-stub.exe", windowsStub}, {"mine", linuxStub}},
       {"--stub", "../mine"}, &linuxStub},
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
      EXPECT_NE(r.err.find(" stub found (looked at " + fs::path(root / c.tool).parent_path().string() + "/../share/sfx/"),
                std::string::npos)
          << r.err;
      continue;
    }
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes written = ReadFile(work + "/out.exe");
    ASSERT_GT(written.size(), c.expected->size());
    EXPECT_TRUE(std::equal(c.expected->begin(), c.expected->end(), written.begin()));
  }
}

TEST(ManPage, RenderedFromTheHelpOfEveryCommand) {
  Bytes page = ReadFile(SFX_PACK_MAN_PAGE);
  std::string text = ToString(page);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.rfind(".TH SFX\\-PACK 1 ", 0), 0u);
  // Every command, option and example of the help is in the page, escaped for troff.
  auto troff = [](std::string s) {
    std::string out;
    for (char ch : s) out += ch == '-' ? std::string("\\-") : ch == '\\' ? std::string("\\e") : std::string(1, ch);
    return out;
  };
  for (const sfxpack::CommandHelp& help : sfxpack::CommandHelps()) {
    EXPECT_NE(text.find(".SH \"COMMAND " + std::string(help.name) + "\""), std::string::npos) << help.name;
    for (const sfxpack::HelpOption& option : help.options)
      EXPECT_NE(text.find(".B " + troff(option.flags) + "\n"), std::string::npos) << option.flags;
    for (const sfxpack::HelpExample& example : help.examples)
      EXPECT_NE(text.find(".B " + troff(example.command) + "\n"), std::string::npos) << example.command;
  }
  if (!HaveProgram("groff")) GTEST_SKIP() << "groff is not installed: the page was not rendered";
  CommandResult rendered = RunCommand({"groff", "-man", "-Tutf8", "-ww", "-z", SFX_PACK_MAN_PAGE});
  EXPECT_EQ(rendered.status, 0);
  EXPECT_EQ(rendered.err, "") << "troff warnings";
}

class FinishedToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteTree(dir.path(), {{"SETUP.EXE", FakePe()}, {"data/a.txt", ToBytes(std::string(3000, 'a'))},
                           {"data/\xC3\xA9t\xC3\xA9.txt", ToBytes("utf-8 name")}});
    WriteFile(dir / "stub", FakeElf(300));
  }
  TempDir dir;
};

TEST_F(FinishedToolTest, QuietAndVerboseCreate) {
  struct Case {
    std::vector<std::string> flags;
    std::vector<std::string> out;  // regular expressions, one per line
  } cases[] = {
      {{}, {"sfx-pack: wrote out.exe: 3 records, [0-9]+ bytes, archive at offset 300"}},
      {{"--quiet"}, {}},
      {{"-v"},
       {"stub: stub", "added SETUP.EXE: deflate 512 -> [0-9]+ bytes", "added data/a.txt: deflate 3000 -> [0-9]+ bytes",
        "added data/\xC3\xA9t\xC3\xA9.txt: stored 10 -> 10 bytes",
        "sfx-pack: wrote out.exe: 3 records, [0-9]+ bytes, archive at offset 300"}},
      {{"--jobs", "1"}, {"sfx-pack: wrote out.exe: 3 records, [0-9]+ bytes, archive at offset 300"}},
      {{"--jobs=4"}, {"sfx-pack: wrote out.exe: 3 records, [0-9]+ bytes, archive at offset 300"}},
  };
  Bytes first;
  for (const Case& c : cases) {
    std::vector<std::string> args{"create", "--stub", "stub", "--output", "out.exe", "SETUP.EXE", "data"};
    args.insert(args.end(), c.flags.begin(), c.flags.end());
    CommandResult r = RunPack(args, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    // The same package whatever is shown and however many threads compress it.
    if (first.empty()) first = ReadFile(dir / "out.exe");
    EXPECT_EQ(ReadFile(dir / "out.exe"), first);
    EXPECT_EQ(r.err, "");  // no warnings, and no progress bar: standard error is no terminal
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), c.out.size()) << r.out;
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_TRUE(std::regex_match(lines[i], std::regex(c.out[i]))) << lines[i];
  }
  // --quiet keeps the warnings: they protect the user.
  CommandResult warned = RunPack({"create", "-q", "--stub", "stub", "--output", "o2.exe", "data"}, dir.path());
  EXPECT_EQ(warned.out, "");
  EXPECT_NE(warned.err.find("warning: no name contains \".EXE\""), std::string::npos);
}

// The package's own texts: the defaults leave the stub byte for byte as built; given
// texts are listed, and the Linux stub shows them in its fatal message.
TEST_F(FinishedToolTest, TheTextsOfThePackage) {
  const Bytes stub = ReadFile(fs::path(SFX_PACK_PATH).parent_path() / "sfx-stub");
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> listed;  // the list lines after the archive offset
    std::string message;              // a part of the fatal message of the package
  } cases[] = {
      {{},
       {"caption: Velmora Software", "wait text: Iniciando el asistente para la instalaci\xC3\xB3n.\\rEspere un momento...",
        "contact lines: support@example.com, www.example.com, downloads.example.com, help@example.com, help.example.com"},
       "[Velmora Software]\nNo puedo reconstruir"},
      {{"--title", "\xC3\x91" "and\xC3\xBA Soft", "--wait-text", "Uno\r\ndos", "--contact-email2=ayuda@x.org",
        "--contact-web3", "x.org/ayuda"},
       {"caption: \xC3\x91" "and\xC3\xBA Soft", "wait text: Uno\\rdos",
        "contact lines: support@example.com, www.example.com, downloads.example.com, ayuda@x.org, x.org/ayuda"},
       "[\xC3\x91" "and\xC3\xBA Soft]\nNo puedo reconstruir"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"create", "--stub", "linux", "--output", "pkg.run", "SETUP.EXE"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    ASSERT_EQ(RunPack(args, dir.path()).status, 0);
    std::vector<std::string> lines = Lines(RunPack({"list", "pkg.run"}, dir.path()).out);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 4), c.listed);
    Bytes package = ReadFile(dir / "pkg.run");
    EXPECT_EQ(Bytes(package.begin(), package.begin() + stub.size()) == stub, c.options.empty());
    // The first record marked encrypted: the stub unpacks nothing and shows #SFXNRA#.
    package[stub.size() + 6] ^= 0x01;
    WriteFile(dir / "pkg.run", package);
    fs::create_directories(dir / "tmp");
    CommandResult run = RunCommand({"env", "TMPDIR=" + dir / "tmp", "./pkg.run"}, dir.path());
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.listed[2].substr(c.listed[2].rfind(", ") + 2)), std::string::npos) << run.err;
  }
}

TEST_F(FinishedToolTest, ListJsonIsOneObjectForScripts) {
  if (!HaveProgram("python3")) GTEST_SKIP() << "python3 is not installed";
  WriteTree(dir.path(), {{"odd/x\"y\\z", ToBytes("q")}});  // a name JSON must escape
  ASSERT_EQ(RunPack({"create", "--stub", "stub", "--output", "out.exe", "SETUP.EXE", "data", "odd/."}, dir.path()).status,
            0);
  CommandResult listed = RunPack({"list", "--json", "out.exe"}, dir.path());
  ASSERT_EQ(listed.status, 0);
  WriteFile(dir / "listing.json", ToBytes(listed.out));
  // Python reads it back; the script prints what the test compares.
  CommandResult read = RunCommand(
      {"python3", "-c",
       "import json,sys\n"
       "d = json.load(open('listing.json'))\n"
       "print(d['archiveOffset'], d['end']['clean'], d['end']['reason'], d['signatureSize'])\n"
       "for r in d['records']:\n"
       "    print(r['name'], r['method'], r['flags'], r['encrypted'], r['crc32'], r['compressedSize'] > 0, "
       "r['offset'] >= 300)\n"},
      dir.path());
  ASSERT_EQ(read.status, 0) << read.err;
  ASSERT_EQ(Lines(read.out).size(), 5u) << read.out;
  EXPECT_EQ(Lines(read.out).at(0), "300 True end of file 0");
  EXPECT_TRUE(std::regex_match(Lines(read.out).at(1), std::regex("SETUP.EXE 8 0 False [0-9A-F]{8} True True")));
  EXPECT_TRUE(std::regex_match(Lines(read.out).at(2), std::regex("data/a.txt 8 0 False [0-9A-F]{8} True True")));
  // A name outside ASCII is UTF-8 with flag bit 11.
  EXPECT_EQ(Lines(read.out).at(3).substr(0, 21), "data/\xC3\xA9t\xC3\xA9.txt 0 2048");
  EXPECT_EQ(Lines(read.out).at(4).substr(0, 6), "x\"y\\z ");
}

TEST(ProgressBar, DrawsOnATerminalOnlyAfterTheDelay) {
  using namespace std::chrono;
  steady_clock::time_point now{};
  auto clock = [&now] { return now; };
  struct Case {
    bool enabled;
    milliseconds elapsed;
    bool drawn;
  } cases[] = {{true, milliseconds(100), false}, {true, milliseconds(600), true}, {false, milliseconds(600), false}};
  for (const Case& c : cases) {
    now = steady_clock::time_point{};
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
      sfxpack::ProgressBar bar(out, c.enabled, milliseconds(500), clock);
      now += c.elapsed;
      bar.Update(1048576, 4 * 1048576, "data/a.txt");
      now += milliseconds(10);  // too soon for a second drawing
      bar.Update(2 * 1048576, 4 * 1048576, "data/b.txt");
    }
    std::rewind(out);
    std::string text;
    for (int ch; (ch = std::fgetc(out)) != EOF;) text += static_cast<char>(ch);
    std::fclose(out);
    std::string line = "\r" + sfxpack::RenderProgressLine(1048576, 4 * 1048576, "data/a.txt", 79);
    line += std::string(80 - line.size(), ' ');
    EXPECT_EQ(text, c.drawn ? line + "\r" + std::string(79, ' ') + "\r" : "") << c.elapsed.count();
  }
}

TEST(ProgressBar, TheLineFitsAndKeepsTheLabelsEnd) {
  EXPECT_EQ(sfxpack::RenderProgressLine(0, 0, "x", 79), "[########################] 100%  0.0 of 0.0 MiB  x");
  EXPECT_EQ(sfxpack::RenderProgressLine(1 << 20, 4 << 20, "a.bin", 79),
            "[######------------------]  25%  1.0 of 4.0 MiB  a.bin");
  std::string line = sfxpack::RenderProgressLine(1, 2, std::string(60, 'd') + "/end.txt", 79);
  EXPECT_EQ(line.size(), 79u);
  EXPECT_EQ(line.substr(line.size() - 9), "d/end.txt");
  EXPECT_NE(line.find("  ..."), std::string::npos);
}

}  // namespace
}  // namespace sfxtest

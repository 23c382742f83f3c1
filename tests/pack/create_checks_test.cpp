// sfx-pack create protecting its user: every warning and refusal, from files on disk, and
// what verify says about the same package afterwards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/pack/pack_support.h"
#include "tests/support/temp_dir.h"
#include "tools/sfx_pack/pack_create.h"
#include "tools/sfx_pack/pack_error.h"

namespace sfxtest {
namespace {

using Files = std::vector<std::pair<std::string, Bytes>>;

// One create run: the files in a fresh folder, the arguments after
// "create --stub STUB --output out.exe", what must be on standard error (no warning at
// all when nothing), and the exit status of verify on what create wrote.
struct CreateCase {
  std::string label;
  Files files;
  std::vector<std::string> args;
  std::vector<std::string> warnings;     // each a part of one line of standard error
  int verifyStatus = 0;
  bool peStub = false;                   // a Windows stub (PE) instead of a stand-in
  std::string setup = "";                // the setup program verify names, when given
};

const Bytes kPe = FakePe();

const CreateCase kCases[] = {
    {"only a lowercase setup.exe", {{"setup.exe", kPe}}, {"setup.exe"},
     {"sfx-pack: warning: no name contains \".EXE\": the stub unpacks the files, starts nothing",
      "\"setup.exe\" does not count, only \".EXE\" in capitals counts"}},
    {"lowercase setup.exe beside another program", {{"setup.exe", kPe}, {"HELPER.EXE", kPe}},
     {"setup.exe", "HELPER.EXE"},
     {"warning: \"HELPER.EXE\": the stub starts this one, the first name containing \".EXE\", and not "
      "\"setup.exe\" (only \".EXE\" in capitals counts); sfx-pack create --setup NAME"}},
    {"a tool before SETUP.EXE", {{"a/TOOL.EXE", kPe}, {"SETUP.EXE", kPe}}, {"a", "SETUP.EXE"},
     {"\"a/TOOL.EXE\": the stub starts this one", "and not \"SETUP.EXE\""}},
    {"the chosen SETUP.EXE beside helpers", {{"SETUP.EXE", kPe}, {"bin/tool.exe", kPe}}, {"SETUP.EXE", "bin"}, {}},
    {"--setup puts the chosen program first", {{"a/TOOL.EXE", kPe}, {"SETUP.EXE", kPe}},
     {"--setup=SETUP.EXE", "a", "SETUP.EXE"}, {}, 0, false, "SETUP.EXE"},
    {".EXE only in a folder name", {{"APP.EXE/readme.txt", ToBytes("r")}}, {"APP.EXE"},
     {"\"APP.EXE/readme.txt\": the stub starts this path, but \".EXE\" is only in a folder name"}},
    {"a setup program that is no Windows program", {{"SETUP.EXE", ToBytes("#!/bin/sh\n")}}, {"SETUP.EXE"},
     {"\"SETUP.EXE\": the setup program is not a Windows program (no PE header)"}, 1, true},
    {"a 64-bit setup program", {{"SETUP.EXE", FakePe(0x8664)}}, {"SETUP.EXE"},
     {"the setup program is PE x86-64: it does not start on 32-bit Windows"}, 0, true},
    {"a Windows setup program for a Windows stub", {{"SETUP.EXE", kPe}}, {"SETUP.EXE"}, {}, 0, true},
    {"a name with a colon", {{"SETUP.EXE", kPe}, {"a:b", ToBytes("x")}}, {"SETUP.EXE", "a:b"},
     {"\"a:b\": the stub refuses this name because it contains \":\"", "(Error #SFXENC#)"}, 1},
    {"a component of three dots", {{"SETUP.EXE", kPe}, {"d/.../f", ToBytes("x")}}, {"SETUP.EXE", "d"},
     {"\"d/.../f\": the stub refuses this name because its component \"...\" leads to the parent folder"}, 1},
    {"a character Windows does not allow", {{"SETUP.EXE", kPe}, {"what?.txt", ToBytes("x")}},
     {"SETUP.EXE", "what?.txt"},
     {"\"what?.txt\": the name contains \"?\", which Windows does not allow", "(Error #SFXEAA#)"}, 1},
    {"a device name", {{"SETUP.EXE", kPe}, {"sub/Con.txt", ToBytes("x")}}, {"SETUP.EXE", "sub"},
     {"\"sub/Con.txt\": the stub refuses this name because its component \"Con.txt\" is a device name",
      "(Error #SFXENC#)"}, 1},
    {"a trailing dot", {{"SETUP.EXE", kPe}, {"notes.", ToBytes("x")}}, {"SETUP.EXE", "notes."},
     {"\"notes.\": the component \"notes.\" ends in a dot or a space"}},
    {"a name too long under a typical temporary folder",
     {{"SETUP.EXE", kPe}, {std::string(100, 'd') + "/" + std::string(110, 'f'), ToBytes("x")}},
     {"SETUP.EXE", std::string(100, 'd')},
     {"the name is 211 characters long: under a typical temporary folder the path has 264, more than the 259"}},
    {"a name just short enough",
     {{"SETUP.EXE", kPe}, {std::string(100, 'd') + "/" + std::string(105, 'f'), ToBytes("x")}},
     {"SETUP.EXE", std::string(100, 'd')}},
    {"names outside ASCII, written in UTF-8",
     {{"SETUP.EXE", kPe}, {"\xCE\xB5\xCE\xBB/\xE6\x97\xA5 l\xC2\xB7l.txt", ToBytes("x")}},
     {"SETUP.EXE", "\xCE\xB5\xCE\xBB"}},
    {"a file name that is not UTF-8", {{"SETUP.EXE", kPe}, {"caf\xE9.txt", ToBytes("x")}}, {"SETUP.EXE", "caf\xE9.txt"},
     {"\"caf\xC3\xA9.txt\": the name has no UTF-8 flag (bit 11), so Windows reads its bytes in the ANSI code page",
      "\"caf\xC3\xA9.txt\" on Windows-1252 (Western European), Windows-1250 (Central European)",
      "\"caf\xD0\xB9.txt\" on Windows-1251 (Cyrillic)"}},
    {"names that differ in case outside ASCII",
     {{"SETUP.EXE", kPe}, {"\xC3\x91" "and\xC3\xBA", ToBytes("1")}, {"d/\xC3\x91" "AND\xC3\x9A", ToBytes("2")}},
     {"SETUP.EXE", "\xC3\x91" "and\xC3\xBA", "d/."},
     {"\"\xC3\x91" "AND\xC3\x9A\": the name is the same file to Windows as \"\xC3\x91" "and\xC3\xBA\""}},
    {"a name that is a file and a folder", {{"SETUP.EXE", kPe}, {"x/a", ToBytes("1")}, {"y/a/b", ToBytes("2")}},
     {"SETUP.EXE", "x/a", "y/."},
     {"\"a\": the name is a file and also a folder of \"a/b\"", "(Error #SFXEAA#)"}, 1},
};

// A warning without the program's name, the severity and the entry it is about.
std::string ReasonPart(std::string w) {
  for (const std::string prefix : {"sfx-pack: ", "warning: "})
    if (w.rfind(prefix, 0) == 0) w = w.substr(prefix.size());
  size_t quote = w.find("\": ");
  if (!w.empty() && w[0] == '"' && quote != std::string::npos) w = w.substr(quote + 3);
  return w;
}

class CreateChecksTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(CreateChecksTest, EveryWarningAndRefusal) {
  for (const CreateCase& c : kCases) {
    SCOPED_TRACE(c.label);
    TempDir work;
    WriteTree(work.path(), c.files);
    WriteFile(work / "stub", c.peStub ? FakePe() : FakeElf(300));
    std::vector<std::string> args{"create", "--stub", "stub", "--output", "out.exe"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    CommandResult r = RunPack(args, work.path());
    EXPECT_EQ(r.status, 0) << r.err;
    for (const std::string& w : c.warnings) EXPECT_NE(r.err.find(w), std::string::npos) << "missing " << w << " in\n" << r.err;
    if (c.warnings.empty()) EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
    for (const std::string& line : Lines(r.err)) EXPECT_EQ(line.rfind("sfx-pack: ", 0), 0u) << line;
    CommandResult verified = RunPack({"verify", "out.exe"}, work.path());
    EXPECT_EQ(verified.status, c.verifyStatus) << verified.out;
    if (!c.setup.empty()) EXPECT_NE(verified.out.find("setup program " + c.setup), std::string::npos) << verified.out;
    // verify finds again what create warned about; only where it says it differs.
    for (const std::string& w : c.warnings) {
      std::string reason = ReasonPart(w);
      EXPECT_NE(verified.out.find(reason), std::string::npos) << "verify did not find " << reason << " in\n"
                                                              << verified.out;
    }
  }
}

// A package that deflate makes too large is refused only while it is written (the limit
// lowered here: what deflate makes is not known before), and leaves no output either.
// Sizes known before writing are in the command line's table.
TEST_F(CreateChecksTest, APackageDeflateMakesTooLargeLeavesNoOutput) {
  WriteTree(dir.path(), {{"SETUP.EXE", kPe}, {"noise", RandomBytes(4000, 7)}, {"stub", FakeElf(300)}});
  std::vector<std::string> before = ListTree(dir.path());
  sfxpack::CreateOptions options;
  options.output = dir / "out.exe";
  options.stub = dir / "stub";
  options.inputs = {dir / "SETUP.EXE", dir / "noise"};
  options.maxPackageSize = 3000;
  try {
    sfxpack::CreatePackage(options);
    ADD_FAILURE() << "a package over the limit was written";
  } catch (const sfxpack::PackError& e) {
    EXPECT_EQ(std::string(e.what()), dir / "noise: the package would reach 2 GiB; positions in it are signed 32-bit");
  }
  EXPECT_EQ(ListTree(dir.path()), before);
  options.maxPackageSize = 5000;
  EXPECT_EQ(sfxpack::CreatePackage(options).records, 2);
}

// Traps around the folder packed: the package being written inside it, a broken link.
TEST_F(CreateChecksTest, TheOutputAndBrokenLinksInAFolderInput) {
  WriteTree(dir.path(), {{"app/SETUP.EXE", kPe}});
  WriteFile(dir / "stub", FakeElf(300));
  ASSERT_EQ(::symlink("nowhere", (dir / "app/gone").c_str()), 0);
  struct Case {
    std::vector<std::string> extra;
    int status;
    std::string err;  // a part of standard error
  } cases[] = {
      {{}, 0, "sfx-pack: warning: ./gone: broken symbolic link (to \"nowhere\", which does not exist): skipped\n"},
      {{}, 0, "skipped"},  // the second run leaves the first package out
      {{"--strict"}, 1, "sfx-pack: error: ./gone: broken symbolic link"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"create", "--stub", "../stub", "--output", "app.exe", "."};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    CommandResult r = RunPack(args, dir / "app");
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    CommandResult listed = RunPack({"list", "app.exe"}, dir / "app");
    EXPECT_EQ(Lines(listed.out).size(), 4u) << listed.out;  // SETUP.EXE alone
  }
  EXPECT_EQ(ListTree(dir / "app"), (std::vector<std::string>{"SETUP.EXE", "app.exe", "gone"}));
}

// A signal while the package is written leaves no temporary file, and ends create as
// the signal does.
TEST_F(CreateChecksTest, ASignalDuringCreateLeavesNoTemporaryFile) {
  WriteFile(dir / "noise", RandomBytes(16 << 20, 3));
  WriteFile(dir / "stub", FakeElf(300));
  for (const char* signal : {"INT", "TERM", "HUP"}) {
    SCOPED_TRACE(signal);
    // Job control on, so that the background create does not ignore SIGINT.
    std::string script = std::string("set -m; \"$0\" create --jobs 1 --stub stub --output out.exe noise >/dev/null & ") +
                         "until ls out.exe.tmp-* >/dev/null 2>&1; do sleep 0.01; done; kill -" + signal +
                         " $!; wait $!; echo $?";
    // On a busy machine create may finish before the signal comes: that run proves
    // nothing, and the next one is tried.
    CommandResult r;
    for (int run = 0; run < 10 && (run == 0 || r.out == "0\n"); ++run) {
      std::filesystem::remove(dir / "out.exe");
      r = RunCommand({"bash", "-c", script, SFX_PACK_PATH}, dir.path());
    }
    EXPECT_NE(r.out, "0\n") << r.err;
    EXPECT_EQ(ListTree(dir.path()), (std::vector<std::string>{"noise", "stub"}));
  }
}

}  // namespace
}  // namespace sfxtest

// The sfx-pack command line: create, list and extract, and one-line errors.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <regex>

#include "tests/pack/pack_support.h"
#include "tests/support/temp_dir.h"

namespace sfxtest {
namespace {

class PackCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir / "stub", FakeElf(300));
    WriteFile(dir / "text.txt", ToBytes(std::string(5000, 'a') + "tail"));
    WriteFile(dir / "tiny", ToBytes("t"));
    WriteFile(dir / "not-a-zip", ToBytes(std::string(100, 'z')));
    WriteFile(dir / "package", BuildPackage({StoredRecord("a", "b")}, FakeStub()));
    // Files of 2 GiB and 1.5 GiB, sparse: nothing of that size is read or written.
    for (auto [name, size] : {std::pair{"huge", off_t{1} << 31}, {"big1", off_t{3} << 29}, {"big2", off_t{3} << 29}}) {
      WriteFile(dir / name, {});
      ASSERT_EQ(::truncate((dir / name).c_str(), size), 0);
    }
  }
  TempDir dir;
};

// create, then list showing every record where it is, then extract unpacking with the
// stub's own code and starting nothing.
TEST_F(PackCliTest, CreateListAndExtract) {
  WriteFile(dir / "SETUP.EXE", ToBytes("#!/bin/sh\ntouch started\n"));
  CommandResult created = RunPack({"create", "--stub=stub", "--output", "out.exe", "text.txt", "SETUP.EXE"}, dir.path());
  ASSERT_EQ(created.status, 0) << created.err;
  std::string end = std::to_string(ReadFile(dir / "out.exe").size());
  EXPECT_EQ(created.out, "sfx-pack: wrote out.exe: 2 records, " + end + " bytes, archive at offset 300\n");
  CommandResult listed = RunPack({"list", "out.exe"}, dir.path());
  ASSERT_EQ(listed.status, 0) << listed.err;
  std::vector<std::string> lines = Lines(listed.out);
  ASSERT_EQ(lines.size(), 5u) << listed.out;
  EXPECT_EQ(lines[0], "archive offset: 300");
  // Columns as wide as their widest value, numbers to the right.
  EXPECT_EQ(lines[1], "offset  method   flags   compressed  uncompressed  crc32     modified             name");
  char crc[9];
  std::snprintf(crc, sizeof crc, "%08X", Crc32(ToBytes(std::string(5000, 'a') + "tail")));
  const std::string when = "  20[0-9]{2}-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]  ";
  EXPECT_TRUE(std::regex_match(lines[2], std::regex("   300  deflate  0x0000 +[0-9]+          5004  " + std::string(crc) +
                                                     when + "text\\.txt")))
      << lines[2];
  EXPECT_TRUE(std::regex_match(lines[3], std::regex(" +[0-9]+  stored   0x0000 +24 +24  [0-9A-F]{8}" + when + "SETUP\\.EXE")))
      << lines[3];
  // Its last line, the end of the records, is in verify's fault table.

  CommandResult extracted = RunPack({"extract", "out.exe", "out/sub"}, dir.path());
  ASSERT_EQ(extracted.status, 0) << extracted.err;
  EXPECT_EQ(Lines(extracted.out),
            (std::vector<std::string>{"sfx-pack: extracted out.exe into out/sub", "setup program: out/sub/SETUP.EXE"}));
  EXPECT_EQ(ListTree(dir / "out/sub"), (std::vector<std::string>{"SETUP.EXE", "text.txt"}));
  EXPECT_EQ(ToString(ReadFile(dir / "out/sub/text.txt")), std::string(5000, 'a') + "tail");
  EXPECT_FALSE(Exists(dir / "started"));
}

TEST_F(PackCliTest, BadInputsFailWithOneLineAndLeaveNoOutput) {
  // "create --stub STUB --output out" and the arguments.
  auto create = [](const std::string& stub, std::vector<std::string> args) {
    args.insert(args.begin(), {"create", "--stub", stub, "--output", "out"});
    return args;
  };
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string words;
  } cases[] = {
      {create("missing", {"tiny"}), 1, "missing: cannot open stub"},
      {create("package", {"tiny"}), 1, "already contains the archive marker"},
      {create("tiny", {"tiny"}), 1, "at least 20"},
      {create("stub", {"tiny", "absent"}), 1, "absent: cannot read"},
      {{"create", "--stub", "stub", "--output", "nodir/out", "tiny"}, 1, "nodir/out: cannot create"},
      {create("stub", {"--from-zip", "not-a-zip"}), 1, "not a ZIP file"},
      {create("stub", {"--from-zip", "absent.zip"}), 1, "absent.zip: cannot open"},
      {create("stub", {"tiny", "tiny"}), 1, "tiny: two inputs give the name \"tiny\""},
      {create("stub", {"--setup", "tiny", "tiny"}), 1, "--setup tiny: the stub starts only a name that contains \".EXE\""},
      {create("stub", {"--setup", "X.EXE", "tiny"}), 1, "--setup X.EXE: no input gives this name"},
      {create("", {"tiny"}), 2, "--stub needs a value"},
      {create("stub", {"--level", "13", "tiny"}), 2, "--level must be"},
      {create("stub", {"--store", "--level", "3", "tiny"}), 2, "cannot be combined"},
      {create("stub", {"--fast", "tiny"}), 2, "unknown option '--fast'"},
      {{"create", "--stub", "stub", "--output", "out"}, 2, "nothing to pack"},
      {{"create", "--stub", "stub", "tiny"}, 2, "--output OUT is required"},
      {{"create", "--stub", "stub", "--output"}, 2, "--output needs a value"},
      {{"create", "--stub", "stub", "--output", "tiny", "text.txt", "tiny"}, 1, "tiny: is also the output"},
      {{"create", "--stub", "stub", "--output", "stub", "tiny"}, 1, "stub: is also the output"},
      {create("not-a-zip", {"tiny"}), 1,
       "not-a-zip: the stub is not a program: create needs a Windows program for i386 (PE) or a Linux program (ELF); "
       "give --force"},
      {create("stub", {"--jobs", "0", "tiny"}), 2, "--jobs must be a number from 1"},
      // Sizes of 2 GiB, refused before anything is written.
      {create("huge", {"--store", "big1"}), 1, "huge: stub is 2 GiB or larger"},
      {create("stub", {"huge"}), 1, "huge: file is 2 GiB or larger; positions in a package are signed 32-bit"},
      {create("stub", {"--store", "big1", "big2"}), 1,
       "out: the package would reach 2 GiB; positions in it are signed 32-bit"},
      {{"extract", ".", "package"}, 2, "'.' is a folder: the PACKAGE comes first, then the DIR to unpack into (are the "
                                       "two swapped?)"},
      {{"extract", "package", "tiny"}, 2, "'tiny' is not a folder"},
      {{"extract", "package"}, 2, "extract takes PACKAGE and DIR"},
      {{"extract", "not-a-zip", "new/folder"}, 1, "no archive marker"},
      {{"extract", "package", std::string(300, 'd')}, 1, "path too long"},
      // The package's texts: each limit, and what Windows-1252 or the wait window cannot hold.
      {create("linux", {"--title", std::string(18, 't'), "tiny"}), 1,
       "--title: the text has 18 characters; it takes 1 to 17"},
      {create("linux", {"--title=", "tiny"}), 1, "--title: the text has 0 characters"},
      {create("linux", {"--wait-text", std::string(97, 'w'), "tiny"}), 1,
       "--wait-text: the text has 97 characters; it takes 1 to 96"},
      {create("linux", {"--contact-web3", std::string(64, 'c'), "tiny"}), 1,
       "--contact-web3: the text has 64 characters; it takes at most 63"},
      {create("linux", {"--title", "\xCE\xA9mega", "tiny"}), 1,
       "--title: the character U+03A9 '\xCE\xA9' cannot be stored: the package's texts are in Windows-1252"},
      {create("linux", {"--wait-text", "\xE2\x82\xAC", "tiny"}), 1,
       "--wait-text: the character U+20AC '\xE2\x82\xAC' cannot be shown in the wait window"},
      {create("linux", {"--contact-email", "a\nb", "tiny"}), 1,
       "--contact-email: the text holds the control character U+000A; only --wait-text takes line breaks"},
      {create("linux", {"--contact-web", "\xFF", "tiny"}), 1, "--contact-web: the text is not valid UTF-8 (at byte 1)"},
      {create("stub", {"--title", "x", "tiny"}), 1, "stub: the stub has no text block"},
      {{"list"}, 2, "exactly one PACKAGE"},
      {{"list", "--xml", "package"}, 2, "unknown option '--xml' (see 'sfx-pack list --help')"},
      {{"verify"}, 2, "verify takes exactly one PACKAGE"},
      {{"verify", "stub"}, 1, "stub: no archive marker found"},
      {{"verify", "absent"}, 1, "absent: cannot open package"},
      {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
      {{}, 2, "no command given"},
  };
  std::vector<std::string> before = ListTree(dir.path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words);
    ExpectOneLineError(RunPack(c.args, dir.path()), c.status, c.words);
    EXPECT_EQ(ListTree(dir.path()), before);
  }
}

TEST_F(PackCliTest, AFailedWriteLeavesNoOutput) {
  WriteFile(dir / "noise", RandomBytes(200000, 99));
  std::vector<std::string> before = ListTree(dir.path());
  // Files may grow to 64 KiB at most; with SIGXFSZ ignored, a longer write fails (EFBIG).
  for (const std::string& stubSize : {"stub", "noise"}) {
    CommandResult r = RunCommand({"sh", "-c", "trap '' XFSZ; ulimit -f 64; exec \"$0\" \"$@\"", SFX_PACK_PATH,
                                  "create", "--force", "--stub", stubSize, "--output", "out", "--store", "noise"},
                                 dir.path());
    ExpectOneLineError(r, 1, "out: write failed: File too large");
    EXPECT_EQ(ListTree(dir.path()), before);
  }
}

}  // namespace
}  // namespace sfxtest

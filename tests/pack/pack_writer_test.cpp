// The package tool's library: DOS times, record layout, naming of inputs, refusals.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "launcher/locate.h"
#include "tests/pack/pack_support.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/sfx_pack/dos_time.h"
#include "tools/sfx_pack/file_inputs.h"
#include "tools/sfx_pack/pack_create.h"
#include "tools/sfx_pack/pack_error.h"
#include "tools/sfx_pack/package_writer.h"

namespace sfxtest {
namespace {

using sfxpack::DosDateTime;

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

void WriteText(const std::string& path, const std::string& text) { WriteFile(path, ToBytes(text)); }

TEST(DosTime, LocalTimesBecomeDosFields) {
  struct Case {
    std::time_t when;
    uint16_t date, time;
  } cases[] = {
      {LocalTime(2024, 5, 17, 13, 45, 30), 0x58B1, 0x6DAF},
      {LocalTime(2024, 5, 17, 13, 45, 31), 0x58B1, 0x6DB0},  // odd second rounds up
      {LocalTime(2099, 12, 31, 23, 59, 59), 0xF021, 0x0000},  // ... into the next year
      {LocalTime(1980, 1, 1, 0, 0, 0), 0x0021, 0x0000},
      {LocalTime(1979, 12, 31, 23, 59, 58), 0x0021, 0x0000},  // clamped to the first moment
      {LocalTime(2107, 12, 31, 23, 59, 58), 0xFF9F, 0xBF7D},
      {LocalTime(2107, 12, 31, 23, 59, 59), 0xFF9F, 0xBF7D},  // rounds past 2107: clamped
  };
  for (const Case& c : cases) {
    DosDateTime dos = sfxpack::ToDosDateTime(c.when);
    EXPECT_EQ(dos.date, c.date) << std::ctime(&c.when);
    EXPECT_EQ(dos.time, c.time) << std::ctime(&c.when);
  }
}

TEST(DosTime, FormatsFieldsAsTheyAre) {
  EXPECT_EQ(sfxpack::FormatDosDateTime(0x58B1, 0x6DAF), "2024-05-17 13:45:30");
  EXPECT_EQ(sfxpack::FormatDosDateTime(0x0000, 0xFFFF), "1980-00-00 31:63:62");
}

TEST(EntryNames, RefusesNamesARecordCannotCarry) {
  struct Case {
    std::string name;
    bool accepted;
  } cases[] = {
      {"", false},
      {std::string("a\0b", 3), false},
      {std::string(65535, 'n'), true},
      {std::string(65536, 'n'), false},
      {"dir/file.txt", true},
  };
  for (const Case& c : cases) {
    if (c.accepted)
      EXPECT_NO_THROW(sfxpack::CheckEntryName(c.name, "origin")) << c.name.size();
    else
      EXPECT_THROW(sfxpack::CheckEntryName(c.name, "origin"), sfxpack::PackError) << c.name.size();
  }
}

class PackWriterTest : public PlatformTest {
 protected:
  std::string Stub(const Bytes& bytes = FakeStub(100)) {
    std::string path = dir / "stub";
    WriteFile(path, bytes);
    return path;
  }
  std::vector<std::string> Names(const std::vector<sfxpack::InputFile>& files) {
    std::vector<std::string> names;
    for (const auto& f : files) names.push_back(f.name);
    return names;
  }
  std::vector<sfxpack::InputFile> Collect(const std::vector<std::string>& inputs) {
    std::vector<sfxpack::Finding> skipped;
    return sfxpack::CollectInputs(inputs, "", skipped);
  }
  TempDir dir;
  TempDir scratch;
};

TEST_F(PackWriterTest, FirstRecordCompletesTheMarkerAndLaterOnesAreOrdinary) {
  sfxpack::PackEntry first;
  first.name = "setup.exe";
  first.data = ToBytes("MZ program");
  first.uncompressedSize = 10;
  first.crc32 = Crc32(first.data);
  sfxpack::PackEntry second = first;
  second.name = "data/readme.txt";
  second.versionNeeded = 10;
  {
    sfxpack::PackageWriter writer(Stub(), dir / "out");
    writer.Add(first, "a");
    writer.Add(second, "b");
    writer.Commit();
  }
  Bytes package = ReadFile(dir / "out");
  ASSERT_EQ(package.size(), 100u + 2 * 30 + 9 + 15 + 2 * 10);
  EXPECT_EQ(Bytes(package.begin(), package.begin() + 100), FakeStub(100));
  EXPECT_EQ(Bytes(package.begin() + 100, package.begin() + 106),
            (Bytes{0xA6, 0x95, 0x9C, 0x2B, 0x0F, 0xF0}));
  Bytes archive = Scramble(Bytes(package.begin() + 100, package.end()));
  size_t second_at = 30 + 9 + 10;
  EXPECT_EQ(Bytes(archive.begin() + second_at, archive.begin() + second_at + 6),
            (Bytes{0x50, 0x4B, 0x03, 0x04, 10, 0}));
  EXPECT_EQ(ReadLe16(&archive[28]), 0);              // ExtraLength
  EXPECT_EQ(ReadLe16(&archive[second_at + 28]), 0);
  EXPECT_EQ(FindArchiveStart((dir / "out").c_str()), 100);
}

TEST_F(PackWriterTest, FilesAreDeflatedOnlyWhenThatShrinksThem) {
  std::string tree = dir / "tree";
  std::filesystem::create_directories(tree + "/sub");
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i % 37) + " of the readme\n";
  WriteText(tree + "/readme.txt", text);
  WriteFile(tree + "/sub/noise.bin", Noise(70000, 7));
  WriteText(tree + "/sub/empty", "");
  WriteText(tree + "/x", "x");

  struct Case {
    int level;
    uint16_t readmeMethod;
  } cases[] = {{sfxpack::kStoreLevel, 0}, {1, 8}, {sfxpack::kDefaultLevel, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    sfxpack::CreateOptions options;
    options.stub = Stub();
    options.force = true;
    options.output = dir / "out";
    options.level = c.level;
    options.inputs = {tree + "/."};
    sfxpack::CreateSummary summary = sfxpack::CreatePackage(options);
    EXPECT_EQ(summary.records, 4);
    EXPECT_EQ(summary.archiveOffset, 100);
    std::vector<ReadBackEntry> back = ReadPackageBack(options.output, scratch.path());
    ASSERT_EQ(back.size(), 4u);
    const char* names[] = {"readme.txt", "sub/empty", "sub/noise.bin", "x"};
    const std::string contents[] = {text, "", ToString(Noise(70000, 7)), "x"};
    const uint16_t methods[] = {c.readmeMethod, 0, 0, 0};
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(back[i].name, names[i]);
      EXPECT_EQ(back[i].header.Method(), methods[i]) << names[i];
      EXPECT_EQ(ToString(back[i].content), contents[i]) << names[i];
      EXPECT_EQ(back[i].header.Crc32(), Crc32(contents[i])) << names[i];
    }
    if (c.readmeMethod == 8) EXPECT_LT(back[0].header.CompressedSize(), static_cast<int32_t>(text.size()) / 10);
  }
}

TEST_F(PackWriterTest, InputsAreNamedAfterTheirOwnLastComponent) {
  std::string root = dir / "root";
  std::filesystem::create_directories(root + "/data/B");
  std::filesystem::create_directories(root + "/data/empty");
  WriteText(root + "/data/a.txt", "a");
  WriteText(root + "/data/B/c.txt", "c");
  WriteText(root + "/setup.exe", "MZ");
  struct Case {
    std::vector<std::string> inputs;
    std::vector<std::string> names;
  } cases[] = {
      {{root + "/data"}, {"data/B/c.txt", "data/a.txt"}},
      {{root + "/data/"}, {"data/B/c.txt", "data/a.txt"}},
      {{root + "/data/."}, {"B/c.txt", "a.txt"}},
      {{root + "/data/B/.."}, {"B/c.txt", "a.txt"}},
      {{root + "/setup.exe", root + "/data/B"}, {"setup.exe", "B/c.txt"}},
      {{root}, {"root/data/B/c.txt", "root/data/a.txt", "root/setup.exe"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Names(Collect(c.inputs)), c.names) << c.inputs[0];
}

TEST_F(PackWriterTest, RefusesInputsThatAreNotPlainFilesOrDirectories) {
  std::string root = dir / "root";
  std::filesystem::create_directories(root + "/real");
  std::filesystem::create_directory_symlink(root + "/real", root + "/linked");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  for (const std::string& input : {root, dir / "fifo", dir / "missing", std::string()})
    EXPECT_THROW(Collect({input}), sfxpack::PackError) << input;
  // A link given on the command line is followed.
  WriteText(root + "/real/f", "f");
  EXPECT_EQ(Names(Collect({root + "/linked"})), std::vector<std::string>{"linked/f"});
}

TEST_F(PackWriterTest, RefusesFilesOfTwoGibibytes) {
  std::string big = dir / "big";
  WriteText(big, "");
  ASSERT_EQ(::truncate(big.c_str(), 0x80000000LL), 0);  // sparse: takes no disk space
  EXPECT_THROW(sfxpack::MakeFileEntry({big, "big"}, 0), sfxpack::PackError);
}

}  // namespace
}  // namespace sfxtest

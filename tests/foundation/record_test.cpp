// The read layer and record headers: unscrambling, accepted signatures, how the record
// sequence ends.
#include <gtest/gtest.h>

#include "archive/record.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using sfxtest::Bytes;
using sfxtest::Record;

class RecordTest : public sfxtest::PlatformTest {
 protected:
  // Writes the scrambled archive (no stub) and opens it as the package.
  std::string WriteArchive(const Bytes& plain) {
    std::string path = dir_ / "archive";
    sfxtest::WriteFile(path, sfxtest::Scramble(plain));
    return path;
  }
  sfxtest::TempDir dir_;
};

TEST_F(RecordTest, ReadArchiveUnscramblesExactlyTheBytesDelivered) {
  std::string path = dir_ / "raw";
  sfxtest::WriteFile(path, Bytes{0xF0, 0xB0, 0x00, 0xFF});
  sfxtest::OpenedArchive open(path);
  uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  uint32_t got = 99;
  ReadArchive(ArchiveHandle, buffer, 0, &got);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(buffer[0], 1);
  ReadArchive(ArchiveHandle, buffer, 8, &got);  // asks for more than the file holds
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(Bytes(buffer, buffer + 8), (Bytes{0x00, 0x40, 0xF0, 0x0F, 5, 6, 7, 8}));
  ReadArchive(ArchiveHandle, buffer, 8, &got);  // at the end: nothing changes
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(buffer[0], 0x00);
}

TEST_F(RecordTest, HeaderAcceptanceBySignatureAndLength) {
  struct Case { const char* what; Bytes archive; bool accepted; };
  Record alt = sfxtest::StoredRecord("a.txt", "hello");
  Record pk = alt;
  pk.signature = 0x04034B50u;
  Record central = alt;
  central.signature = 0x02014B50u;  // a central directory header ends the sequence
  Bytes whole = sfxtest::BuildArchive({alt});
  const Case cases[] = {
      {"alternate signature", whole, true},
      {"local file signature", sfxtest::BuildArchive({pk}), true},
      {"central directory header", sfxtest::BuildArchive({central}), false},
      {"header cut after 29 bytes", Bytes(whole.begin(), whole.begin() + 29), false},
      {"header cut after the signature", Bytes(whole.begin(), whole.begin() + 4), false},
      {"empty archive", Bytes{}, false},
  };
  for (const Case& c : cases) {
    sfxtest::OpenedArchive open(WriteArchive(c.archive));
    CurrentEntry.RemainingCount = 12345;
    EXPECT_EQ(ReadRecordHeader(), c.accepted) << c.what;
    EXPECT_EQ(CurrentEntry.RemainingCount, c.accepted ? 5 : 0) << c.what;
  }
}

TEST_F(RecordTest, FieldsAreDecodedByName) {
  Record r = sfxtest::StoredRecord("dir/name.bin", "0123456789");
  r.flags = 0x0809;
  r.method = 8;
  r.modTime = 0xBEEF;
  r.modDate = 0x5A21;
  r.crc32 = 0xA1B2C3D4u;
  r.compressedSize = 0x80000001u;  // 2 GiB and more reads as negative
  r.uncompressedSize = 77;
  r.extraLength = 9;
  sfxtest::OpenedArchive open(WriteArchive(sfxtest::BuildArchive({r})));
  ASSERT_TRUE(ReadRecordHeader());
  const LocalRecordHeader& h = CurrentEntry.header;
  EXPECT_EQ(h.Flags(), 0x0809);
  EXPECT_EQ(h.Method(), 8);
  EXPECT_EQ(h.ModTime(), 0xBEEF);
  EXPECT_EQ(h.ModDate(), 0x5A21);
  EXPECT_EQ(h.Crc32(), 0xA1B2C3D4u);
  EXPECT_EQ(h.CompressedSize(), INT32_MIN + 1);
  EXPECT_EQ(CurrentEntry.RemainingCount, INT32_MIN + 1);
  EXPECT_EQ(h.UncompressedSize(), 77u);
  EXPECT_EQ(h.NameLength(), 12);
  EXPECT_EQ(h.ExtraLength(), 9);
}

TEST_F(RecordTest, WalkingRecordsBySeekFindsEveryOneAndEndsCleanly) {
  Record empty = sfxtest::StoredRecord("empty", "");
  Bytes archive = sfxtest::BuildArchive(
      {sfxtest::StoredRecord("one", "1111"), empty, sfxtest::StoredRecord("three", "333")});
  sfxtest::OpenedArchive open(WriteArchive(archive));
  std::vector<int32_t> starts;
  SeekArchive(0, plat::kFromBeginning);
  while (ReadRecordHeader()) {
    starts.push_back(SeekResult);
    const LocalRecordHeader& h = CurrentEntry.header;
    SeekArchive(SeekResult + kRecordHeaderSize + h.NameLength() + h.CompressedSize(), plat::kFromBeginning);
  }
  EXPECT_EQ(starts, (std::vector<int32_t>{0, 30 + 3 + 4, 30 + 3 + 4 + 30 + 5}));
  EXPECT_EQ(CurrentEntry.RemainingCount, 0);
}

TEST_F(RecordTest, AFailedSeekLeavesMinusOne) {
  sfxtest::OpenedArchive open(WriteArchive(Bytes(100, 0)));
  plat::testing::FaultPlan plan;
  plan.seekFailsAtCall = 2;
  Install(plan);
  SeekArchive(10, plat::kFromBeginning);
  EXPECT_EQ(SeekResult, 10);
  SeekArchive(20, plat::kFromBeginning);
  EXPECT_EQ(SeekResult, -1);
}

}  // namespace

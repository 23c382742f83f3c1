// The read layer and record headers: unscrambling, accepted signatures, how the record
// sequence ends. (A failed seek, a size of 2 GiB and an archive without records are in the
// extraction's tests; a central directory signature and a header cut short in verify's.)
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
  struct Case { const char* what; Bytes archive; bool accepted; int32_t remaining; };
  Record alt = sfxtest::StoredRecord("a.txt", "hello");
  Record pk = alt;
  pk.signature = kLocalSignature;
  Bytes whole = sfxtest::BuildArchive({alt});
  const Case cases[] = {
      {"alternate signature", whole, true, 5},
      {"local file signature", sfxtest::BuildArchive({pk}), true, 5},
      {"header cut after the signature", Bytes(whole.begin(), whole.begin() + 4), false, 0},
  };
  for (const Case& c : cases) {
    sfxtest::OpenedArchive open(WriteArchive(c.archive));
    CurrentEntry.RemainingCount = 12345;
    EXPECT_EQ(ReadRecordHeader(), c.accepted) << c.what;
    EXPECT_EQ(CurrentEntry.RemainingCount, c.remaining) << c.what;
  }
}

}  // namespace

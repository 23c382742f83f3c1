// The stored-entry copy: chunking, CRC, encrypted data, and every failure of the layer.
#include <gtest/gtest.h>

#include <random>

#include "archive/record.h"
#include "integrity/cipher.h"
#include "integrity/stored_copy.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using sfxtest::Bytes;

Bytes RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

class StoredCopyTest : public sfxtest::PlatformTest {
 protected:
  // Copies `archiveBytes` (plain) as an entry whose RemainingCount is `count`.
  Bytes Copy(const Bytes& plain, int32_t count, uint16_t flags = 0) {
    std::string in = dir_ / "archive", out = dir_ / "out";
    sfxtest::WriteFile(in, sfxtest::Scramble(plain));
    sfxtest::OpenedArchive open(in);
    CurrentEntry.header = {};
    CurrentEntry.header.raw[6] = static_cast<uint8_t>(flags);
    CurrentEntry.RemainingCount = count;
    CurrentEntry.RunningCrc = 0xFFFFFFFFu;
    CurrentEntry.OutputHandle = plat::CreateOutputFile(out.c_str());
    result_ = CopyStoredEntry();
    EXPECT_TRUE(plat::CloseFileHandle(CurrentEntry.OutputHandle));
    return sfxtest::ReadFile(out);
  }
  std::vector<uint32_t> ReadSizes() const {
    std::vector<uint32_t> v;
    for (auto& r : trace().reads) v.push_back(r.asked);
    return v;
  }
  std::vector<uint32_t> WriteSizes() const {
    std::vector<uint32_t> v;
    for (auto& w : trace().writes) v.push_back(w.asked);
    return v;
  }
  CopyResult result_ = CopyResult::kDone;
  sfxtest::TempDir dir_;
};

TEST_F(StoredCopyTest, ChunksOfAtMost32768AndTheCrcOfTheWrittenBytes) {
  struct Case { int32_t size; std::vector<uint32_t> chunks; int64_t peak; };
  const Case cases[] = {
      {0, {}, 2},
      {100, {100}, 102},
      {32768, {32768}, 32770},
      {32769, {32768, 1}, 32770},
      {70000, {32768, 32768, 4464}, 32770},
  };
  for (const Case& c : cases) {
    Bytes data = RandomBytes(static_cast<size_t>(c.size), static_cast<unsigned>(c.size));
    Install({});
    int64_t base = trace().liveBytes;
    Bytes out = Copy(data, c.size);
    EXPECT_EQ(out, data) << c.size;
    EXPECT_EQ(ReadSizes(), c.chunks) << c.size;
    EXPECT_EQ(WriteSizes(), c.chunks) << c.size;
    EXPECT_EQ(~CurrentEntry.RunningCrc, sfxtest::Crc32(data)) << c.size;
    EXPECT_EQ(CurrentEntry.RemainingCount, 0);
    EXPECT_EQ(trace().peakBytes - base, c.peak) << "buffer size for " << c.size;
  }
}

TEST_F(StoredCopyTest, AnArchiveCutShortKeepsWhatWasThere) {
  Bytes data = RandomBytes(1000, 7);
  Bytes out = Copy(data, 5000);
  EXPECT_EQ(out, data);
  EXPECT_EQ(CurrentEntry.RemainingCount, 0);
}

TEST_F(StoredCopyTest, ShortReadsAreContinued) {
  plat::testing::FaultPlan plan;
  plan.readChunkLimit = 1000;
  Install(plan);
  Bytes data = RandomBytes(40000, 8);
  EXPECT_EQ(Copy(data, 40000), data);
  EXPECT_EQ(trace().reads.size(), 40u);
}

TEST_F(StoredCopyTest, AFailedReadEndsTheCopy) {
  plat::testing::FaultPlan plan;
  plan.readFailsAtOffset = 40000;
  Install(plan);
  Bytes data = RandomBytes(70000, 9);
  Bytes out = Copy(data, 70000);
  EXPECT_EQ(out, Bytes(data.begin(), data.begin() + 40000));
  EXPECT_EQ(CurrentEntry.RemainingCount, 0);
}

TEST_F(StoredCopyTest, AFailedWriteStillReadsToTheEndAndTheCrcCoversWhatWasWritten) {
  plat::testing::FaultPlan plan;
  plan.writeFailsAfterBytes = 40000;
  Install(plan);
  Bytes data = RandomBytes(100000, 10);
  Bytes out = Copy(data, 100000);
  EXPECT_EQ(out, Bytes(data.begin(), data.begin() + 40000));
  EXPECT_EQ(ReadSizes(), (std::vector<uint32_t>{32768, 32768, 32768, 1696}));
  EXPECT_EQ(~CurrentEntry.RunningCrc, sfxtest::Crc32(out));
}

TEST_F(StoredCopyTest, NegativeCountCopiesNothing) {
  Bytes out = Copy(RandomBytes(100, 11), INT32_MIN);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(trace().reads.empty());
  EXPECT_EQ(CurrentEntry.RemainingCount, INT32_MIN);
  EXPECT_EQ(CurrentEntry.RunningCrc, 0xFFFFFFFFu);
}

TEST_F(StoredCopyTest, NoMemoryForTheBufferReadsAndWritesNothing) {
  plat::testing::FaultPlan plan;
  plan.allocationFailsAtCall = 1;
  Install(plan);
  Bytes out = Copy(RandomBytes(100, 12), 100);
  EXPECT_EQ(result_, CopyResult::kNoMemory);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(trace().reads.empty());
}

TEST_F(StoredCopyTest, EncryptedDataIsDecryptedAcrossChunksWithTheKeysCarriedOver) {
  plat::ScopedByteString password;
  ASSERT_TRUE(password.AppendText("key"));
  Bytes plain = RandomBytes(50000, 13), cipher(plain.size());
  InitCipherKeys(password);
  for (size_t i = 0; i < plain.size(); ++i) {
    cipher[i] = plain[i] ^ DecryptByte();
    UpdateCipherKeys(plain[i]);
  }
  CipherKeyState end = CipherKeys;
  InitCipherKeys(password);
  EXPECT_EQ(Copy(cipher, 50000, kFlagEncrypted), plain);
  EXPECT_EQ(CipherKeys.Key2, end.Key2);
}

}  // namespace

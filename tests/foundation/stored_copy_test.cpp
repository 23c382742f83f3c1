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

// What the archive and the output file deliver decides what the copy reads and writes:
// it reads to the entry's end (or the archive's), and its CRC covers what was written;
// a write the disk does not take whole ends it with a result of its own.
TEST_F(StoredCopyTest, ShortAndFailedReadsAndWrites) {
  struct Case {
    const char* what;
    size_t archiveBytes;
    int32_t count;
    plat::testing::FaultPlan plan;
    size_t written;                // bytes that reach the output, from the start
    std::vector<uint32_t> reads;   // sizes the reads delivered; empty: not checked
    CopyResult result = CopyResult::kDone;
    int32_t remaining = 0;
  };
  auto plan = [](auto set) { plat::testing::FaultPlan p; set(p); return p; };
  const Case cases[] = {
      {"archive cut short", 1000, 5000, {}, 1000, {}, CopyResult::kCutShort},
      {"short reads are continued", 40000, 40000, plan([](auto& p) { p.readChunkLimit = 1000; }), 40000,
       std::vector<uint32_t>(40, 1000)},
      {"a failed read ends the copy", 70000, 70000, plan([](auto& p) { p.readFailsAtOffset = 40000; }), 40000, {},
       CopyResult::kCutShort},
      {"a short write ends the copy", 100000, 100000, plan([](auto& p) { p.writeFailsAfterBytes = 40000; }), 40000,
       {32768, 32768}, CopyResult::kWriteFailed, 100000 - 65536},
      {"a failed first write", 100, 100, plan([](auto& p) { p.writeFailsAfterBytes = 0; }), 0, {100},
       CopyResult::kWriteFailed, 0},
  };
  for (const Case& c : cases) {
    Install(c.plan);
    Bytes data = RandomBytes(c.archiveBytes, static_cast<unsigned>(c.archiveBytes));
    Bytes out = Copy(data, c.count);
    EXPECT_EQ(result_, c.result) << c.what;
    EXPECT_EQ(out, Bytes(data.begin(), data.begin() + c.written)) << c.what;
    EXPECT_EQ(CurrentEntry.RemainingCount, c.remaining) << c.what;
    if (c.result != CopyResult::kWriteFailed) EXPECT_EQ(~CurrentEntry.RunningCrc, sfxtest::Crc32(out)) << c.what;
    std::vector<uint32_t> delivered;
    for (auto& r : trace().reads) delivered.push_back(r.got);
    if (!c.reads.empty()) EXPECT_EQ(delivered, c.reads) << c.what;
  }
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

// What the decoder asks of the outside: read sizes and limits, write sizes, decryption
// at refill time, running CRC, heap use, and allocation failure at every allocation.
#include <gtest/gtest.h>

#include "integrity/cipher.h"
#include "platform/byte_string.h"
#include "tests/inflate/test_util.h"

namespace inflatetest {
namespace {

using W = DeflateWriter;

// Stored blocks carrying `content`, split in blocks of at most 65,535 bytes.
Bytes StoredStream(const Bytes& content) {
  W w;
  size_t at = 0;
  do {
    size_t n = std::min<size_t>(65535, content.size() - at);
    w.Stored(at + n == content.size(), Bytes(content.begin() + static_cast<long>(at),
                                             content.begin() + static_cast<long>(at + n)));
    at += n;
  } while (at < content.size());
  return w.Finish();
}

// A fixed block of `n` bytes: literals and short matches of a pattern.
Bytes FixedStream(size_t n, Bytes& expected) {
  W w;
  w.BlockHeader(true, 1).UseFixedCodes();
  expected.clear();
  uint32_t x = 99;
  while (expected.size() < n) {
    x = x * 1103515245u + 12345u;
    if (expected.size() > 10 && (x & 1)) {
      int length = std::min<int>(3 + static_cast<int>((x >> 4) % 20), static_cast<int>(n - expected.size()));
      int distance = 1 + static_cast<int>((x >> 12) % std::min<size_t>(expected.size(), 32768));
      if (length >= 3) {
        w.Match(length, distance);
        AppendMatch(expected, length, distance);
        continue;
      }
    }
    uint8_t c = static_cast<uint8_t>(x >> 24);
    w.Literal(c);
    expected.push_back(c);
  }
  return w.EndOfBlock().Finish();
}

class DecoderIo : public InflateTest {};

TEST_F(DecoderIo, ReadsChunksOfAtMost32768NeverPastTheEntry) {
  // Stored blocks of exactly 70,000 compressed bytes (two headers of 5 bytes), and a
  // fixed-code stream whose fast loop reads ahead; each followed in the file by bytes of
  // the next record (zero bits would decode as more symbols) that must not be read.
  Bytes stored = Pattern(70000 - 10);
  Bytes fixed;
  const std::pair<Bytes, Bytes> streams[] = {{StoredStream(stored), stored}, {FixedStream(300000, fixed), fixed}};
  for (const auto& [stream, expected] : streams) {
    Install({});
    DecodeOptions options;
    options.trailer = Bytes(5000, 0x00);
    DecodeOutcome got = Decode(stream, options);
    EXPECT_EQ(got.result, InflateResult::kOk);
    EXPECT_EQ(got.output, expected);
    const auto& reads = trace().reads;
    uint64_t asked = 0;
    for (size_t i = 0; i < reads.size(); ++i) {
      EXPECT_EQ(reads[i].asked, i + 1 < reads.size() ? 32768u : stream.size() % 32768) << i;
      asked += reads[i].asked;
    }
    EXPECT_EQ(asked, stream.size());
    EXPECT_EQ(got.archivePos, stream.size());
  }
}

TEST_F(DecoderIo, ArchiveEndingBeforeTheEntryEnds) {
  // RemainingCount claims 10,000 bytes more than the file holds: the short last read is
  // used, then a read yields nothing and the run ends.
  Bytes content = Pattern(40000);
  Bytes stream = StoredStream(content);
  DecodeOptions options;
  options.remainingCount = static_cast<int32_t>(stream.size()) + 10000;
  Bytes cut(stream.begin(), stream.end() - 100);  // the block's last 100 bytes are missing
  DecodeOutcome got = Decode(cut, options);
  EXPECT_EQ(got.result, InflateResult::kDataError);
  EXPECT_EQ(got.output, Bytes(content.begin(), content.begin() + 32768));
  ASSERT_GE(trace().reads.size(), 3u);
  EXPECT_EQ(trace().reads.back().got, 0u);
  EXPECT_LE(got.remaining, 0);
}

TEST_F(DecoderIo, ShortReadsDecodeTheSame) {
  Bytes expected;
  Bytes stream = FixedStream(100000, expected);
  for (int64_t limit : {1, 7, 100, 4095}) {
    plat::testing::FaultPlan plan;
    plan.readChunkLimit = limit;
    Install(plan);
    DecodeOutcome got = Decode(stream);
    EXPECT_EQ(got.result, InflateResult::kOk) << limit;
    EXPECT_EQ(got.output, expected) << limit;
  }
}

TEST_F(DecoderIo, WritesWholeWindowsThenOneShorterWrite) {
  struct Case {
    size_t size;
    std::vector<uint32_t> writes;
  };
  const Case cases[] = {{0, {}}, {1, {1}}, {32768, {32768}}, {32769, {32768, 1}},
                        {100000, {32768, 32768, 32768, 1696}}};
  for (const Case& c : cases) {
    Install({});
    Bytes content = Pattern(c.size);
    DecodeOutcome got = Decode(c.size == 0 ? W().Stored(true, {}).Finish() : StoredStream(content));
    EXPECT_EQ(got.output, content);
    std::vector<uint32_t> writes;
    for (const auto& w : trace().writes) writes.push_back(w.asked);
    EXPECT_EQ(writes, c.writes) << c.size;
    EXPECT_EQ(got.crc, RunningCrcOf(content));
  }
}

TEST_F(DecoderIo, AFailedWriteIsReportedAfterTheDecoding) {
  // The output device refuses everything after 40,000 bytes: decoding goes on, the CRC
  // still covers every byte of every flush, and the result tells of the failed write.
  Bytes expected;
  Bytes stream = FixedStream(100000, expected);
  plat::testing::FaultPlan plan;
  plan.writeFailsAfterBytes = 40000;
  Install(plan);
  DecodeOutcome got = Decode(stream);
  EXPECT_EQ(got.result, InflateResult::kWriteFailed);
  EXPECT_EQ(got.output, Bytes(expected.begin(), expected.begin() + 40000));
  EXPECT_EQ(got.crc, RunningCrcOf(expected));
}

TEST_F(DecoderIo, EncryptedEntryIsDecryptedAtRefill) {
  // Encrypt a stream with the traditional cipher; the decoder starts from the keys the
  // header check would leave (here: straight from the password) and must end with the
  // keys advanced over every byte it read, consumed or not (the trailer of the last
  // chunk is read along).
  Bytes expected;
  Bytes plain = FixedStream(80000, expected);
  plain.insert(plain.end(), 37, 0x5A);  // read with the last chunk, never decoded
  plat::ScopedByteString password;
  ASSERT_TRUE(password.Assign("secret", 6));
  InitCipherKeys(password);
  CipherKeyState start = CipherKeys;
  Bytes encrypted = plain;
  for (uint8_t& b : encrypted) {
    uint8_t p = b;
    b = p ^ DecryptByte();
    UpdateCipherKeys(p);
  }
  CipherKeyState afterAll = CipherKeys;

  CipherKeys = start;
  DecodeOptions options;
  options.flags = 0x0001;
  DecodeOutcome got = Decode(encrypted, options);
  EXPECT_EQ(got.result, InflateResult::kOk);
  EXPECT_EQ(got.output, expected);
  EXPECT_EQ(CipherKeys.Key0, afterAll.Key0);
  EXPECT_EQ(CipherKeys.Key1, afterAll.Key1);
  EXPECT_EQ(CipherKeys.Key2, afterAll.Key2);
}

TEST_F(DecoderIo, PeakHeapDoesNotGrowWithTheEntry) {
  int64_t peaks[2];
  const size_t sizes[2] = {40000, 1000000};
  for (int i = 0; i < 2; ++i) {
    Bytes expected;
    Bytes stream = FixedStream(sizes[i], expected);
    Install({});
    int64_t before = trace().liveBytes;  // the CRC table
    DecodeOutcome got = Decode(stream);
    ASSERT_EQ(got.result, InflateResult::kOk);
    peaks[i] = trace().peakBytes - before;
  }
  EXPECT_EQ(peaks[0], peaks[1]);
  EXPECT_LT(peaks[1], 2 * 32770 + 16 * 1024);  // two buffers and the fixed tables
}

TEST_F(DecoderIo, AllocationFailureAtEveryIndexLeaksNothing) {
  // Stored 40,000 bytes, a fixed block, then a dynamic block.
  Bytes expected = Pattern(40000);
  W w;
  w.Stored(false, expected);
  w.BlockHeader(false, 1).UseFixedCodes().Literal('f').Match(100, 30000).EndOfBlock();
  expected.push_back('f');
  AppendMatch(expected, 100, 30000);
  // The 12-bit codes of 276 and 277 sit in sub-tables below the 9-bit root.
  w.BlockHeader(true, 2).DynamicHeaderFor(LongCodesLiteralLengths(), FixedDistanceLengths());
  for (int c : {int{'d'}, int{'y'}, 200}) {
    w.Literal(c);
    expected.push_back(static_cast<uint8_t>(c));
  }
  w.Match(70, 3);  // symbol 276, a 12-bit code
  AppendMatch(expected, 70, 3);
  Bytes stream = w.EndOfBlock().Finish();

  DecodeOutcome whole = Decode(stream);
  ASSERT_EQ(whole.result, InflateResult::kOk) << "the stream itself must decode";
  ASSERT_EQ(whole.output, expected);
  int64_t allocations = trace().allocations;
  ASSERT_GT(allocations, 110);
  for (int failAt = 1; failAt <= allocations; ++failAt) {
    plat::testing::FaultPlan plan;
    plan.allocationFailsAtCall = failAt;
    Install(plan);
    int64_t live = trace().liveAllocations;
    DecodeOutcome got = Decode(stream);
    EXPECT_EQ(got.result, InflateResult::kNoMemory) << failAt;
    EXPECT_EQ(trace().liveAllocations, live) << failAt;
    EXPECT_EQ(got.output.size() % 32768, 0u) << failAt;
  }
}

}  // namespace
}  // namespace inflatetest

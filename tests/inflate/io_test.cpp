// What the decoder asks of the outside: read sizes and limits, write sizes, running CRC,
// heap use, and allocation failure at every allocation.
#include <zlib.h>

#include <gtest/gtest.h>

#include "tests/inflate/short_write.h"
#include "tests/inflate/test_util.h"

namespace inflatetest {
namespace {

// The stream of `content`: stored blocks (zlib's level 0), or fixed-code blocks of
// literals and matches (level 1, fixed codes), which the fast loop reads ahead.
Bytes StreamOf(const Bytes& content, bool fixed) {
  return fixed ? ZlibCompress(content, 1, Z_FIXED) : ZlibCompress(content, 0, Z_DEFAULT_STRATEGY);
}

// One entry through the decoder. Reads: each asks for 32,768 bytes but the last, which
// asks for exactly what is left of the entry, so the archive is left at the entry's end
// although the next record's bytes follow it (zero bits, which would decode as more
// symbols). Writes: whole windows, then one shorter write. The CRC covers every decoded
// byte, written or not: a failed write is reported after the decoding. The heap holds
// the two buffers alone, however long the entry (the code tables are not on the heap).
// (Decryption at refill time: the ZIP writers' round trips read `zip -P` and 7z ZipCrypto
// deflate entries back through the decoder.)
struct IoCase {
  const char* name;
  size_t size;                    // decoded bytes
  bool fixed;                     // fixed-code blocks, else stored blocks
  int64_t readChunkLimit = -1;    // the archive delivers at most this many bytes a read (-1: all)
  int64_t writeFailsAfter = -1;   // the output device refuses everything after this many bytes
  bool writesReportOneFewer = false;  // writes succeed but report a byte fewer than asked
};
void PrintTo(const IoCase& c, std::ostream* os) { *os << c.name; }

const IoCase kIoCases[] = {
    {"Empty", 0, false},
    {"OneByte", 1, false},
    {"OneWindow", 32768, false},
    {"WindowAndOne", 32769, false},
    {"StoredBlocks", 100000, false},
    {"ReadsOfOneByte", 100000, true, 1},
    {"ReadsOf4095", 100000, true, 4095},
    {"WriteFailsAfter40000", 100000, true, -1, 40000},
    {"WritesReportOneFewer", 40000, true, -1, -1, true},
};

class DecoderIoTable : public InflateTest, public ::testing::WithParamInterface<IoCase> {};

TEST_P(DecoderIoTable, ReadsWritesCrcAndHeap) {
  const IoCase& c = GetParam();
  Bytes expected = c.fixed ? TextSample(c.size) : RandomBytes(c.size, 1);
  Bytes stream = StreamOf(expected, c.fixed);
  plat::testing::FaultPlan plan;
  plan.readChunkLimit = c.readChunkLimit;
  plan.writeFailsAfterBytes = c.writeFailsAfter;
  Install(plan);
  int64_t before = trace().liveBytes;  // the CRC table
  DecodeOptions options;
  options.trailer = Bytes(5000, 0x00);
  sfxtest::writesReportOneFewer = c.writesReportOneFewer;
  DecodeOutcome got = Decode(stream, options);
  sfxtest::writesReportOneFewer = false;

  size_t written = c.writeFailsAfter >= 0 ? static_cast<size_t>(c.writeFailsAfter) : c.size;
  bool fails = c.writeFailsAfter >= 0 || c.writesReportOneFewer;
  EXPECT_EQ(got.result, fails ? InflateResult::kWriteFailed : InflateResult::kOk);
  EXPECT_TRUE(got.output == Bytes(expected.begin(), expected.begin() + static_cast<long>(written)));
  EXPECT_EQ(got.crc, RunningCrcOf(expected));
  EXPECT_EQ(got.archivePos, stream.size());
  EXPECT_EQ(trace().peakBytes - before, 32770 + 32784);
  std::vector<uint32_t> writes, expectedWrites;
  for (const auto& w : trace().writes) writes.push_back(w.asked);
  for (size_t left = c.size; left > 0; left -= expectedWrites.back())
    expectedWrites.push_back(static_cast<uint32_t>(std::min<size_t>(left, 32768)));
  EXPECT_EQ(writes, expectedWrites);
  if (c.readChunkLimit >= 0) return;
  const auto& reads = trace().reads;
  for (size_t i = 0; i < reads.size(); ++i)
    EXPECT_EQ(reads[i].asked, i + 1 < reads.size() ? 32768u : stream.size() % 32768) << i;
}

INSTANTIATE_TEST_SUITE_P(Entries, DecoderIoTable, ::testing::ValuesIn(kIoCases),
                         ::testing::PrintToStringParamName());

class DecoderIo : public InflateTest {};

TEST_F(DecoderIo, AllocationFailureAtEveryIndexLeaksNothing) {
  Bytes expected = TextSample(100000);
  Bytes stream = ZlibCompress(expected, 9, Z_DEFAULT_STRATEGY);
  DecodeOutcome whole = Decode(stream);
  ASSERT_EQ(whole.result, InflateResult::kOk) << "the stream itself must decode";
  ASSERT_EQ(whole.output, expected);
  int64_t allocations = trace().allocations;
  ASSERT_GE(allocations, 2);
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

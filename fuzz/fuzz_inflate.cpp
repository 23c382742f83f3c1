// Fuzz target: arbitrary bytes as a deflate entry's compressed data, decoded by Inflate
// through the stand-in layer exactly as the extraction loop runs it, with the layer's
// files in memory.
//
// Besides the sanitizers' checks, every run must keep the decoder's outward promises:
// reads of at most 32,768 bytes and none past the entry; writes of 32,768 bytes but for
// a last shorter one; after an error only whole windows; a RunningCrc over exactly the
// written bytes; no more output than the input can encode; every heap block released.
// And whenever zlib's raw inflate decodes the bytes to a proper end, the decoder must
// succeed with the same output. Any broken promise aborts, which the fuzzer reports.
#include <stddef.h>
#include <stdint.h>
#include <zlib.h>

#include "fuzz/require.h"
#include "integrity/crc32.h"
#include "platform/testing.h"
#include "tests/inflate/corpus.h"
#include "tests/inflate/inflate_driver.h"

namespace {

using inflatetest::Bytes;

constexpr char kFolder[] = "/inflate";

// Largest output per input byte: two one-bit codes make a 258-byte match.
constexpr size_t kMaxExpansion = 258 * 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!CrcTable) {
    Require(AllocateCrcTable(), "CRC table");
    plat::testing::UseMemoryFiles();
    Require(plat::testing::PutMemoryDirectory(kFolder), "a folder in memory");
  }
  plat::testing::Install({});
  int64_t live = plat::testing::Recorded().liveAllocations;

  Bytes input(data, data + size);
  inflatetest::DecodeOutcome got = inflatetest::DecodeEntry(kFolder, input);
  const plat::testing::Trace& trace = plat::testing::Recorded();

  Require(trace.liveAllocations == live, "every heap block released");
  uint64_t asked = 0;
  for (const auto& r : trace.reads) {
    Require(r.asked <= 32768, "reads of at most 32,768 bytes");
    asked += r.asked;
  }
  Require(asked <= size, "no read past the entry");
  uint64_t written = 0;
  for (size_t i = 0; i < trace.writes.size(); ++i) {
    Require(trace.writes[i].asked > 0 && trace.writes[i].asked <= 32768, "writes of 1 to 32,768 bytes");
    Require(trace.writes[i].asked == 32768 || i + 1 == trace.writes.size(), "only the last write is short");
    written += trace.writes[i].asked;
  }
  Require(written == got.output.size(), "the output is what was written");
  Require(got.result == InflateResult::kOk || written % 32768 == 0, "only whole windows after an error");
  // RunningCrc is the register before its final complement; zlib's crc32 complements.
  Require(got.crc == ~static_cast<uint32_t>(crc32_z(0, got.output.data(), got.output.size())),
          "RunningCrc covers the written bytes");
  Require(got.output.size() <= kMaxExpansion * (size + 1), "output bounded by the input");

  Bytes reference;
  if (inflatetest::ZlibInflate(input, reference, 1u << 26)) {
    Require(got.result == InflateResult::kOk, "streams zlib decodes are decoded");
    Require(got.output == reference, "the same bytes as zlib");
  }
  plat::testing::Reset();
  return 0;
}

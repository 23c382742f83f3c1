// The stored-entry copy: chunking, CRC, and every failure of the layer.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/record.h"
#include "integrity/stored_copy.h"
#include "tests/inflate/corpus.h"
#include "tests/inflate/short_write.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using sfxtest::Bytes;
using inflatetest::RandomBytes;

class StoredCopyTest : public sfxtest::PlatformTest {
 protected:
  // Copies `archiveBytes` (plain) as an entry whose RemainingCount is `count`.
  Bytes Copy(const Bytes& plain, int32_t count) {
    std::string in = dir_ / "archive", out = dir_ / "out";
    sfxtest::WriteFile(in, sfxtest::Scramble(plain));
    sfxtest::OpenedArchive open(in);
    CurrentEntry.header = {};  // flags 0: not encrypted
    CurrentEntry.RemainingCount = count;
    CurrentEntry.RunningCrc = 0xFFFFFFFFu;
    CurrentEntry.OutputHandle = plat::CreateOutputFile(out.c_str());
    result_ = CopyStoredEntry();
    EXPECT_TRUE(plat::CloseFileHandle(CurrentEntry.OutputHandle));
    return sfxtest::ReadFile(out);
  }
  CopyResult result_ = CopyResult::kDone;
  sfxtest::TempDir dir_;
};

// What the archive and the output file deliver decides what the copy reads and writes.
// It reads chunks of at most 32,768 bytes to the entry's end (or the archive's) and
// writes each chunk as it came, in one write; its CRC covers what was written. A write
// the disk does not take whole ends it with a result of its own. Its buffer is as large
// as the entry needs, up to 32,768 bytes (and 2 more).
TEST_F(StoredCopyTest, ReadsWritesCrcAndBuffer) {
  struct Case {
    const char* what;
    size_t archiveBytes;
    int32_t count;
    plat::testing::FaultPlan plan;
    size_t written;                // bytes that reach the output, from the start
    std::vector<uint32_t> reads;   // sizes the reads delivered
    CopyResult result = CopyResult::kDone;
    int32_t remaining = 0;
    int64_t buffer = 32770;        // the heap's peak
    bool writesReportOneFewer = false;  // the write succeeds but reports a byte fewer
  };
  auto plan = [](auto set) { plat::testing::FaultPlan p; set(p); return p; };
  const Case cases[] = {
      {"one chunk", 32768, 32768, {}, 32768, {32768}},
      {"one chunk and a byte", 32769, 32769, {}, 32769, {32768, 1}},
      {"three chunks", 70000, 70000, {}, 70000, {32768, 32768, 4464}},
      {"short reads are continued", 40000, 40000, plan([](auto& p) { p.readChunkLimit = 1000; }), 40000,
       std::vector<uint32_t>(40, 1000)},
      {"a failed read ends the copy", 70000, 70000, plan([](auto& p) { p.readFailsAtOffset = 40000; }), 40000,
       {32768, 7232, 0}, CopyResult::kCutShort},
      {"a short write ends the copy", 100000, 100000, plan([](auto& p) { p.writeFailsAfterBytes = 40000; }), 40000,
       {32768, 32768}, CopyResult::kWriteFailed, 100000 - 65536},
      {"a write reports a byte fewer", 100, 100, {}, 100, {100}, CopyResult::kWriteFailed, 0, 102, true},
      {"no memory for the buffer", 100, 100, plan([](auto& p) { p.allocationFailsAtCall = 1; }), 0, {},
       CopyResult::kNoMemory, 100, 0},
  };
  for (const Case& c : cases) {
    Install(c.plan);
    int64_t base = trace().liveBytes;
    Bytes data = RandomBytes(c.archiveBytes, static_cast<uint32_t>(c.archiveBytes));
    sfxtest::writesReportOneFewer = c.writesReportOneFewer;
    Bytes out = Copy(data, c.count);
    sfxtest::writesReportOneFewer = false;
    EXPECT_EQ(result_, c.result) << c.what;
    EXPECT_EQ(out, Bytes(data.begin(), data.begin() + c.written)) << c.what;
    EXPECT_EQ(CurrentEntry.RemainingCount, c.remaining) << c.what;
    if (c.result != CopyResult::kWriteFailed) EXPECT_EQ(~CurrentEntry.RunningCrc, sfxtest::Crc32(out)) << c.what;
    std::vector<uint32_t> delivered, writes;
    for (auto& r : trace().reads) delivered.push_back(r.got);
    EXPECT_EQ(delivered, c.reads) << c.what;
    for (auto& w : trace().writes) writes.push_back(w.asked);
    delivered.erase(std::remove(delivered.begin(), delivered.end(), 0u), delivered.end());
    EXPECT_EQ(writes, delivered) << c.what;
    EXPECT_EQ(trace().peakBytes - base, c.buffer) << c.what;
  }
}

}  // namespace

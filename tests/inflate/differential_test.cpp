// Differential tests: streams from zlib (every level and strategy, several windows and
// memory levels, sync flushes), libdeflate (levels 1-12), Debian's zip and 7z decode to
// the original bytes and to what zlib's inflate gives; and damaged streams decode to
// zlib's bytes whenever zlib accepts them, and end cleanly otherwise.
#include <stdlib.h>
#include <zlib.h>

#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "tests/inflate/corpus.h"
#include "tests/inflate/test_util.h"

namespace inflatetest {
namespace {

struct Sample {
  const char* name;
  Bytes data;
};

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = {
      {"pe", PeSample(600000)},
      {"text", TextSample(400000)},
      {"random", RandomBytes(70000, 5)},
      {"runs", LongRuns(300000, 6)},
      {"empty", {}},
      {"one", {'x'}},
  };
  return samples;
}

class Differential : public InflateTest {
 protected:
  // Our output must be the original, and zlib must agree that it is.
  void ExpectDecodes(const Bytes& stream, const Bytes& original, const std::string& what) {
    Bytes reference;
    ASSERT_TRUE(ZlibInflate(stream, reference)) << what << ": zlib rejects the stream";
    ASSERT_EQ(reference, original) << what;
    DecodeOutcome got = Decode(stream);
    EXPECT_EQ(got.result, InflateResult::kOk) << what;
    EXPECT_TRUE(got.output == original) << what << ": output differs (" << got.output.size() << " of "
                                        << original.size() << " bytes)";
    EXPECT_EQ(got.crc, RunningCrcOf(original)) << what;
  }
};

struct ZlibConfig {
  int level;
  int strategy;
  int windowBits;
  int memLevel;
  size_t syncFlushEvery;
};

std::string Describe(const ZlibConfig& c) {
  static const char* const kStrategies[] = {"default", "filtered", "huffman", "rle", "fixed"};
  return "level" + std::to_string(c.level) + "_" + kStrategies[c.strategy] + "_w" + std::to_string(c.windowBits) +
         "_m" + std::to_string(c.memLevel) + (c.syncFlushEvery ? "_sync" : "");
}

std::vector<ZlibConfig> ZlibConfigs() {
  std::vector<ZlibConfig> configs;
  for (int level = 0; level <= 9; ++level)
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
      if (level > 0 || strategy == Z_DEFAULT_STRATEGY) configs.push_back({level, strategy, 15, 8, 0});
  for (int windowBits : {9, 10, 12}) configs.push_back({6, Z_DEFAULT_STRATEGY, windowBits, 8, 0});
  for (int memLevel : {1, 9}) configs.push_back({9, Z_DEFAULT_STRATEGY, 15, memLevel, 0});
  configs.push_back({6, Z_DEFAULT_STRATEGY, 15, 8, 10000});
  configs.push_back({1, Z_FIXED, 15, 8, 3000});
  return configs;
}

class ZlibStreams : public Differential, public ::testing::WithParamInterface<ZlibConfig> {};

TEST_P(ZlibStreams, DecodeToTheOriginal) {
  const ZlibConfig& c = GetParam();
  for (const Sample& s : Samples()) {
    Bytes stream = ZlibCompress(s.data, c.level, c.strategy, c.windowBits, c.memLevel, c.syncFlushEvery);
    ExpectDecodes(stream, s.data, Describe(c) + " " + s.name);
  }
}

INSTANTIATE_TEST_SUITE_P(Zlib, ZlibStreams, ::testing::ValuesIn(ZlibConfigs()),
                         [](const ::testing::TestParamInfo<ZlibConfig>& info) { return Describe(info.param); });

class LibdeflateStreams : public Differential, public ::testing::WithParamInterface<int> {};

TEST_P(LibdeflateStreams, DecodeToTheOriginal) {
  for (const Sample& s : Samples()) {
    Bytes stream = LibdeflateCompress(s.data, GetParam());
    ExpectDecodes(stream, s.data, "libdeflate level " + std::to_string(GetParam()) + " " + s.name);
  }
}

INSTANTIATE_TEST_SUITE_P(Libdeflate, LibdeflateStreams, ::testing::Range(1, 13));

// Debian's zip (Info-ZIP's deflate) and 7-Zip's own deflate encoder, through real ZIP
// files: every method-8 entry decodes to the file it came from.
struct ArchiverCase {
  const char* name;
  const char* command;  // %s: the archive, then the input files follow
};

const ArchiverCase kArchivers[] = {
    {"zip9", "zip -q -9 -X -j %s"},
    {"zip1", "zip -q -1 -X -j %s"},
    {"sevenzip9", "7z a -bd -bso0 -tzip -mx=9 %s"},
    {"sevenzip5", "7z a -bd -bso0 -tzip -mx=5 %s"},
};

class ArchiverStreams : public Differential, public ::testing::WithParamInterface<ArchiverCase> {};

TEST_P(ArchiverStreams, DecodeToTheOriginal) {
  std::string zipPath = scratch_.path() + "/archive.zip";
  std::string command(512, '\0');
  command.resize(static_cast<size_t>(snprintf(command.data(), command.size(), GetParam().command, zipPath.c_str())));
  std::vector<const Sample*> inputs;
  for (const Sample& s : Samples()) {
    if (s.data.size() < 2) continue;  // stored, not deflated, by both tools
    std::string path = scratch_.path() + "/" + s.name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(s.data.data()),
                                                static_cast<std::streamsize>(s.data.size()));
    command += " " + path;
    inputs.push_back(&s);
  }
  command += " >/dev/null 2>&1";
  ASSERT_EQ(system(command.c_str()), 0) << command;
  std::vector<Bytes> streams = ZipDeflateStreams(zipPath);
  // The random sample may be stored rather than deflated; match the others by content.
  ASSERT_GE(streams.size(), inputs.size() - 1);
  size_t matched = 0;
  for (const Bytes& stream : streams) {
    Bytes reference;
    ASSERT_TRUE(ZlibInflate(stream, reference));
    for (const Sample* s : inputs) {
      if (reference != s->data) continue;
      ExpectDecodes(stream, s->data, std::string(GetParam().name) + " " + s->name);
      ++matched;
    }
  }
  EXPECT_EQ(matched, streams.size());
}

INSTANTIATE_TEST_SUITE_P(Archivers, ArchiverStreams, ::testing::ValuesIn(kArchivers),
                         [](const ::testing::TestParamInfo<ArchiverCase>& info) { return info.param.name; });

// Damaged streams: bit flips, overwritten bytes and cuts in valid streams of each
// kind. When zlib decodes one to its end, ours gives the same bytes; otherwise ours
// only has to end, writing whole windows, with every allocation released (the fixture).
TEST_F(Differential, DamagedStreamsAgreeWithZlibWhereZlibDecodes) {
  Bytes text = TextSample(20000);
  Bytes pe = PeSample(20000);
  const Bytes bases[] = {
      ZlibCompress(text, 6, Z_DEFAULT_STRATEGY), ZlibCompress(pe, 9, Z_FILTERED),
      ZlibCompress(pe, 1, Z_FIXED),             ZlibCompress(text, 0, Z_DEFAULT_STRATEGY),
      LibdeflateCompress(pe, 12),               LibdeflateCompress(text, 1),
  };
  std::mt19937 rng(2024);
  int agreed = 0;
  for (int round = 0; round < 1200; ++round) {
    Bytes stream = bases[round % 6];
    switch (rng() % 3) {
      case 0:
        for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k) stream[rng() % stream.size()] ^= 1u << (rng() % 8);
        break;
      case 1:
        stream[rng() % stream.size()] = static_cast<uint8_t>(rng());
        break;
      default:
        stream.resize(rng() % stream.size());
        break;
    }
    Bytes reference;
    bool zlibDecodes = ZlibInflate(stream, reference, 1u << 22);
    DecodeOutcome got = Decode(stream);
    EXPECT_TRUE(got.output.size() % 32768 == 0 || got.result == InflateResult::kOk) << round;
    if (zlibDecodes) {
      ++agreed;
      EXPECT_EQ(got.result, InflateResult::kOk) << round;
      EXPECT_TRUE(got.output == reference) << round;
    }
  }
  EXPECT_GT(agreed, 50);  // some damage leaves a stream zlib still decodes
}

}  // namespace
}  // namespace inflatetest

// Differential tests: streams from zlib (every level and strategy) and libdeflate
// (levels 1-12) decode to the original bytes, for generated samples of each kind.
#include <zlib.h>

#include <functional>

#include <gtest/gtest.h>

#include "tests/inflate/test_util.h"

namespace inflatetest {
namespace {

struct Sample {
  std::string name;
  Bytes data;
};

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = {
      {"text", TextSample(600000)}, {"random", RandomBytes(70000, 5)}, {"runs", LongRuns(300000, 6)},
      {"empty", {}},                 {"one", {'x'}},
  };
  return samples;
}

// A reference encoder with its settings; `name` names the test.
struct Encoder {
  std::string name;
  std::function<Bytes(const Bytes&)> encode;
};
void PrintTo(const Encoder& e, std::ostream* os) { *os << e.name; }

std::vector<Encoder> Encoders() {
  std::vector<Encoder> encoders;
  static const char* const kStrategies[] = {"default", "filtered", "huffman", "rle", "fixed"};
  for (int level = 0; level <= 9; ++level)
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
      if (level > 0 || strategy == Z_DEFAULT_STRATEGY)
        encoders.push_back({"zlib_level" + std::to_string(level) + "_" + kStrategies[strategy],
                            [=](const Bytes& data) { return ZlibCompress(data, level, strategy); }});
  for (int level = 1; level <= 12; ++level)
    encoders.push_back({"libdeflate_level" + std::to_string(level),
                        [level](const Bytes& data) { return LibdeflateCompress(data, level); }});
  return encoders;
}

class EncoderStreams : public InflateTest, public ::testing::WithParamInterface<Encoder> {};

TEST_P(EncoderStreams, DecodeToTheOriginal) {
  for (const Sample& s : Samples()) {
    DecodeOutcome got = Decode(GetParam().encode(s.data));
    EXPECT_EQ(got.result, InflateResult::kOk) << s.name;
    EXPECT_TRUE(got.output == s.data) << s.name << ": output differs (" << got.output.size() << " bytes)";
    EXPECT_EQ(got.crc, RunningCrcOf(s.data)) << s.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Reference, EncoderStreams, ::testing::ValuesIn(Encoders()),
                         ::testing::PrintToStringParamName());

}  // namespace
}  // namespace inflatetest

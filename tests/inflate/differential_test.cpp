// Differential tests: streams from zlib (every level and strategy, several windows and
// memory levels, sync flushes), libdeflate (levels 1-12), Debian's zip and 7z decode to
// the original bytes, for generated samples of each kind.
#include <stdlib.h>
#include <zlib.h>

#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "archive/record.h"
#include "tests/inflate/test_util.h"
#include "tools/sfx_pack/zip_reader.h"

namespace inflatetest {
namespace {

struct Sample {
  std::string name;
  Bytes data;
};

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = {
      {"pe", PeSample(600000)},        {"text", TextSample(400000)}, {"random", RandomBytes(70000, 5)},
      {"runs", LongRuns(300000, 6)},   {"empty", {}},                {"one", {'x'}},
  };
  return samples;
}

class Differential : public InflateTest {
 protected:
  void ExpectDecodes(const Bytes& stream, const Sample& original) {
    DecodeOutcome got = Decode(stream);
    EXPECT_EQ(got.result, InflateResult::kOk) << original.name;
    EXPECT_TRUE(got.output == original.data)
        << original.name << ": output differs (" << got.output.size() << " of " << original.data.size() << " bytes)";
    EXPECT_EQ(got.crc, RunningCrcOf(original.data)) << original.name;
  }
};

// A reference encoder with its settings; `name` names the test.
struct Encoder {
  std::string name;
  std::function<Bytes(const Bytes&)> encode;
};
void PrintTo(const Encoder& e, std::ostream* os) { *os << e.name; }

std::vector<Encoder> Encoders() {
  std::vector<Encoder> encoders;
  auto zlib = [&](int level, int strategy, int windowBits, int memLevel, size_t syncFlushEvery) {
    static const char* const kStrategies[] = {"default", "filtered", "huffman", "rle", "fixed"};
    encoders.push_back({"zlib_level" + std::to_string(level) + "_" + kStrategies[strategy] + "_w" +
                            std::to_string(windowBits) + "_m" + std::to_string(memLevel) +
                            (syncFlushEvery ? "_sync" : ""),
                        [=](const Bytes& data) {
                          return ZlibCompress(data, level, strategy, windowBits, memLevel, syncFlushEvery);
                        }});
  };
  for (int level = 0; level <= 9; ++level)
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
      if (level > 0 || strategy == Z_DEFAULT_STRATEGY) zlib(level, strategy, 15, 8, 0);
  for (int windowBits : {9, 10, 12}) zlib(6, Z_DEFAULT_STRATEGY, windowBits, 8, 0);
  for (int memLevel : {1, 9}) zlib(9, Z_DEFAULT_STRATEGY, 15, memLevel, 0);
  zlib(6, Z_DEFAULT_STRATEGY, 15, 8, 10000);
  zlib(1, Z_FIXED, 15, 8, 3000);
  for (int level = 1; level <= 12; ++level)
    encoders.push_back({"libdeflate_level" + std::to_string(level),
                        [level](const Bytes& data) { return LibdeflateCompress(data, level); }});
  return encoders;
}

class EncoderStreams : public Differential, public ::testing::WithParamInterface<Encoder> {};

TEST_P(EncoderStreams, DecodeToTheOriginal) {
  for (const Sample& s : Samples()) ExpectDecodes(GetParam().encode(s.data), s);
}

INSTANTIATE_TEST_SUITE_P(Reference, EncoderStreams, ::testing::ValuesIn(Encoders()),
                         ::testing::PrintToStringParamName());

// Debian's zip (Info-ZIP's deflate) and 7-Zip's own deflate encoder, through real ZIP
// files: every deflated entry decodes to the sample it was made from.
struct ArchiverCase {
  const char* name;
  const char* command;  // the archive's path and the input files follow
};
void PrintTo(const ArchiverCase& c, std::ostream* os) { *os << c.name; }

const ArchiverCase kArchivers[] = {
    {"zip9", "zip -q -9 -X -j"},
    {"zip1", "zip -q -1 -X -j"},
    {"sevenzip9", "7z a -bd -bso0 -tzip -mx=9"},
    {"sevenzip5", "7z a -bd -bso0 -tzip -mx=5"},
};

class ArchiverStreams : public Differential, public ::testing::WithParamInterface<ArchiverCase> {};

TEST_P(ArchiverStreams, DecodeToTheOriginal) {
  std::string zipPath = scratch_.path() + "/archive.zip";
  std::string command = std::string(GetParam().command) + " " + zipPath;
  for (const Sample& s : Samples()) {
    std::string path = scratch_.path() + "/" + s.name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(s.data.data()),
                                                static_cast<std::streamsize>(s.data.size()));
    command += " " + path;
  }
  ASSERT_EQ(system((command + " >/dev/null 2>&1").c_str()), 0) << command;
  sfxpack::ZipArchive zip(zipPath);
  int deflated = 0;
  for (const sfxpack::ZipEntry& entry : zip.entries()) {
    if (entry.method != kMethodDeflate) continue;  // what does not shrink is stored
    for (const Sample& s : Samples())
      if (s.name == entry.name) ExpectDecodes(zip.MakePackEntry(entry).data, s);
    ++deflated;
  }
  EXPECT_GE(deflated, 3);  // pe, text and runs at least
}

INSTANTIATE_TEST_SUITE_P(Archivers, ArchiverStreams, ::testing::ValuesIn(kArchivers),
                         ::testing::PrintToStringParamName());

}  // namespace
}  // namespace inflatetest

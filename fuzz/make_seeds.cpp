// Writes the fuzz target's seed corpus into a directory: small streams from zlib (each
// strategy, several levels), libdeflate, and hand-built streams for the decoder's edge
// cases (stored, type 3, fixed with far matches, dynamic with nl = 288 / nd = 32, sub-
// tables, repeats). Generated at build time, so no corpus is kept in the repository.
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/inflate/corpus.h"
#include "tests/inflate/deflate_writer.h"

namespace {

using inflatetest::Bytes;
using inflatetest::DeflateWriter;

void Save(const std::string& dir, const std::string& name, const Bytes& data) {
  std::ofstream(dir + "/" + name, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

void HandBuilt(const std::string& dir) {
  Save(dir, "hand-empty", {});
  Save(dir, "hand-stored", DeflateWriter().Stored(false, {'s', 't'}).BlockHeader(false, 3).Stored(true, {}).Finish());
  DeflateWriter fixed;
  fixed.BlockHeader(false, 1).UseFixedCodes().Literal('a').Match(258, 1).Match(40, 200).EndOfBlock();
  fixed.BlockHeader(true, 1).Literal('b').Match(3, 32768).EndOfBlock();
  Save(dir, "hand-fixed", fixed.Finish());
  std::vector<uint8_t> lit = inflatetest::LongCodesLiteralLengths();
  lit.resize(288, 0);
  DeflateWriter dynamic;
  dynamic.BlockHeader(true, 2).DynamicHeaderFor(lit, std::vector<uint8_t>(32, 5));
  dynamic.Literal('d').Literal(200).Match(70, 2).Match(10, 1).EndOfBlock();
  Save(dir, "hand-dynamic", dynamic.Finish());
}

void Encoded(const std::string& dir) {
  const Bytes samples[] = {inflatetest::TextSample(6000), inflatetest::LongRuns(5000, 3),
                           inflatetest::RandomBytes(300, 4)};
  const char* const names[] = {"text", "runs", "random"};
  for (int i = 0; i < 3; ++i) {
    for (int level : {0, 1, 6, 9})
      Save(dir, std::string("zlib-") + names[i] + "-" + std::to_string(level),
           inflatetest::ZlibCompress(samples[i], level, Z_DEFAULT_STRATEGY));
    for (int strategy : {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
      Save(dir, std::string("zlib-") + names[i] + "-s" + std::to_string(strategy),
           inflatetest::ZlibCompress(samples[i], 6, strategy));
    for (int level : {1, 6, 12})
      Save(dir, std::string("libdeflate-") + names[i] + "-" + std::to_string(level),
           inflatetest::LibdeflateCompress(samples[i], level));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;  // usage: inflate_fuzz_seeds DIRECTORY
  std::filesystem::create_directories(argv[1]);
  HandBuilt(argv[1]);
  Encoded(argv[1]);
  return 0;
}

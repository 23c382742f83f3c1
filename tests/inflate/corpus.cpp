// Generated test and benchmark data, the reference encoders and zlib's decoder.
#include "tests/inflate/corpus.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>

namespace inflatetest {

Bytes TextSample(size_t limit) {
  static const char* const kWords[] = {"the", "of", "and", "to", "in", "a", "is", "that", "for", "it",
                                       "as", "with", "be", "on", "not", "this", "by", "are", "or", "file",
                                       "function", "return", "value", "include", "define", "struct", "int",
                                       "package", "license", "copyright", "software", "version"};
  std::mt19937 rng(777);
  std::string text;
  while (text.size() < limit) {
    size_t words = 5 + rng() % 12;
    for (size_t i = 0; i < words; ++i) {
      text += kWords[std::min<size_t>(rng() % 32, rng() % 32)];
      text += i + 1 < words ? ' ' : '.';
    }
    text += rng() % 4 == 0 ? "\n\n" : "\n";
  }
  text.resize(limit);
  return Bytes(text.begin(), text.end());
}


Bytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(n);
  for (uint8_t& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

Bytes LongRuns(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < n) {
    size_t run = 1 + rng() % (rng() % 8 == 0 ? 40000 : 300);
    out.insert(out.end(), std::min(run, n - out.size()), static_cast<uint8_t>(rng() % 4));
  }
  return out;
}

Bytes ZlibCompress(const Bytes& data, int level, int strategy) {
  z_stream z = {};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy) != Z_OK) throw std::runtime_error("deflateInit2");
  Bytes out(deflateBound(&z, data.size()));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&z, Z_FINISH);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
  out.resize(z.total_out);
  return out;
}

Bytes LibdeflateCompress(const Bytes& data, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  if (!c) throw std::runtime_error("libdeflate_alloc_compressor");
  Bytes out(libdeflate_deflate_compress_bound(c, data.size()));
  size_t n = libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size());
  libdeflate_free_compressor(c);
  if (n == 0) throw std::runtime_error("libdeflate_deflate_compress");
  out.resize(n);
  return out;
}

bool ZlibInflate(const Bytes& stream, Bytes& out, size_t maxOutput) {
  z_stream z = {};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  out.clear();
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  uint8_t chunk[32768];
  int rc;
  do {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
  } while (rc == Z_OK && out.size() <= maxOutput);
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

}  // namespace inflatetest

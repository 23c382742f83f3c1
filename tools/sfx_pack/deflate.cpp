// Raw deflate and CRC-32 through libdeflate, which compresses whole buffers: an entry is
// read whole before it is compressed, so memory grows with the largest entry. Safe to
// call from several threads at once.
#include "tools/sfx_pack/deflate.h"

#include <libdeflate.h>

#include <memory>
#include <new>

namespace sfxpack {

namespace {
struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};
}  // namespace

bool DeflateBuffer(const Bytes& data, int level, Bytes& out) {
  if (data.empty()) return false;
  // One compressor per thread and level, kept: at level 12 its allocation costs as much
  // as compressing a small file.
  thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor;
  thread_local int compressorLevel = -1;
  if (compressorLevel != level) {
    compressor.reset(libdeflate_alloc_compressor(level));
    compressorLevel = compressor ? level : -1;
  }
  if (!compressor) throw std::bad_alloc();
  // Only a result smaller than the data is of use, so the output buffer stops one byte
  // short of it; libdeflate answers 0 when the stream does not fit.
  out.resize(data.size() - 1);
  if (out.empty()) return false;
  size_t n = libdeflate_deflate_compress(compressor.get(), data.data(), data.size(),
                                         out.data(), out.size());
  if (n == 0) return false;
  out.resize(n);
  return true;
}

bool InflateBuffer(const Bytes& data, size_t size, Bytes& out) {
  std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(libdeflate_alloc_decompressor());
  if (!decompressor) throw std::bad_alloc();
  out.resize(size);
  return libdeflate_deflate_decompress(decompressor.get(), data.data(), data.size(), out.data(), out.size(),
                                       nullptr) == LIBDEFLATE_SUCCESS;
}

uint32_t Crc32Of(const Bytes& data) {
  return libdeflate_crc32(0, data.data(), data.size());
}

}  // namespace sfxpack

// Test and benchmark data and the reference encoders and decoder.
#include "tests/inflate/corpus.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace inflatetest {

namespace {

const char* const kPeFolders[] = {"/usr/lib/i386-linux-gnu/wine", "/usr/lib/x86_64-linux-gnu/wine"};
const char* const kTextFolders[] = {"/usr/include", "/usr/share/doc"};

std::vector<std::string> FilesUnder(const char* root) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

Bytes ReadPrefix(const std::string& path, size_t limit) {
  std::ifstream in(path, std::ios::binary);
  Bytes data(limit);
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(limit));
  data.resize(static_cast<size_t>(in.gcount()));
  return data;
}

bool LooksLikePe(const Bytes& head) { return head.size() >= 64 && head[0] == 'M' && head[1] == 'Z'; }

bool LooksLikeText(const Bytes& head) {
  if (head.empty()) return false;
  size_t odd = 0;
  for (uint8_t c : head) {
    if (c == 0) return false;
    if (c < 9 || (c > 13 && c < 32)) ++odd;
  }
  return odd * 100 < head.size();
}

// Appends whole files that pass `accept` until `limit` bytes are gathered.
template <typename Accept>
Bytes Gather(const char* const* folders, size_t folderCount, size_t limit, Accept accept) {
  Bytes out;
  for (size_t f = 0; f < folderCount && out.size() < limit; ++f) {
    for (const std::string& path : FilesUnder(folders[f])) {
      if (out.size() >= limit) break;
      if (path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0) continue;
      if (!accept(ReadPrefix(path, 4096))) continue;
      Bytes whole = ReadPrefix(path, limit - out.size());
      out.insert(out.end(), whole.begin(), whole.end());
    }
  }
  return out;
}

// A stand-in for PE images: headers, code-like bytes with repeated instruction
// patterns, zero padding, name tables and UTF-16 strings, in 4 KiB-aligned sections.
Bytes GeneratedPe(size_t limit) {
  std::mt19937 rng(4242);
  static const char* const kNames[] = {"GetProcAddress", "LoadLibraryA", "CreateFileW", "RegOpenKeyExW",
                                       "HeapAlloc", "MessageBoxW", "CloseHandle", "WriteFile"};
  Bytes out;
  while (out.size() < limit) {
    Bytes image = {'M', 'Z'};
    image.resize(1024, 0);
    std::vector<uint8_t> opcodes = {0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x10, 0x53, 0x56, 0x57, 0xE8,
                                    0xC3, 0x5D, 0x89, 0x45, 0xFC, 0x8D, 0x4D, 0xF0, 0x6A, 0x00};
    for (int i = 0; i < 20000; ++i) {
      if (rng() % 4 == 0) {
        size_t start = rng() % opcodes.size();
        for (size_t k = 0; k < 6; ++k) image.push_back(opcodes[(start + k) % opcodes.size()]);
      } else {
        image.push_back(static_cast<uint8_t>(rng() % 7 == 0 ? rng() : opcodes[rng() % opcodes.size()]));
      }
    }
    image.resize((image.size() + 4095) & ~size_t{4095}, 0);
    for (int i = 0; i < 300; ++i) {
      const char* name = kNames[rng() % 8];
      while (*name) image.push_back(static_cast<uint8_t>(*name++));
      image.push_back(0);
      if (rng() % 2) {
        for (const char* w = "Resource string"; *w; ++w) {
          image.push_back(static_cast<uint8_t>(*w));
          image.push_back(0);
        }
      }
    }
    image.resize((image.size() + 4095) & ~size_t{4095}, 0);
    out.insert(out.end(), image.begin(), image.end());
  }
  out.resize(limit);
  return out;
}

Bytes GeneratedText(size_t limit) {
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

}  // namespace

Bytes PeSample(size_t limit, bool* fromMachine) {
  Bytes out = Gather(kPeFolders, 2, limit, LooksLikePe);
  if (fromMachine) *fromMachine = out.size() >= limit;
  return out.size() >= limit ? out : GeneratedPe(limit);
}

Bytes TextSample(size_t limit, bool* fromMachine) {
  Bytes out = Gather(kTextFolders, 2, limit, LooksLikeText);
  if (fromMachine) *fromMachine = out.size() >= limit;
  return out.size() >= limit ? out : GeneratedText(limit);
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

Bytes ZlibCompress(const Bytes& data, int level, int strategy, int windowBits, int memLevel,
                   size_t syncFlushEvery) {
  z_stream z = {};
  if (deflateInit2(&z, level, Z_DEFLATED, -windowBits, memLevel, strategy) != Z_OK)
    throw std::runtime_error("deflateInit2");
  Bytes out(deflateBound(&z, data.size()) + 64 + (syncFlushEvery ? 16 * (data.size() / syncFlushEvery + 1) : 0));
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  size_t at = 0;
  int rc;
  do {
    size_t n = syncFlushEvery ? std::min(syncFlushEvery, data.size() - at) : data.size() - at;
    z.next_in = const_cast<Bytef*>(data.data() + at);
    z.avail_in = static_cast<uInt>(n);
    at += n;
    rc = deflate(&z, at == data.size() ? Z_FINISH : Z_SYNC_FLUSH);
  } while (rc == Z_OK && z.avail_out > 0);
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

std::vector<Bytes> ZipDeflateStreams(const std::string& zipPath) {
  Bytes zip = ReadPrefix(zipPath, 1u << 30);
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(zip.at(at) | (zip.at(at + 1) << 8)); };
  auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
  size_t eocd = zip.size() >= 22 ? zip.size() - 22 : 0;
  while (eocd > 0 && u32(eocd) != 0x06054B50u) --eocd;
  if (u32(eocd) != 0x06054B50u) throw std::runtime_error("no end of central directory in " + zipPath);
  uint32_t entries = u16(eocd + 10);
  size_t at = u32(eocd + 16);
  std::vector<Bytes> streams;
  for (uint32_t i = 0; i < entries; ++i) {
    if (u32(at) != 0x02014B50u) throw std::runtime_error("bad central directory in " + zipPath);
    uint32_t method = u16(at + 10);
    uint32_t compressed = u32(at + 20);
    size_t local = u32(at + 42);
    size_t data = local + 30 + u16(local + 26) + u16(local + 28);
    if (method == 8) streams.emplace_back(zip.begin() + static_cast<long>(data),
                                          zip.begin() + static_cast<long>(data + compressed));
    at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
  }
  return streams;
}

}  // namespace inflatetest

// Compares zlib and libdeflate on a set of files: compressed size and time per level.
//
// Each file is compressed whole, as sfx-pack does it (raw deflate, one buffer in, one
// out), at every level the two libraries offer for the comparison; the program prints
// the total ratio and the throughput over the uncompressed bytes.
#include <libdeflate.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

static size_t ZlibRawDeflate(const Bytes& in, Bytes& out, int level) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
  out.resize(deflateBound(&z, in.size()));
  z.next_in = const_cast<unsigned char*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&z, Z_FINISH);
  size_t n = rc == Z_STREAM_END ? z.total_out : 0;
  deflateEnd(&z);
  return n;
}

static size_t LibdeflateRaw(const Bytes& in, Bytes& out, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  if (!c) return 0;
  out.resize(libdeflate_deflate_compress_bound(c, in.size()));
  size_t n = libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size());
  libdeflate_free_compressor(c);
  return n;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE... (or - to read names from standard input)\n", argv[0]);
    return 2;
  }
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "-") {
      std::string line;
      for (int ch; (ch = std::getchar()) != EOF;) {
        if (ch == '\n') { if (!line.empty()) names.push_back(line); line.clear(); }
        else line.push_back(static_cast<char>(ch));
      }
      if (!line.empty()) names.push_back(line);
    } else {
      names.push_back(argv[i]);
    }
  }
  std::vector<Bytes> files;
  size_t total = 0;
  for (const std::string& name : names) {
    std::ifstream f(name, std::ios::binary);
    files.emplace_back(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    total += files.back().size();
  }
  std::printf("%zu files, %zu bytes\n", files.size(), total);
  struct Run { const char* library; int level; size_t (*fn)(const Bytes&, Bytes&, int); };
  const Run runs[] = {
      {"zlib", 1, ZlibRawDeflate},       {"zlib", 6, ZlibRawDeflate},
      {"zlib", 9, ZlibRawDeflate},       {"libdeflate", 1, LibdeflateRaw},
      {"libdeflate", 6, LibdeflateRaw},  {"libdeflate", 9, LibdeflateRaw},
      {"libdeflate", 12, LibdeflateRaw},
  };
  Bytes out;
  for (const Run& run : runs) {
    size_t packed = 0;
    auto start = std::chrono::steady_clock::now();
    for (const Bytes& file : files) {
      size_t n = run.fn(file, out, run.level);
      packed += (n == 0 || n >= file.size()) ? file.size() : n;  // stored when no gain
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-10s level %2d: %11zu bytes, %5.2f%% of input, %6.2f s, %7.1f MB/s\n",
                run.library, run.level, packed, 100.0 * packed / total, seconds,
                total / seconds / 1e6);
  }
  return 0;
}

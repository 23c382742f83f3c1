// Decoder benchmark: this system's Inflate against zlib's raw inflate (streaming into a
// 32 KiB buffer, the way Inflate streams through its window) and libdeflate's
// whole-buffer decompressor, on real PE images and text compressed by zlib level 6 and
// libdeflate level 12.
//
// Timing mode (default): every round decodes each payload with the three decoders in a
// rotating order, one process, one thread; the table gives the median MB/s of output of
// each and the medians of the per-round speed ratios ours/zlib and ours/libdeflate.
// Inflate runs as in the product: its input is read from a file through the read layer
// (scrambled bytes, unscrambled on reading), its output goes to /dev/null through the
// platform layer, and it computes the entry's CRC-32 as it flushes; zlib and libdeflate
// decode from and to memory and compute no CRC. The CRC's own speed is printed too.
//
// To compare like with like, every round also times that other work alone ("extras":
// the compressed bytes read through the read layer in the chunks Inflate asks for, the
// output size written to /dev/null through the platform layer and folded into a CRC-32,
// a 32 KiB window at a time, from one window that stays in the cache as Inflate's
// does). A second table gives, per payload, libdeflate with the extras added
// (ours/(libdeflate+extras)) and ours with them taken off ((ours-extras)/libdeflate,
// the decode alone); what is left of the gap there is the decode itself.
//
// Instruction mode (--once DECODER PAYLOAD): decodes one payload once with one decoder
// inside a function of its own (bench_decode_ours, bench_decode_zlib,
// bench_decode_libdeflate, bench_extras), for `valgrind --tool=callgrind --toggle-collect=...`;
// scripts/bench-inflate.sh runs it and divides the instructions by the output size.
//
// Payloads are built once and kept in the payload directory: about 100 MB of PE images
// from Wine's DLL folders and 50 MB of text from /usr/include and /usr/share/doc, or
// generated stand-ins when those are missing (tests/inflate/corpus.cpp makes them).
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/record.h"
#include "inflate/bits.h"
#include "integrity/crc32.h"
#include "platform/testing.h"
#include "bench/machine_files.h"
#include "tests/inflate/corpus.h"
#include "tests/inflate/inflate_driver.h"
#include "tests/support/temp_dir.h"

namespace {

using inflatetest::Bytes;
using Clock = std::chrono::steady_clock;

struct Payload {
  std::string name;  // e.g. "pe/zlib-6"
  Bytes compressed;
  size_t size = 0;   // uncompressed bytes
  uint32_t crc = 0;  // RunningCrc of the uncompressed bytes
};

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const Bytes& data) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                              static_cast<std::streamsize>(data.size()));
}

uint32_t RunningCrc(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  CrcUpdateBuffer(data, static_cast<int32_t>(size), crc);
  return crc;
}

// The four payloads, from the cache directory or built into it.
std::vector<Payload> LoadPayloads(const std::string& dir, size_t peBytes, size_t textBytes) {
  std::filesystem::create_directories(dir);
  std::vector<Payload> payloads;
  for (const char* kind : {"pe", "text"}) {
    Bytes original;
    for (const char* encoder : {"zlib-6", "libdeflate-12"}) {
      std::string base = dir + "/" + kind + "." + encoder;
      Payload p;
      p.name = std::string(kind) + "/" + encoder;
      if (std::filesystem::exists(base + ".deflate") && std::filesystem::exists(base + ".size")) {
        p.compressed = ReadAll(base + ".deflate");
        std::ifstream(base + ".size") >> p.size >> p.crc;
      } else {
        if (original.empty()) {
          bool pe = std::string(kind) == "pe";
          size_t limit = pe ? peBytes : textBytes;
          original = pe ? bench::MachinePeFiles(limit) : bench::MachineTextFiles(limit);
          bool fromMachine = original.size() >= limit;
          if (!fromMachine) original = inflatetest::TextSample(limit);
          std::cerr << kind << ": " << original.size() << " bytes "
                    << (fromMachine ? "from the machine's files" : "generated (files missing)") << "\n";
        }
        std::cerr << "compressing " << p.name << "...\n";
        p.compressed = std::string(encoder) == "zlib-6"
                           ? inflatetest::ZlibCompress(original, 6, Z_DEFAULT_STRATEGY)
                           : inflatetest::LibdeflateCompress(original, 12);
        p.size = original.size();
        p.crc = RunningCrc(original.data(), original.size());
        WriteAll(base + ".deflate", p.compressed);
        std::ofstream(base + ".size") << p.size << " " << p.crc << "\n";
      }
      payloads.push_back(std::move(p));
    }
  }
  return payloads;
}

void Fail(const std::string& what) {
  std::cerr << "bench_inflate: " << what << "\n";
  std::exit(1);
}

// --- The three decoders; each returns the number of output bytes ----------------------

extern "C" __attribute__((noinline)) size_t bench_decode_ours(inflatetest::StoredEntry& entry,
                                                                uint32_t* crc) {
  inflatetest::DecodeOptions options;
  options.keepOutput = false;
  inflatetest::DecodeOutcome got = entry.Decode(options);
  *crc = got.result == InflateResult::kOk ? got.crc : 0;
  return got.result == InflateResult::kOk ? 1 : 0;
}

extern "C" __attribute__((noinline)) size_t bench_decode_zlib(const Bytes& stream) {
  z_stream z = {};
  if (inflateInit2(&z, -15) != Z_OK) return 0;
  static uint8_t window[32768];
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  size_t total = 0;
  int rc;
  do {
    z.next_out = window;
    z.avail_out = sizeof window;
    rc = inflate(&z, Z_NO_FLUSH);
    total += sizeof window - z.avail_out;
  } while (rc == Z_OK);
  inflateEnd(&z);
  return rc == Z_STREAM_END ? total : 0;
}

extern "C" __attribute__((noinline)) size_t bench_decode_libdeflate(libdeflate_decompressor* d, const Bytes& stream,
                                                                      Bytes& out) {
  size_t got = 0;
  if (libdeflate_deflate_decompress(d, stream.data(), stream.size(), out.data(), out.size(), &got) !=
      LIBDEFLATE_SUCCESS)
    return 0;
  return got;
}

// The work Inflate does besides decoding (see the top of the file), alone: reads the
// scrambled file `input` of `compressed` bytes and writes and checksums `size` bytes.
// Returns the CRC so that nothing is left out.
struct ExtrasBuffers {
  Bytes chunk = Bytes(kInputChunkSize);
  Bytes window = Bytes(kWindowSize, 0x5A);
};

extern "C" __attribute__((noinline)) uint32_t bench_extras(const std::string& input, size_t compressed, size_t size,
                                                           ExtrasBuffers& buffers) {
  plat::FileHandle in = plat::OpenForReading(input.c_str());
  plat::FileHandle out = plat::CreateOutputFile("/dev/null");
  if (in == plat::kInvalidFile || out == plat::kInvalidFile) Fail("extras: cannot open " + input);
  for (size_t left = compressed; left > 0;) {
    uint32_t got = 0;
    ReadArchive(in, buffers.chunk.data(), static_cast<uint32_t>(std::min<size_t>(left, kInputChunkSize)), &got);
    if (got == 0) Fail("extras: short read");
    left -= got;
  }
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t left = size; left > 0;) {
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(left, kWindowSize)), written = 0;
    if (!plat::WriteBytes(out, buffers.window.data(), n, &written) || written != n) Fail("extras: write");
    CrcUpdateBuffer(buffers.window.data(), static_cast<int32_t>(n), crc);
    left -= n;
  }
  (void)plat::CloseFileHandle(out);
  (void)plat::CloseFileHandle(in);
  return crc;
}

// The payload's compressed bytes stored scrambled, as the archive stores them, for
// bench_extras.
std::string StoreScrambled(const std::string& dir, const Payload& p) {
  Bytes stored(p.compressed);
  for (uint8_t& b : stored) b ^= kArchiveScramble;
  std::string path = dir + "/extras.bin";
  WriteAll(path, stored);
  return path;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

template <typename F>
double Seconds(F&& f) {
  auto start = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

int Time(const std::vector<Payload>& payloads, int rounds, const std::string& scratch) {
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  ExtrasBuffers buffers;
  std::string likeForLike;
  std::printf("%-20s %8s %10s %10s %10s %10s %12s\n", "payload", "out MB", "ours MB/s", "zlib MB/s",
              "libdefl MB/s", "ours/zlib", "ours/libdefl");
  for (const Payload& p : payloads) {
    inflatetest::StoredEntry entry(scratch, p.compressed.data(), p.compressed.size());
    std::string extrasInput = StoreScrambled(scratch, p);
    Bytes out(p.size);
    std::vector<double> ours, zlib, libdeflate, extras, vsZlib, vsLibdeflate, vsLibdeflateExtras, decodeVsLibdeflate;
    for (int round = 0; round < rounds; ++round) {
      double t[4] = {0, 0, 0, 0};
      for (int k = 0; k < 4; ++k) {
        switch ((round + k) % 4) {
          case 0: {
            uint32_t crc = 0;
            t[0] = Seconds([&] { if (!bench_decode_ours(entry, &crc)) Fail("ours failed on " + p.name); });
            if (crc != p.crc) Fail("ours: wrong CRC on " + p.name);
            break;
          }
          case 1:
            t[1] = Seconds([&] { if (bench_decode_zlib(p.compressed) != p.size) Fail("zlib failed"); });
            break;
          case 2:
            t[2] = Seconds([&] { if (bench_decode_libdeflate(d, p.compressed, out) != p.size) Fail("libdeflate"); });
            break;
          default:
            t[3] = Seconds([&] { (void)bench_extras(extrasInput, p.compressed.size(), p.size, buffers); });
            break;
        }
      }
      plat::testing::Reset();  // keep the stand-in's trace from growing
      ours.push_back(p.size / t[0] / 1e6);
      zlib.push_back(p.size / t[1] / 1e6);
      libdeflate.push_back(p.size / t[2] / 1e6);
      extras.push_back(p.size / t[3] / 1e6);
      vsZlib.push_back(t[1] / t[0]);
      vsLibdeflate.push_back(t[2] / t[0]);
      vsLibdeflateExtras.push_back((t[2] + t[3]) / t[0]);
      decodeVsLibdeflate.push_back(t[2] / (t[0] - t[3]));
    }
    std::printf("%-20s %8.1f %10.0f %10.0f %10.0f %10.2f %12.2f\n", p.name.c_str(), p.size / 1e6, Median(ours),
                Median(zlib), Median(libdeflate), Median(vsZlib), Median(vsLibdeflate));
    std::fflush(stdout);
    char line[160];
    std::snprintf(line, sizeof line, "%-20s %10.0f %10.2f %16.2f %18.2f\n", p.name.c_str(), Median(extras),
                  Median(vsLibdeflate), Median(vsLibdeflateExtras), Median(decodeVsLibdeflate));
    likeForLike += line;
  }
  std::printf("like for like (extras: reads, CRC-32 and writes alone, MB/s of output):\n");
  std::printf("%-20s %10s %10s %16s %18s\n%s", "payload", "extras MB/s", "ours/libdefl", "ours/(libdefl+ex)",
              "(ours-ex)/libdefl", likeForLike.c_str());
  // The CRC-32 that Inflate folds in at every flush, alone, over 32 KiB windows.
  Bytes window(32768, 0x5A);
  std::vector<double> crcSpeed;
  for (int round = 0; round < rounds; ++round) {
    uint32_t crc = 0xFFFFFFFFu;
    double t = Seconds([&] {
      for (int i = 0; i < 3200; ++i) CrcUpdateBuffer(window.data(), 32768, crc);
    });
    crcSpeed.push_back(3200 * 32768 / t / 1e6);
  }
  std::printf("CrcUpdateBuffer alone: %.0f MB/s (median of %d rounds)\n", Median(crcSpeed), rounds);
  libdeflate_free_decompressor(d);
  return 0;
}

// One decode for callgrind; prints the output size for the script.
int Once(const std::vector<Payload>& payloads, const std::string& decoder, const std::string& name,
         const std::string& scratch) {
  for (const Payload& p : payloads) {
    if (p.name != name) continue;
    size_t got = 0;
    if (decoder == "ours") {
      inflatetest::StoredEntry entry(scratch, p.compressed.data(), p.compressed.size());
      uint32_t crc = 0;
      got = bench_decode_ours(entry, &crc) && crc == p.crc ? p.size : 0;
    } else if (decoder == "zlib") {
      got = bench_decode_zlib(p.compressed);
    } else if (decoder == "extras") {
      ExtrasBuffers buffers;
      std::string input = StoreScrambled(scratch, p);
      (void)bench_extras(input, p.compressed.size(), p.size, buffers);
      got = p.size;
    } else if (decoder == "libdeflate") {
      libdeflate_decompressor* d = libdeflate_alloc_decompressor();
      Bytes out(p.size);
      got = bench_decode_libdeflate(d, p.compressed, out);
      libdeflate_free_decompressor(d);
    } else {
      Fail("unknown decoder " + decoder);
    }
    if (got != p.size) Fail(decoder + " failed on " + name);
    std::printf("output_bytes %zu\n", got);
    return 0;
  }
  Fail("unknown payload " + name);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = "build/bench-payloads";
  int rounds = 7;
  size_t peMb = 100, textMb = 50;
  std::string onceDecoder, onceName;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) Fail("missing value after " + a);
      return argv[++i];
    };
    if (a == "--payloads") dir = next();
    else if (a == "--rounds") rounds = std::max(1, std::atoi(next().c_str()));
    else if (a == "--pe-mb") peMb = std::strtoul(next().c_str(), nullptr, 10);
    else if (a == "--text-mb") textMb = std::strtoul(next().c_str(), nullptr, 10);
    else if (a == "--once") { onceDecoder = next(); onceName = next(); }
    else Fail("usage: bench_inflate [--payloads DIR] [--rounds N] [--pe-mb N] [--text-mb N] "
              "[--once ours|zlib|libdeflate|extras PAYLOAD]");
  }
  if (!AllocateCrcTable()) Fail("no memory for the CRC table");
  std::vector<Payload> payloads = LoadPayloads(dir, peMb << 20, textMb << 20);
  sfxtest::TempDir scratch;
  if (!onceDecoder.empty()) return Once(payloads, onceDecoder, onceName, scratch.path());
  return Time(payloads, rounds, scratch.path());
}

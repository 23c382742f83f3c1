// Test and benchmark data from the machine's own files, with generated stand-ins when
// those files are missing, and raw deflate streams from encoders no one here wrote.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace inflatetest {

using Bytes = std::vector<uint8_t>;

// Up to `limit` bytes of PE images (files starting with "MZ" under Wine's DLL folders,
// in name order). When none are found, a generated stand-in: PE-like sections of code
// bytes, zero padding, import-name strings and UTF-16 resources. `fromMachine` says
// which one was used.
Bytes PeSample(size_t limit, bool* fromMachine = nullptr);
// Up to `limit` bytes of text (/usr/share/doc and /usr/include, in name order), or
// generated English-like text when those are missing.
Bytes TextSample(size_t limit, bool* fromMachine = nullptr);
// Pseudo-random bytes and long runs of repeated bytes, both deterministic.
Bytes RandomBytes(size_t n, uint32_t seed);
Bytes LongRuns(size_t n, uint32_t seed);

// zlib's deflate with raw output (negative window bits).
Bytes ZlibCompress(const Bytes& data, int level, int strategy, int windowBits = 15, int memLevel = 8,
                   size_t syncFlushEvery = 0);
// libdeflate's whole-buffer compressor, levels 1-12.
Bytes LibdeflateCompress(const Bytes& data, int level);
// zlib's raw inflate; false unless the stream ends properly within `maxOutput` bytes.
bool ZlibInflate(const Bytes& stream, Bytes& out, size_t maxOutput = 1u << 26);

// The deflate streams of a ZIP file's method-8 entries, in central-directory order.
std::vector<Bytes> ZipDeflateStreams(const std::string& zipPath);

}  // namespace inflatetest

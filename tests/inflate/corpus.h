// Generated test and benchmark data of several kinds, and raw deflate streams from
// encoders no one here wrote. Every sample is deterministic: the same bytes on every
// machine and every run.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace inflatetest {

using Bytes = std::vector<uint8_t>;

// `limit` bytes of English-like text lines (short matches, skewed literals).
Bytes TextSample(size_t limit);
// Pseudo-random bytes and long runs of repeated bytes.
Bytes RandomBytes(size_t n, uint32_t seed);
Bytes LongRuns(size_t n, uint32_t seed);

// zlib's deflate with raw output (negative window bits).
Bytes ZlibCompress(const Bytes& data, int level, int strategy);
// libdeflate's whole-buffer compressor, levels 1-12.
Bytes LibdeflateCompress(const Bytes& data, int level);
// zlib's raw inflate (the fuzz target's reference); false unless the stream ends
// properly within `maxOutput` bytes.
bool ZlibInflate(const Bytes& stream, Bytes& out, size_t maxOutput);

}  // namespace inflatetest

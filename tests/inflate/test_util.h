// Helpers of the inflate tests: the fixture, the CRC register expected, match expansion.
#pragma once

#include <stdint.h>

#include <string>

#include "tests/inflate/corpus.h"
#include "tests/inflate/deflate_writer.h"
#include "tests/inflate/inflate_driver.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"

namespace inflatetest {

// The stand-in fixture (fault plan, heap balance) with a scratch directory.
class InflateTest : public sfxtest::PlatformTest {
 protected:
  DecodeOutcome Decode(const Bytes& data, const DecodeOptions& options = {}) {
    return DecodeEntry(scratch_.path(), data, options);
  }
  sfxtest::TempDir scratch_;
};

// The register RunningCrc holds after `data`: the CRC-32 before its final complement.
inline uint32_t RunningCrcOf(const Bytes& data) { return ~sfxtest::Crc32(data); }

// Appends a deflate match to `out` the way a decoder expands it, byte by byte.
inline void AppendMatch(Bytes& out, int length, int distance) {
  size_t from = out.size() - static_cast<size_t>(distance);
  for (int i = 0; i < length; ++i) out.push_back(out[from + static_cast<size_t>(i)]);
}

}  // namespace inflatetest

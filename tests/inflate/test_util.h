// Helpers of the inflate tests: the fixture, a reference CRC-32 and match expansion.
#pragma once

#include <stdint.h>

#include <string>

#include "tests/inflate/deflate_writer.h"
#include "tests/inflate/inflate_driver.h"
#include "tests/support/platform_fixture.h"

namespace inflatetest {

// The stand-in fixture (fault plan, heap balance) with a scratch directory.
class InflateTest : public sfxtest::PlatformTest {
 protected:
  DecodeOutcome Decode(const Bytes& data, const DecodeOptions& options = {}) {
    return DecodeEntry(scratch_.path(), data, options);
  }
  ScratchDir scratch_;
};

// The register RunningCrc holds after `data` (no final complement), bit by bit.
uint32_t RunningCrcOf(const Bytes& data);

Bytes Text(const std::string& s);
// Appends a deflate match to `out` the way a decoder expands it.
void AppendMatch(Bytes& out, int length, int distance);
// n bytes of a pattern that no short match reproduces by accident.
Bytes Pattern(size_t n, uint32_t seed = 1);

}  // namespace inflatetest

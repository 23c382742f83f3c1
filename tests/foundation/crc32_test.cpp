// CRC-32: the system's against an independent bitwise CRC on every length and alignment.
#include <gtest/gtest.h>

#include <random>

#include "integrity/crc32.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"

namespace {

class Crc32Test : public sfxtest::PlatformTest {};

// Every length 0..300 and every start alignment 0..7 against an independent bitwise CRC,
// fed whole and split in two pieces at every eleventh byte.
TEST_F(Crc32Test, BufferUpdateMatchesBitwiseCrcAtEveryLengthAndAlignment) {
  std::mt19937 rng(1);
  std::vector<uint8_t> data(320);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t length = 0; length + offset <= 308; ++length) {
      std::vector<uint8_t> piece(data.begin() + offset, data.begin() + offset + length);
      uint32_t whole = 0xFFFFFFFFu;
      CrcUpdateBuffer(data.data() + offset, static_cast<int32_t>(length), whole);
      ASSERT_EQ(~whole, sfxtest::Crc32(piece)) << offset << "+" << length;
      size_t split = length % 11;
      uint32_t parts = 0xFFFFFFFFu;
      CrcUpdateBuffer(data.data() + offset, static_cast<int32_t>(split), parts);
      CrcUpdateBuffer(data.data() + offset + split, static_cast<int32_t>(length - split), parts);
      ASSERT_EQ(parts, whole);
    }
  }
}

}  // namespace

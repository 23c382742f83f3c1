// Helpers of the inflate tests.
#include "tests/inflate/test_util.h"

namespace inflatetest {

uint32_t RunningCrcOf(const Bytes& data) {
  uint32_t c = 0xFFFFFFFFu;
  for (uint8_t b : data) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
  }
  return c;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void AppendMatch(Bytes& out, int length, int distance) {
  size_t from = out.size() - static_cast<size_t>(distance);
  for (int i = 0; i < length; ++i) out.push_back(out[from + static_cast<size_t>(i)]);
}

Bytes Pattern(size_t n, uint32_t seed) {
  Bytes out(n);
  uint32_t x = seed * 2654435761u + 12345u;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<uint8_t>(x >> 24);
  }
  return out;
}

}  // namespace inflatetest

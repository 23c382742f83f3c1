// CRC-32 of the ZIP application note: table building and the buffer update.
//
// Table 0 is the classic byte-at-a-time table: entry i is i shifted right eight times
// through the polynomial. Tables 1 to 7 let the buffer update consume eight bytes per
// step ("slicing by 8"): table k holds the effect of a byte followed by k zero bytes,
// so T_k[i] = (T_{k-1}[i] >> 8) ^ T_0[T_{k-1}[i] & 0xFF]. The eight lookups of one step
// are independent of each other, which removes the one-load-per-byte dependency chain
// of the classic loop; the result is the same register the byte step would give.
#include "integrity/crc32.h"

#include <string.h>

#include "platform/platform.h"

uint32_t* CrcTable = nullptr;

static constexpr uint32_t kPolynomial = 0xEDB88320u;
static constexpr int kTables = 8;

bool AllocateCrcTable() {
  if (CrcTable) return true;  // built once per process
  // One extra entry after table 0 keeps the block's classic 1028-byte head.
  CrcTable = static_cast<uint32_t*>(plat::Allocate((256 * kTables + 1) * sizeof(uint32_t)));
  if (!CrcTable) return false;
  BuildCrcTable();
  return true;
}

void BuildCrcTable() {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t v = i;
    for (int k = 0; k < 8; ++k) v = (v & 1) ? (v >> 1) ^ kPolynomial : v >> 1;
    CrcTable[i] = v;
  }
  CrcTable[256] = 0;
  uint32_t* sliced = CrcTable + 257;
  const uint32_t* previous = CrcTable;
  for (int t = 1; t < kTables; ++t) {
    uint32_t* table = sliced + (t - 1) * 256;
    for (uint32_t i = 0; i < 256; ++i) table[i] = (previous[i] >> 8) ^ CrcTable[previous[i] & 0xFF];
    previous = table;
  }
}

void CrcUpdateBuffer(const uint8_t* data, int32_t length, uint32_t& crc) {
  if (length <= 0) return;
  uint32_t c = crc;
  const uint32_t* t0 = CrcTable;
  const uint32_t* t = CrcTable + 257;  // tables 1..7 at t + (k - 1) * 256
  while (length >= 8) {
    uint32_t lo, hi;
    memcpy(&lo, data, 4);
    memcpy(&hi, data + 4, 4);
    lo ^= c;  // little-endian: the register meets the first four bytes
    c = t[6 * 256 + (lo & 0xFF)] ^ t[5 * 256 + ((lo >> 8) & 0xFF)] ^
        t[4 * 256 + ((lo >> 16) & 0xFF)] ^ t[3 * 256 + (lo >> 24)] ^
        t[2 * 256 + (hi & 0xFF)] ^ t[1 * 256 + ((hi >> 8) & 0xFF)] ^
        t[0 * 256 + ((hi >> 16) & 0xFF)] ^ t0[hi >> 24];
    data += 8;
    length -= 8;
  }
  while (length-- > 0) c = t0[(c ^ *data++) & 0xFF] ^ (c >> 8);
  crc = c;
}

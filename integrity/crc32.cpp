// CRC-32 of the ZIP application note: table building and the buffer update.
//
// Table 0 is the classic byte-at-a-time table: entry i is i shifted right eight times
// through the polynomial. Tables 1 to 7 let the buffer update consume eight bytes per
// step ("slicing by 8"): table k holds the effect of a byte followed by k zero bytes,
// so T_k[i] = (T_{k-1}[i] >> 8) ^ T_0[T_{k-1}[i] & 0xFF]. The eight lookups of one step
// are independent of each other, which removes the one-load-per-byte dependency chain
// of the classic loop; the result is the same register the byte step would give.
//
// Where the processor multiplies without carries (PCLMULQDQ), long runs are folded 16
// bytes at a time instead. The CRC is the remainder of the message polynomial, and
// x^128 shifts a 128-bit block forward by one block, so a running 128-bit accumulator
// A followed by block B is congruent to (A_lo * x^160 + A_hi * x^96) mod P + B, with
// the two products done by carry-less multiplication by constants (bit-reflected, as
// the ZIP CRC is). At the end the accumulator stands for everything folded, so the
// byte step over its 16 bytes, from a register of 0, gives the CRC of the whole run.
#include "integrity/crc32.h"

#include <string.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define SFX_CRC_FOLDING 1
#endif

#include "platform/platform.h"

uint32_t* CrcTable = nullptr;

static constexpr uint32_t kPolynomial = 0xEDB88320u;
static constexpr int kTables = 8;

#ifdef SFX_CRC_FOLDING
static bool g_canFold = false;

// x^160 and x^96 modulo the polynomial, bit-reflected and shifted left by one.
static constexpr uint64_t kFoldLow = 0x1751997D0ull;
static constexpr uint64_t kFoldHigh = 0x0CCAA009Eull;

// Folds `blocks` (2 or more) 16-byte blocks; the stack is realigned because 32-bit
// Windows keeps it aligned to 4 bytes only.
__attribute__((target("pclmul,sse2"), force_align_arg_pointer)) static uint32_t FoldBlocks(
    const uint8_t* data, uint32_t blocks, uint32_t crc) {
  const __m128i k = _mm_set_epi64x(static_cast<long long>(kFoldHigh), static_cast<long long>(kFoldLow));
  __m128i acc = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)),
                              _mm_cvtsi32_si128(static_cast<int>(crc)));
  for (uint32_t i = 1; i < blocks; ++i) {
    __m128i low = _mm_clmulepi64_si128(acc, k, 0x00);
    __m128i high = _mm_clmulepi64_si128(acc, k, 0x11);
    acc = _mm_xor_si128(_mm_xor_si128(low, high),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)));
  }
  alignas(16) uint8_t folded[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(folded), acc);
  uint32_t c = 0;
  for (uint8_t b : folded) c = CrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
  return c;
}

static bool ProcessorCanFold() {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  return (c & bit_PCLMUL) && (d & bit_SSE2);
}
#endif

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
#ifdef SFX_CRC_FOLDING
  g_canFold = ProcessorCanFold();
#endif
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
#ifdef SFX_CRC_FOLDING
  if (g_canFold && length >= 64) {
    uint32_t blocks = static_cast<uint32_t>(length) / 16;
    c = FoldBlocks(data, blocks, c);
    data += 16 * blocks;
    length -= static_cast<int32_t>(16 * blocks);
  }
#endif
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

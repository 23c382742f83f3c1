// Building and releasing the multi-level Huffman lookup tables.
//
// The build works in the canonical order of RFC 1951: symbols sorted by code length
// and, within a length, by symbol number receive consecutive codes. Because the stream
// sends a code's first bit first and tables are indexed least significant bit first,
// the code counter i is kept bit-reversed: "the next code" is a reversed increment, and
// a code of L bits fills every 2^L-th entry of a table from index i onwards.
//
// Tables are opened as the codes get longer. The root takes about the requested number
// of bits; a code longer than the tables opened so far opens a sub-table under the
// current prefix, sized just large enough for the codes that share that prefix (tried
// from the length of the current code upwards, counting how many patterns the codes to
// come can fill), and linked from the parent table. When the reversed code counter
// leaves a sub-table's prefix, the build backs up to the parent level.
//
// Two adjustments keep decoding simple. An incomplete code is padded with dummy codes
// of the longest length, which become kOpInvalid entries, so every pattern of every
// table is defined. And a table never extends past the end of the end-of-block code,
// so decoding end of block never needs bits that follow the block.
#include "inflate/huffman.h"

#include "platform/platform.h"

namespace {

constexpr int kMaxCodeLength = 16;
constexpr int kMaxSymbols = 288;
constexpr uint16_t kEndOfBlockSymbol = 256;

// Allocates a table of 2^bits entries behind its hidden chain entry; null on failure.
HuffmanEntry* AllocateTable(uint32_t bits, TableChain& chain) {
  size_t entries = (size_t{1} << bits) + 1;
  auto* block = static_cast<HuffmanEntry*>(plat::Allocate(entries * sizeof(HuffmanEntry)));
  if (!block) return nullptr;
  block[0].Op = 0;
  block[0].Bits = 0;
  block[0].Value = 0;
  block[0].Next = chain;
  chain = block + 1;
  return block + 1;
}

// Releases the tables added to `chain` since it was `oldest`.
void ReleaseBackTo(TableChain& chain, TableChain oldest) {
  while (chain != oldest) {
    HuffmanEntry* hidden = chain - 1;
    chain = hidden->Next;
    plat::Release(hidden);
  }
}

// The entry of the p-th symbol in code order, or an invalid one for a dummy code or a
// symbol beyond the lists. `entry` is reused across the build: an invalid entry keeps
// the Value of the symbol entry made before it.
void DescribeSymbol(uint32_t p, uint32_t count, const uint16_t* order, uint16_t s,
                    const SymbolLists* lists, HuffmanEntry& entry) {
  if (p >= count) {
    entry.Op = kOpInvalid;
    return;
  }
  uint16_t symbol = order[p];
  if (symbol < s) {
    entry.Op = symbol < kEndOfBlockSymbol ? kOpLiteral : kOpEndOfBlock;
    entry.Value = symbol;
  } else if (lists && static_cast<uint32_t>(symbol - s) < lists->listLength) {
    entry.Op = lists->extras[symbol - s];
    entry.Value = lists->bases[symbol - s];
  } else {
    entry.Op = kOpInvalid;
  }
}

// The size in bits of a sub-table whose first code has `length` bits, `w` bits being
// taken by the levels above. Start with the length left for this code; while the codes
// of that length still to come (`after` of them besides this one) cannot fill the
// table, try one bit more, counting what the longer codes fill, but never reach `limit`
// (the requested root size, or the longest code). Then stop the table where the
// end-of-block code (`eobLength` bits) ends.
uint32_t SubTableBits(uint32_t length, uint32_t w, uint32_t after, const uint32_t* counts,
                      int32_t limit, uint32_t eobLength) {
  uint32_t j = length - w;
  uint32_t f = 1u << j;
  if (f > after + 1) {
    f -= after + 1;
    uint32_t longer = length;
    for (;;) {
      ++j;
      if (static_cast<int32_t>(j) >= limit) break;
      ++longer;
      f <<= 1;
      if (counts[longer] >= f) break;
      f -= counts[longer];
    }
  }
  if (w + j > eobLength && w < eobLength) j = eobLength - w;
  return j;
}

}  // namespace

BuildResult BuildHuffmanTable(const uint16_t* lengths, uint16_t n, uint16_t s,
                              const SymbolLists* lists, HuffmanTable& root,
                              TableChain& chain, int32_t& bits) {
  // More symbols than the symbol list holds, or a length beyond the count array, cannot
  // describe a deflate code; nothing is built, as for an over-subscribed code.
  if (n > kMaxSymbols) return BuildResult::kOversubscribed;
  // Count the codes of each length; c[0] counts the symbols without a code.
  uint32_t c[kMaxCodeLength + 1] = {};
  for (uint32_t i = 0; i < n; ++i) {
    if (lengths[i] > kMaxCodeLength) return BuildResult::kOversubscribed;
    c[lengths[i]]++;
  }
  if (c[0] == n) {  // no symbol has a code
    root = nullptr;
    bits = 0;
    return BuildResult::kComplete;
  }
  uint32_t eobLength = n > kEndOfBlockSymbol ? lengths[kEndOfBlockSymbol] : kMaxCodeLength;

  // Shortest and longest code; the root size stays between them.
  uint32_t k = 1;
  while (c[k] == 0) ++k;
  uint32_t g = kMaxCodeLength;
  while (c[g] == 0) --g;
  if (static_cast<uint16_t>(bits) < k) bits = static_cast<int32_t>(k);
  if (bits > static_cast<int32_t>(g)) bits = static_cast<int32_t>(g);

  // Completeness: y counts the patterns of each length not yet taken by shorter codes.
  // The patterns left at the longest length become dummy codes.
  int32_t y = 1 << k;
  for (uint32_t len = k; len < g; ++len) {
    y -= c[len];
    if (y < 0) return BuildResult::kOversubscribed;
    y *= 2;
  }
  y -= c[g];
  if (y < 0) return BuildResult::kOversubscribed;
  c[g] += static_cast<uint32_t>(y);

  // The symbols with a code, by length and then by symbol number.
  uint32_t offsets[kMaxCodeLength + 1];
  offsets[1] = 0;
  for (uint32_t len = 1; len < g; ++len) offsets[len + 1] = offsets[len] + c[len];
  uint16_t order[kMaxSymbols];
  uint32_t count = 0;
  for (uint32_t sym = 0; sym < n; ++sym) {
    if (lengths[sym] != 0) {
      order[offsets[lengths[sym]]++] = static_cast<uint16_t>(sym);
      ++count;
    }
  }

  // Level h is the table being filled (-1 before the root); levelBits[h] is its size and
  // w the bits taken by the levels above it; prefix[h] is the reversed code prefix under
  // which table h was opened. Indices are shifted by one so that level -1 has size 0.
  uint32_t levelBits[kMaxCodeLength + 2] = {};
  HuffmanEntry* levelTable[kMaxCodeLength + 2] = {};
  uint32_t prefix[kMaxCodeLength + 2] = {};
  TableChain oldest = chain;
  HuffmanTable first = nullptr;
  HuffmanEntry entry = {0, 0, 0, nullptr};
  uint32_t code = 0;  // bit-reversed
  uint32_t p = 0;     // next symbol of `order`
  int h = 0;          // shifted level: 0 is level -1
  uint32_t w = 0;
  uint32_t tableSize = 0;
  HuffmanEntry* q = nullptr;

  for (uint32_t len = k; len <= g; ++len) {
    for (uint32_t a = c[len]; a-- != 0;) {
      // Open tables until the current one reaches this code's length.
      while (len > w + levelBits[h]) {
        w += levelBits[h];
        ++h;
        int32_t limit = static_cast<int32_t>(g - w);
        if (limit > bits) limit = bits;
        uint32_t j = SubTableBits(len, w, a, c, limit, eobLength);
        q = AllocateTable(j, chain);
        if (!q) {
          ReleaseBackTo(chain, oldest);
          return BuildResult::kNoMemory;
        }
        tableSize = 1u << j;
        levelBits[h] = j;
        levelTable[h] = q;
        if (!first) first = q;
        if (h > 1) {
          prefix[h] = code;
          uint32_t parentBits = levelBits[h - 1];
          uint32_t index = (code & ((1u << w) - 1)) >> (w - parentBits);
          levelTable[h - 1][index] = {static_cast<uint8_t>(kOpLiteral + j),
                                      static_cast<uint8_t>(parentBits), 0, q};
        }
      }

      entry.Bits = static_cast<uint8_t>(len - w);
      DescribeSymbol(p, count, order, s, lists, entry);
      ++p;
      for (uint32_t index = code >> w; index < tableSize; index += 1u << (len - w)) q[index] = entry;

      // Next code: reversed increment.
      uint32_t b = 1u << (len - 1);
      while (code & b) {
        code ^= b;
        b >>= 1;
      }
      code ^= b;

      // Back up over tables whose prefix the code has left.
      while ((code & ((1u << w) - 1)) != prefix[h]) {
        --h;
        w -= levelBits[h];
      }
    }
  }

  root = first;
  bits = static_cast<int32_t>(levelBits[1]);
  return (y != 0 && g != 1) ? BuildResult::kIncomplete : BuildResult::kComplete;
}

void FreeHuffmanTable(TableChain& chain) { ReleaseBackTo(chain, nullptr); }

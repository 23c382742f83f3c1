// Building the two-level Huffman lookup tables into caller-owned storage.
//
// The build works in the canonical order of RFC 1951: symbols sorted by code length
// and, within a length, by symbol number receive consecutive codes. Because the stream
// sends a code's first bit first and tables are indexed least significant bit first,
// the code counter is kept bit-reversed: "the next code" is a reversed increment, and a
// code of L bits fills every 2^L-th entry of a table from its reversed pattern onwards.
//
// An incomplete code is first made complete on paper: the patterns left over count as
// dummy codes of the longest length. Dummies sort after every real code, so once the
// real codes are placed every entry not yet written stands for a dummy; tables are
// therefore filled with invalid entries when they are opened, and only real codes are
// written. No sub-table is opened for a prefix that holds dummies only.
//
// In canonical order the codes that share a root prefix come one after another, the
// shortest first. So when the first of them arrives, its sub-table's size follows from
// the codes still to come: start with the bits this code needs beyond the root and,
// while the codes of the lengths so far cannot fill the table, take one bit more. With
// the dummies counted the code is complete, and the table ends up exactly as large as
// the longest code under the prefix needs.
#include "inflate/huffman.h"

namespace {

constexpr uint32_t kMaxCodeLength = 15;
constexpr uint32_t kMaxSymbols = 288;
constexpr uint16_t kEndOfBlockSymbol = 256;
constexpr HuffmanEntry kInvalidEntry = {kOpInvalid, 0, 0};

// The entry of a symbol, its Bits left for the caller.
HuffmanEntry DescribeSymbol(uint16_t symbol, uint16_t s, const SymbolLists* lists) {
  if (symbol < s) return {symbol < kEndOfBlockSymbol ? kOpLiteral : kOpEndOfBlock, 0, symbol};
  uint32_t i = static_cast<uint32_t>(symbol - s);
  if (lists && i < lists->listLength) return {lists->extras[i], 0, lists->bases[i]};
  return kInvalidEntry;
}

void Fill(HuffmanEntry* table, uint32_t size) {
  for (uint32_t i = 0; i < size; ++i) table[i] = kInvalidEntry;
}

}  // namespace

BuildResult BuildHuffmanTable(const uint16_t* lengths, uint16_t n, uint16_t s,
                              const SymbolLists* lists, const TableStorage& storage,
                              HuffmanTable& root, int32_t& bits) {
  if (n > kMaxSymbols) return BuildResult::kOversubscribed;
  // Count the codes of each length; count[0] counts the symbols without a code.
  uint32_t count[kMaxCodeLength + 1] = {};
  for (uint32_t i = 0; i < n; ++i) {
    if (lengths[i] > kMaxCodeLength) return BuildResult::kOversubscribed;
    count[lengths[i]]++;
  }
  if (count[0] == n) {  // no symbol has a code
    root = nullptr;
    bits = 0;
    return BuildResult::kComplete;
  }
  uint32_t longest = kMaxCodeLength;
  while (count[longest] == 0) --longest;

  // Completeness: `left` is the number of patterns of each length not taken by the
  // codes so far; what is left at the longest length becomes dummy codes.
  int32_t left = 1;
  for (uint32_t len = 1; len <= longest; ++len) {
    left = 2 * left - static_cast<int32_t>(count[len]);
    if (left < 0) return BuildResult::kOversubscribed;
  }
  BuildResult result = (left != 0 && longest != 1) ? BuildResult::kIncomplete : BuildResult::kComplete;
  if (static_cast<uint8_t>(result) > static_cast<uint8_t>(storage.worst)) return result;

  // The symbols with a code, by length and then by symbol number.
  uint32_t offsets[kMaxCodeLength + 2];
  offsets[1] = 0;
  for (uint32_t len = 1; len <= kMaxCodeLength; ++len) offsets[len + 1] = offsets[len] + count[len];
  uint16_t order[kMaxSymbols];
  for (uint32_t sym = 0; sym < n; ++sym)
    if (lengths[sym] != 0) order[offsets[lengths[sym]]++] = static_cast<uint16_t>(sym);
  uint32_t codes = n - count[0];
  count[longest] += static_cast<uint32_t>(left);  // the dummies

  uint32_t rootBits = static_cast<uint32_t>(bits) < longest ? static_cast<uint32_t>(bits) : longest;
  uint32_t rootSize = 1u << rootBits;
  if (rootSize > storage.capacity) return BuildResult::kOversubscribed;
  HuffmanEntry* const table = storage.entries;
  Fill(table, rootSize);
  uint32_t used = rootSize;
  uint32_t prefix = rootSize;  // root index of the open sub-table; none yet
  HuffmanEntry* sub = nullptr;
  uint32_t subSize = 0;
  uint32_t code = 0;  // bit-reversed

  for (uint32_t p = 0; p < codes; ++p) {
    uint16_t symbol = order[p];
    uint32_t len = lengths[symbol];
    HuffmanEntry entry = DescribeSymbol(symbol, s, lists);
    if (len <= rootBits) {
      entry.Bits = static_cast<uint8_t>(len);
      for (uint32_t i = code; i < rootSize; i += 1u << len) table[i] = entry;
    } else {
      uint32_t low = code & (rootSize - 1);
      if (low != prefix) {  // the first code under this prefix: open its sub-table
        uint32_t j = len - rootBits;
        int32_t room = 1 << j;
        while (rootBits + j < longest) {
          room -= static_cast<int32_t>(count[rootBits + j]);
          if (room <= 0) break;
          ++j;
          room *= 2;
        }
        subSize = 1u << j;
        if (subSize > storage.capacity - used) return BuildResult::kOversubscribed;
        sub = table + used;
        Fill(sub, subSize);
        table[low] = {static_cast<uint8_t>(kOpLiteral + j), static_cast<uint8_t>(rootBits),
                      static_cast<uint16_t>(used)};
        used += subSize;
        prefix = low;
      }
      entry.Bits = static_cast<uint8_t>(len - rootBits);
      for (uint32_t i = code >> rootBits; i < subSize; i += 1u << (len - rootBits)) sub[i] = entry;
    }
    count[len]--;
    // Next code: reversed increment.
    uint32_t b = 1u << (len - 1);
    while (code & b) {
      code ^= b;
      b >>= 1;
    }
    code ^= b;
  }

  // A single code of one bit: the other pattern is invalid but keeps the symbol's Bits
  // and Value, so a reader that does not look at Op (the code-length loop) reads both
  // patterns as that symbol.
  if (longest == 1 && codes == 1) table[1] = {kOpInvalid, table[0].Bits, table[0].Value};
  root = table;
  bits = static_cast<int32_t>(rootBits);
  return result;
}

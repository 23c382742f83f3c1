// Two-level lookup tables for the canonical Huffman codes of deflate.
//
// A code's tables lie in one array of HuffmanEntry that the caller owns and reuses from
// block to block: the root table first, then the sub-tables. The root has 2^R entries
// and is indexed by the next R bits of the stream, first bit least significant. A code
// of R bits or fewer fills every root entry whose low bits are its pattern. A longer
// code is found in two steps: its first R bits select a link entry of the root, which
// gives the sub-table's place in the array and its size j; the j bits after those R
// index the sub-table. Every sub-table is made just large enough for the longest code
// that starts with its prefix, so two levels always suffice.
#pragma once

#include <stdint.h>

// One table entry, 4 bytes:
//
//   Op    (8 bits)  what the entry means:
//                     0..13  length or distance symbol: Op extra bits follow the code,
//                            their value is added to Value (the base);
//                     15     end of block (symbol 256), Value 256;
//                     16     plain symbol: Value is a literal byte or a code-length
//                            symbol;
//                     17..31 link: a sub-table of Op - 16 bits starts at entry Value of
//                            the code's array;
//                     99     invalid: no symbol has this code.
//   Bits  (8 bits)  bits this entry accounts for at its level: the code's length in
//                   the root, the code's length minus the root's size in a sub-table,
//                   the root's size in a link entry.
//   Value (16 bits) symbol, base or sub-table position, as above.
struct HuffmanEntry {
  uint8_t Op;
  uint8_t Bits;
  uint16_t Value;
};

inline constexpr uint8_t kOpMaxExtra = 13;    // highest extra-bit count of a symbol
inline constexpr uint8_t kOpEndOfBlock = 15;
inline constexpr uint8_t kOpLiteral = 16;     // also the base of link entries
inline constexpr uint8_t kOpInvalid = 99;

// The root table of a code; empty (null) when no symbol has a code.
using HuffmanTable = const HuffmanEntry*;

enum class [[nodiscard]] BuildResult : uint8_t {
  kComplete = 0,        // also a single code of one bit
  kIncomplete = 1,      // patterns without a symbol are kOpInvalid entries
  kOversubscribed = 2,  // nothing built, root untouched
};

// Symbols s and above are described by bases[symbol - s] and extras[symbol - s] when
// symbol - s < listLength; symbols beyond the lists get kOpInvalid entries.
struct SymbolLists {
  const uint16_t* bases;
  const uint8_t* extras;
  uint16_t listLength;
};

// Where a build puts its tables, and the worst result the caller takes: a code whose
// result is worse is not built at all (root untouched).
struct TableStorage {
  HuffmanEntry* entries;
  uint32_t capacity;  // entries available
  BuildResult worst;
};

// Array sizes that hold every code the decoder builds. A complete code whose sub-table
// has j bits has at least j + 1 codes of its own (one of the full length, and with
// halving weights at least one per shorter length), so with a root of R bits and
// codes of at most 15 bits, n symbols fill at most n / (16 - R) sub-tables of
// 2^(15 - R) entries each. An incomplete code may give each of its codes longer than R
// bits a sub-table of that size.
//   literal/length code, complete, 288 symbols, R = 10: 1,024 + 48 x 32 = 2,560
//   distance code, incomplete allowed, 32 symbols, R = 8: 256 + 32 x 128 = 4,352
inline constexpr uint32_t kLiteralTableEntries = 2560;
inline constexpr uint32_t kDistanceTableEntries = 4352;

// Builds the lookup tables of the canonical code given by n code lengths (0 to 15,
// 0 = no code; n at most 288) into `storage`. Symbols below s are plain (below 256:
// kOpLiteral, otherwise end of block). `bits` asks for a root size and returns the
// size built (at most the longest code), which the decoder must use for its first
// lookup. More than 288 symbols, a length above 15 or tables beyond the storage's
// capacity are refused as kOversubscribed.
BuildResult BuildHuffmanTable(const uint16_t* lengths, uint16_t n, uint16_t s,
                              const SymbolLists* lists, const TableStorage& storage,
                              HuffmanTable& root, int32_t& bits);

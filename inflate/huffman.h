// Multi-level lookup tables for the canonical Huffman codes of deflate.
//
// A table of j bits is an array of 2^j HuffmanEntry values indexed by the next j bits
// of the stream, first bit least significant. Codes longer than the root table's size
// continue in sub-tables reached through link entries. Every table is one heap block of
// 2^j + 1 entries: the first entry is hidden and only links the block into the build's
// release chain (TableChain); the table proper starts at the second entry.
#pragma once

#include <stdint.h>

// One table entry. Field layout (8 bytes on i386, 16 on x86-64):
//
//   Op    (8 bits)  what the entry means:
//                     0..13  length or distance symbol: Op extra bits follow the code,
//                            their value is added to Value (the base);
//                     15     end of block (symbol 256), Value 256;
//                     16     plain symbol: Value is a literal byte or a code-length
//                            symbol;
//                     17..31 link: a sub-table of Op - 16 bits at Next;
//                     99     invalid: no symbol has this code.
//   Bits  (8 bits)  bits this entry accounts for at its level: the code's length minus
//                   the bits taken by the levels above, or, in a link entry, the size of
//                   the table holding the link.
//   Value (16 bits) symbol or base, as above.
//   Next  (pointer) the sub-table of a link entry; in a hidden first entry, the release
//                   chain's next (older) table.
struct HuffmanEntry {
  uint8_t Op;
  uint8_t Bits;
  uint16_t Value;
  HuffmanEntry* Next;
};

inline constexpr uint8_t kOpMaxExtra = 13;    // highest extra-bit count of a symbol
inline constexpr uint8_t kOpEndOfBlock = 15;
inline constexpr uint8_t kOpLiteral = 16;     // also the base of link entries
inline constexpr uint8_t kOpInvalid = 99;

// The root table of a code; empty (null) when no symbol has a code.
using HuffmanTable = const HuffmanEntry*;
// The newest table of a build; each table's hidden entry links to the one before.
using TableChain = HuffmanEntry*;

enum class [[nodiscard]] BuildResult : uint8_t {
  kComplete = 0,        // also a single code of one bit
  kIncomplete = 1,      // built; patterns without a symbol are kOpInvalid entries
  kOversubscribed = 2,  // nothing allocated, root untouched
  kNoMemory = 3,        // nothing of this build left allocated
};

// Symbols s and above are described by bases[symbol - s] and extras[symbol - s] when
// symbol - s < listLength; symbols beyond the lists get kOpInvalid entries.
struct SymbolLists {
  const uint16_t* bases;
  const uint8_t* extras;
  uint16_t listLength;
};

// Builds the lookup tables of the canonical code given by n code lengths (0 to 16,
// 0 = no code; n at most 288). Symbols below s are plain (below 256: kOpLiteral,
// otherwise end of block). `bits` asks for a root size and returns the size built,
// which the decoder must use for its first lookup. The tables are added to `chain`.
// More than 288 symbols or a length above 16 is refused as kOversubscribed.
BuildResult BuildHuffmanTable(const uint16_t* lengths, uint16_t n, uint16_t s,
                              const SymbolLists* lists, HuffmanTable& root,
                              TableChain& chain, int32_t& bits);

// Releases every table of the chain, newest first, and empties it.
void FreeHuffmanTable(TableChain& chain);

// Decoding the symbols of a fixed or dynamic block, and copying matches in the window.
//
// Each symbol is looked up with the root table's number of bits; a link entry sends the
// lookup on into its sub-table with the bits that follow. A literal is stored in the
// window; a length symbol is followed by its extra bits and a distance code with its
// own, and the match is copied from the window's history; end of block ends the loop.
//
// While enough input is buffered and the window has room, InflateFast does this work;
// this loop takes over symbol by symbol where input may run out (it refills through
// NextByte) or the window may fill (it flushes). A symbol that consumed bits beyond the
// end of the entry's data ends decoding with an error before any of its output is
// stored, so a cut stream cannot spin out 1-bits as bytes. A match that reaches before
// the entry's first output byte is an error too: the window holds nothing of this entry
// there, and without a CRC to check nothing else would catch the invented bytes.
#include <string.h>

#include "inflate/bits.h"
#include "inflate/inflate.h"
#include "inflate/inflate_fast.h"
#include "inflate/window_copy.h"

namespace {

// Follows a link entry of `table`'s root into its sub-table (the root entry's bits are
// dropped, the final entry's are not); false at an invalid code.
bool FollowLink(HuffmanTable table, const HuffmanEntry*& e, uint32_t& b, uint16_t& k) {
  if (e->Op <= kOpLiteral) return true;
  if (e->Op == kOpInvalid) return false;
  uint16_t subBits = static_cast<uint16_t>(e->Op - kOpLiteral);
  DumpBits(e->Bits, b, k);
  NeedBits(subBits, b, k);
  e = &table[e->Value + (b & MaskBits[subBits])];
  return e->Op != kOpInvalid;
}

// Looks up one code of `table` (root size `rootBits`); null at an invalid code.
const HuffmanEntry* DecodeSymbol(HuffmanTable table, int32_t rootBits, uint32_t& b, uint16_t& k) {
  NeedBits(static_cast<uint16_t>(rootBits), b, k);
  const HuffmanEntry* e = &table[b & MaskBits[rootBits]];
  if (!FollowLink(table, e, b, k)) return nullptr;
  DumpBits(e->Bits, b, k);
  return e;
}

// The entry's base plus its extra bits.
uint32_t TakeExtra(const HuffmanEntry* e, uint32_t& b, uint16_t& k) {
  return e->Value + TakeBits(e->Op, b, k);
}

}  // namespace

void CopyFromHistory(uint32_t distance, uint32_t length, uint16_t& pos) {
  uint32_t d = (pos - distance) & (kWindowSize - 1);
  while (length > 0) {
    uint32_t piece = kWindowSize - (d > pos ? d : pos);
    if (piece > length) piece = length;
    if (d < pos) {
      CopyMatch(SlideWindow + pos, pos - d, piece);
    } else if (d > pos) {
      // The source lies ahead of the destination: a forward copy never reads a byte it
      // has written, which is what memmove does.
      memmove(SlideWindow + pos, SlideWindow + d, piece);
    }
    // d == pos (a distance of 32,768): each byte is copied onto itself.
    length -= piece;
    d = (d + piece) & (kWindowSize - 1);
    AdvanceWindow(piece, pos);
  }
}

InflateResult InflateCodes(HuffmanTable tl, HuffmanTable td, int32_t bl, int32_t bd) {
  if (!tl) return InflateResult::kDataError;
  // Without distance codes every length symbol is followed by an invalid code: a table
  // of one invalid entry, looked up with 0 bits, says so without a check of its own.
  static constexpr HuffmanEntry kNoDistanceCode[1] = {{kOpInvalid, 0, 0}};
  if (!td) {
    td = kNoDistanceCode;
    bd = 0;
  }
  uint32_t b = BitBuffer;
  uint16_t k = BitCount;
  uint16_t w = WindowPos;
  InflateResult result = InflateResult::kDataError;
  for (;;) {
    if (FastPathFits(w)) {
      FastStop stop = InflateFast(tl, td, bl, bd, b, k, w);
      if (stop == FastStop::kEndOfBlock) {
        result = InflateResult::kOk;
        break;
      }
      if (stop == FastStop::kInvalidCode) break;
    }
    const HuffmanEntry* e = DecodeSymbol(tl, bl, b, k);
    if (!e) break;
    if (e->Op == kOpLiteral) {
      if (ConsumedPastEnd(k)) break;
      PutWindowByte(static_cast<uint8_t>(e->Value), w);
      continue;
    }
    if (e->Op == kOpEndOfBlock) {
      if (!ConsumedPastEnd(k)) result = InflateResult::kOk;
      break;
    }
    uint32_t length = TakeExtra(e, b, k);
    e = DecodeSymbol(td, bd, b, k);
    if (!e) break;
    uint32_t distance = TakeExtra(e, b, k);
    if (ConsumedPastEnd(k) || !HasHistory(distance, w)) break;
    CopyFromHistory(distance, length, w);
  }
  BitBuffer = b;
  BitCount = k;
  WindowPos = w;
  return result;
}

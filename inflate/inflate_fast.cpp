// The fast inner loop of the block decoder.
//
// It decodes the same tables the same way as the symbol-by-symbol loop of InflateCodes,
// but only while at least kFastInputBytes bytes are left in InputBuffer and the window
// has room for a whole loop round, so that neither the input nor the window's end needs
// a check inside a round:
//
// - Bits are kept in a 64-bit buffer refilled eight bytes at a time with one unaligned
//   load: the load is shifted above the bits already held and the input moves on by the
//   bytes that fitted whole, leaving 56 to 63 valid bits. The bits of a byte that fitted
//   only in part sit above the count; the next refill ORs in the same bits again. One
//   refill covers a literal/length code with its extra bits and a distance code with its
//   extra bits (at most 48 bits), or up to three literals.
// - The window position is a pointer; a round never reaches the window's end, so the
//   flush rule never fires here, and a match whose source is wholly behind the write
//   position is one CopyMatch.
//
// On leaving, whole bytes of the bit buffer that were not consumed go back to the input
// (never further back than where this call started taking bytes), so the caller's
// 32-bit bit state and InputPos describe the stream exactly as the byte-wise routines
// would have left them.
#include "inflate/inflate_fast.h"

#include <string.h>

#include "archive/record.h"
#include "inflate/window_copy.h"

namespace {

constexpr uint32_t kRefillFloor = 28;  // bits a distance code and its extra bits may take

inline uint64_t LoadLittleEndian64(const uint8_t* p) {
  uint64_t v;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
#else
  memcpy(&v, p, sizeof v);
#endif
  return v;
}

struct BitReader {
  uint64_t buffer;
  uint32_t count;
  const uint8_t* in;

  void Refill() {
    buffer |= LoadLittleEndian64(in) << count;
    in += 7 - (count >> 3);
    count |= 56;
  }
  uint32_t Peek(uint32_t mask) const { return static_cast<uint32_t>(buffer) & mask; }
  void Drop(uint32_t n) {
    buffer >>= n;
    count -= n;
  }
  // Follows link entries from a root entry to the entry of the code; false at an
  // invalid code. The root entry's own bits stay to be dropped by the caller.
  bool Resolve(const HuffmanEntry*& e) {
    while (e->Op > kOpLiteral) {
      if (e->Op == kOpInvalid) return false;
      Drop(e->Bits);
      e = &e->Next[Peek(MaskBits[e->Op - kOpLiteral])];
    }
    return true;
  }
  // A symbol's extra bits added to its base; drops the code and the extra bits.
  uint32_t TakeValue(const HuffmanEntry* e) {
    uint32_t value = e->Value + (static_cast<uint32_t>(buffer >> e->Bits) & MaskBits[e->Op]);
    Drop(static_cast<uint32_t>(e->Bits) + e->Op);
    return value;
  }
};

}  // namespace

FastStop InflateFast(HuffmanTable tl, HuffmanTable td, int32_t bl, int32_t bd, uint32_t& bitBuffer,
                     uint16_t& bitCount, uint16_t& windowPos) {
  const uint8_t* const start = InputBuffer + InputPos;
  const uint8_t* const inLimit = InputBuffer + InputFill - kFastInputBytes;
  uint8_t* const window = SlideWindow;
  uint8_t* out = window + windowPos;
  uint8_t* const outLimit = window + (kWindowSize - kFastOutputRoom);
  const uint32_t lmask = MaskBits[bl];
  const uint32_t dmask = MaskBits[bd];
  BitReader br = {bitBuffer & ((uint64_t{1} << bitCount) - 1), bitCount, start};
  FastStop stop = FastStop::kNeedSlow;

  while (br.in <= inLimit && out <= outLimit) {
    br.Refill();
    const HuffmanEntry* e = &tl[br.Peek(lmask)];
    // Up to three literals straight from the root table: at most 45 bits.
    if (e->Op == kOpLiteral) {
      br.Drop(e->Bits);
      *out++ = static_cast<uint8_t>(e->Value);
      e = &tl[br.Peek(lmask)];
      if (e->Op == kOpLiteral) {
        br.Drop(e->Bits);
        *out++ = static_cast<uint8_t>(e->Value);
        e = &tl[br.Peek(lmask)];
        if (e->Op == kOpLiteral) {
          br.Drop(e->Bits);
          *out++ = static_cast<uint8_t>(e->Value);
          continue;
        }
      }
    }
    // At least 26 bits are left: enough for any literal/length code and its extra bits.
    if (!br.Resolve(e)) {
      stop = FastStop::kInvalidCode;
      break;
    }
    if (e->Op == kOpLiteral) {
      br.Drop(e->Bits);
      *out++ = static_cast<uint8_t>(e->Value);
      continue;
    }
    if (e->Op == kOpEndOfBlock) {
      br.Drop(e->Bits);
      stop = FastStop::kEndOfBlock;
      break;
    }
    uint32_t length = br.TakeValue(e);
    if (!td) {
      stop = FastStop::kInvalidCode;
      break;
    }
    if (br.count < kRefillFloor) br.Refill();
    e = &td[br.Peek(dmask)];
    if (!br.Resolve(e)) {
      stop = FastStop::kInvalidCode;
      break;
    }
    uint32_t distance = br.TakeValue(e);
    uint32_t pos = static_cast<uint32_t>(out - window);
    if (!HasHistory(distance, pos)) {
      stop = FastStop::kInvalidCode;
      break;
    }
    if (distance <= pos) {
      CopyMatch(out, distance, length);
    } else {
      // The source begins behind the window's start, at its end; unless it runs past
      // the window's end or into the destination, it is one block copy.
      const uint8_t* src = out + (kWindowSize - distance);
      if (length >= 8 && src + length <= window + kWindowSize && src >= out + length) {
        CopyBlocks(out, src, length);
      } else {
        uint16_t p = static_cast<uint16_t>(pos);
        CopyFromHistory(distance, length, p);
      }
    }
    out += length;
  }

  // Give back the whole bytes not consumed, but none from before this call.
  uint32_t unused = br.count >> 3;
  uint32_t taken = static_cast<uint32_t>(br.in - start);
  if (unused > taken) unused = taken;
  br.in -= unused;
  br.count -= unused * 8;
  taken -= unused;
  InputPos = static_cast<uint16_t>(InputPos + taken);
  CurrentEntry.RemainingCount -= static_cast<int32_t>(taken);
  bitBuffer = static_cast<uint32_t>(br.buffer & ((uint64_t{1} << br.count) - 1));
  bitCount = static_cast<uint16_t>(br.count);
  windowPos = static_cast<uint16_t>(out - window);
  return stop;
}

// The fast inner loop of the block decoder.
//
// It decodes the same tables the same way as the symbol-by-symbol loop of InflateCodes,
// but only while at least kFastInputBytes bytes are left in InputBuffer and the window
// has room for a whole loop round, so that neither the input nor the window's end needs
// a check inside a round:
//
// - Bits are kept in a buffer of the machine's word (64 bits on x86-64, 32 on i386, so
//   that shifts and masks stay single instructions) refilled a word at a time with one
//   unaligned load: the load is shifted above the bits already held and the input moves
//   on by the bytes that fitted whole, leaving at least a word less eight valid bits
//   (56 or 24). The bits of a byte that fitted only in part sit above the count; the
//   next refill ORs in the same bits again. A literal/length code with its extra bits
//   takes at most 20 bits, a distance code 15 and its extra bits 13: a 64-bit refill
//   covers up to three literals, or a length and its distance. With 32 bits (at least
//   24 valid after a refill) a round refills unconditionally before its literal/length
//   code, which then leaves room for a length's extra bits, and again before the
//   distance code; only a distance whose code and extra bits exceed what is left
//   refills a third time. Refilling without a test costs a few instructions but no
//   mispredicted branch, where a test of the count goes either way from symbol to
//   symbol.
// - The input and window limits are folded into one bound on the output pointer: every
//   round stores at least one byte and takes at most kRoundInputBytes of input, so
//   while the pointer has moved on by no more than the rounds the input has room for,
//   the input limit holds. The bound is worked out again when the pointer passes it.
// - Tables are two-level: a root entry is a symbol, an invalid code, or a link whose
//   sub-table entry is the symbol. With 32 bits each round ends with the root lookup
//   of the next one, before a match is copied, so that the table load is under way
//   during the copy and the bound check. It reads only loaded bits (after a match the
//   word at the input pointer is loaded again above the count first, as the distance
//   may have left as few as 4), and neither the input pointer nor the count moves for
//   it, so where the loop refills and where it hands over stay as they were. With 64
//   bits a match may leave fewer bits loaded than a lookup takes, and loading there
//   could read past the input's end, so the lookup stays after the round's refill.
// - The window position is a pointer; a round never reaches the window's end, so the
//   flush rule never fires here. A match whose source is wholly behind the write
//   position is one copy. One from eight or more bytes back moves whole words, whose
//   bytes past the match's end land in the window's slack or on history that the copy
//   puts back (CopyFarMatch). Saving and restoring those bytes takes more instructions
//   than an exact copy on 32 bits, but the exact copy chooses its moves by the match's
//   length, and those branches go wrong often enough to cost more. Matches from fewer
//   than eight bytes back are copied exactly, with the repeat rule (CopyMatch).
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

using BitWord = uintptr_t;
constexpr uint32_t kWordBits = sizeof(BitWord) * 8;
constexpr uint32_t kMaxCodeBits = 15;
// Input one round takes at most: two refills with 64 bits, three with 32, each moving
// on by at most a word less one byte; rounded up to a power of two for the bound.
constexpr uint32_t kRoundInputBytes = 16;
static_assert((kWordBits < 64 ? 3 : 2) * (sizeof(BitWord) - 1) <= kRoundInputBytes);

inline BitWord LoadWord(const uint8_t* p) {
  BitWord v;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = 0;
  for (int i = static_cast<int>(sizeof v) - 1; i >= 0; --i) v = (v << 8) | p[i];
#else
  memcpy(&v, p, sizeof v);
#endif
  return v;
}

struct BitReader {
  BitWord buffer;
  uint32_t count;
  const uint8_t* in;

  void Refill() {
    buffer |= LoadWord(in) << count;
    in += (kWordBits - 1 - count) >> 3;
    count |= kWordBits - 8;
  }
  // Loads the bits a refill would, without counting them.
  void Load() { buffer |= LoadWord(in) << count; }
  void Ensure(uint32_t n) {
    if (count < n) Refill();
  }
  uint32_t Peek(uint32_t mask) const { return static_cast<uint32_t>(buffer) & mask; }
  void Drop(uint32_t n) {
    buffer >>= n;
    count -= n;
  }
  // Follows a root entry of `table` to the entry of the code; false at an invalid code.
  // The final entry's own bits stay to be dropped by the caller.
  bool Resolve(HuffmanTable table, const HuffmanEntry*& e) {
    if (e->Op <= kOpLiteral) return true;
    if (e->Op == kOpInvalid) return false;
    Drop(e->Bits);
    e = &table[e->Value + Peek(MaskBits[e->Op - kOpLiteral])];
    return e->Op != kOpInvalid;
  }
  // A symbol's extra bits added to its base; drops the code and the extra bits. The
  // buffer holds both, except that with kRefill a 32-bit one refills between the code
  // and its extra bits when they need it.
  template <bool kRefill>
  uint32_t TakeValue(const HuffmanEntry* e) {
    if constexpr (kRefill && kWordBits < 64) {
      Drop(e->Bits);
      Ensure(e->Op);
      uint32_t value = e->Value + Peek(MaskBits[e->Op]);
      Drop(e->Op);
      return value;
    } else {
      uint32_t value = e->Value + (static_cast<uint32_t>(buffer >> e->Bits) & MaskBits[e->Op]);
      Drop(static_cast<uint32_t>(e->Bits) + e->Op);
      return value;
    }
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
  BitReader br = {bitBuffer & ((BitWord{1} << bitCount) - 1), bitCount, start};
  FastStop stop = FastStop::kNeedSlow;
  // The caller saw both limits met, so the first bound is at least the current position.
  uint8_t* bound = out;
  // The first round's refill, early for the first lookup; the round's own refill then
  // finds the count full and moves nothing.
  br.Refill();
  const HuffmanEntry* e = &tl[br.Peek(lmask)];

  for (;;) {
    if (out > bound) {
      if (br.in > inLimit || out > outLimit) break;
      uint32_t rounds = static_cast<uint32_t>(inLimit - br.in) / kRoundInputBytes;
      uint32_t room = static_cast<uint32_t>(outLimit - out);
      bound = out + (rounds < room ? rounds : room);
    }
    br.Refill();
    if constexpr (kWordBits >= 64) e = &tl[br.Peek(lmask)];
    if (e->Op == kOpLiteral) {
      br.Drop(e->Bits);
      *out++ = static_cast<uint8_t>(e->Value);
      if constexpr (kWordBits < 64) {
        e = &tl[br.Peek(lmask)];
        continue;
      }
      // Two more literals straight from the root table: at most 45 bits in all, which
      // leaves at least 26 for a length code and its extra bits.
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
    if (!br.Resolve(tl, e)) {
      stop = FastStop::kInvalidCode;
      break;
    }
    if (e->Op == kOpLiteral) {
      br.Drop(e->Bits);
      *out++ = static_cast<uint8_t>(e->Value);
      if constexpr (kWordBits < 64) e = &tl[br.Peek(lmask)];
      continue;
    }
    if (e->Op == kOpEndOfBlock) {
      br.Drop(e->Bits);
      stop = FastStop::kEndOfBlock;
      break;
    }
    uint32_t length = br.TakeValue<false>(e);
    // A 64-bit buffer takes the distance code and its extra bits from one refill; a
    // 32-bit one refills for the code and once more where its extra bits need it.
    if constexpr (kWordBits < 64) {
      br.Refill();
    } else {
      br.Ensure(kMaxCodeBits + kOpMaxExtra);
    }
    e = &td[br.Peek(dmask)];
    if (!br.Resolve(td, e)) {
      stop = FastStop::kInvalidCode;
      break;
    }
    uint32_t distance = br.TakeValue<true>(e);
    if constexpr (kWordBits < 64) {
      br.Load();
      e = &tl[br.Peek(lmask)];
    }
    uint32_t pos = static_cast<uint32_t>(out - window);
    if (distance <= pos) {
      if (distance >= 8) {
        CopyFarMatch(out, distance, length);
      } else {
        CopyMatch(out, distance, length);
      }
    } else {
      if (!WindowWrapped) {  // before the entry's first byte
        stop = FastStop::kInvalidCode;
        break;
      }
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
  bitBuffer = static_cast<uint32_t>(br.buffer & ((BitWord{1} << br.count) - 1));
  bitCount = static_cast<uint16_t>(br.count);
  windowPos = static_cast<uint16_t>(out - window);
  return stop;
}

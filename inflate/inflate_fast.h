// The fast inner loop of InflateCodes, used while input and window room are plentiful.
#pragma once

#include <stdint.h>

#include "inflate/bits.h"
#include "inflate/huffman.h"

// One loop round decodes at most two literals and a match of 258 bytes, and reads at
// most 15 bytes ahead of the bytes it consumes. A round must end short of the window's
// end: the flush happens where a store reaches it, which this loop does not do, so a
// round started with 260 bytes of room could leave the position standing at 32,768.
inline constexpr uint32_t kFastOutputRoom = 261;
inline constexpr int32_t kFastInputBytes = 16;

enum class [[nodiscard]] FastStop : uint8_t {
  kEndOfBlock,   // the end-of-block symbol was decoded
  kInvalidCode,  // a code without a symbol, a length without a distance code, or a
                 // distance beyond the entry's output
  kNeedSlow,     // input or window room ran low; the caller goes on symbol by symbol
};

// True when InflateFast may run with the window at `pos`.
inline bool FastPathFits(uint16_t pos) {
  return InputFill - static_cast<int32_t>(InputPos) >= kFastInputBytes &&
         pos <= kWindowSize - kFastOutputRoom;
}

// Decodes symbols of the current block (`td` is never null: a block without distance
// codes passes a table whose one entry is invalid, with `bd` 0) with the caller's bit state and window
// position, taking input straight from InputBuffer. On return the bit state holds fewer
// than eight bits beyond those it came in with, InputPos and RemainingCount account for
// every byte taken, and the window never reached its end.
FastStop InflateFast(HuffmanTable tl, HuffmanTable td, int32_t bl, int32_t bd, uint32_t& bitBuffer,
                     uint16_t& bitCount, uint16_t& windowPos);

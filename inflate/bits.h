// Bit input and output window of the deflate decoder.
//
// Input: the entry's compressed bytes are read through the archive's read layer in
// chunks of up to 32,768 bytes into InputBuffer (decrypted in place at refill time for
// an encrypted entry) and handed out one at a time. NeedBits packs them into a 32-bit
// bit buffer, least significant bit first, which is the bit order of RFC 1951: the
// next bit of the stream is bit 0 of the buffer.
//
// End of input: once the entry's bytes are used up, NextByte answers -1 and every bit
// NeedBits supplies from then on reads as 1. PastEndBits counts those invented bits.
// They always sit above the real ones, so a caller has consumed bits beyond the end
// exactly when fewer bits are left in its buffer than were invented (ConsumedPastEnd).
// Loading such bits ahead of need is harmless; consuming them is what the block
// routines treat as a cut stream.
//
// Output: SlideWindow is a circular history of the entry's output. Bytes are stored at
// WindowPos; each time the window fills, and once at the end of the entry, its bytes
// go to the output file and through the entry's running CRC-32 (FlushWindow).
#pragma once

#include <stdint.h>

inline constexpr uint32_t kWindowSize = 32768;      // SlideWindow bytes in use
inline constexpr uint32_t kInputChunkSize = 32768;  // largest read into InputBuffer
inline constexpr uint32_t kBufferSpare = 2;         // both buffers are allocated 2 bytes longer

// Process-wide state of one run of Inflate; Inflate resets it and owns both buffers.
extern uint8_t* InputBuffer;  // plain compressed bytes of the current chunk
extern uint16_t InputPos;     // next byte of InputBuffer to hand out
extern int32_t InputFill;     // valid bytes in InputBuffer, as the last read reported
extern uint32_t BitBuffer;    // pending input bits between block routines
extern uint16_t BitCount;     // valid low bits of BitBuffer
extern uint16_t PastEndBits;  // bits loaded after the entry's bytes ran out (all 1-bits)
extern uint8_t* SlideWindow;  // circular output history
extern uint16_t WindowPos;    // next byte of SlideWindow to write; 32,768 is never left standing
extern bool WindowWriteFailed;  // a flush of this run was not taken whole by the output file

// MaskBits[i] = 2^i - 1: the mask that keeps the next i bits of a bit buffer.
extern const uint16_t MaskBits[17];

// Reads the next chunk into InputBuffer; returns the first byte or -1 when none came.
int32_t RefillInput();

// The next byte of InputBuffer, refilling it when it is used up; -1 when a refill
// yields no byte.
inline int32_t FetchInputByte() {
  if (static_cast<int32_t>(InputPos) >= InputFill) return RefillInput();
  return InputBuffer[InputPos++];
}

// The next compressed byte of the entry, or -1 once its RemainingCount is used up
// (without touching the archive) or the archive ends early.
int32_t NextByte();

// Makes sure that `count` holds at least n (at most 16) valid bits, loading whole
// bytes only. Past the end of the input every loaded bit is 1.
inline void NeedBits(uint16_t n, uint32_t& buffer, uint16_t& count) {
  while (count < n) {
    int32_t c = NextByte();
    if (c < 0) PastEndBits = static_cast<uint16_t>(PastEndBits + 8);
    buffer |= static_cast<uint32_t>(c) << count;
    count = static_cast<uint16_t>(count + 8);
  }
}

// Drops the n lowest bits; never more than NeedBits made valid.
inline void DumpBits(uint16_t n, uint32_t& buffer, uint16_t& count) {
  buffer >>= n;
  count = static_cast<uint16_t>(count - n);
}

// The next n (at most 16) bits as a number, the first bit least significant.
inline uint32_t TakeBits(uint16_t n, uint32_t& buffer, uint16_t& count) {
  NeedBits(n, buffer, count);
  uint32_t field = buffer & MaskBits[n];
  DumpBits(n, buffer, count);
  return field;
}

// True when a bit state whose count is `count` has consumed invented bits.
inline bool ConsumedPastEnd(uint16_t count) { return count < PastEndBits; }

// Writes the first `count` (1 to 32,768) bytes of SlideWindow to the entry's output file
// in one write and folds them into its RunningCrc. A write that fails or falls short
// sets WindowWriteFailed; decoding goes on, and Inflate reports it at the end.
void FlushWindow(uint32_t count);

// Accounts for n bytes just stored at `pos`: a window that has become full is flushed
// and `pos` starts over at 0. Stores never run past the window's end.
inline void AdvanceWindow(uint32_t n, uint16_t& pos) {
  pos = static_cast<uint16_t>(pos + n);
  if (pos == kWindowSize) {
    FlushWindow(kWindowSize);
    pos = 0;
  }
}

// Stores one output byte at `pos`, with the flush rule above.
inline void PutWindowByte(uint8_t byte, uint16_t& pos) {
  SlideWindow[pos] = byte;
  AdvanceWindow(1, pos);
}

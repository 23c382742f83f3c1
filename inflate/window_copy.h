// Copying earlier output inside the sliding window: the body of a deflate match.
//
// A match copies `length` bytes from `distance` bytes back, one byte after another, so
// a distance shorter than the length repeats the last `distance` bytes. The window is
// circular and its bytes past the write position are still history that later matches
// may read, so a copy writes exactly its own bytes and never a byte beyond them.
#pragma once

#include <stdint.h>
#include <string.h>

// Eight bytes from src to dst, loaded before they are stored.
inline void CopyEight(uint8_t* dst, const uint8_t* src) {
  uint64_t v;
  memcpy(&v, src, sizeof v);
  memcpy(dst, &v, sizeof v);
}

// Copies a match whose source lies wholly before `dst` in memory (distance 1 or more,
// dst - distance inside the same buffer) with the repeat semantics of deflate.
//
// Eight bytes move at a time whenever each block of eight reads only bytes that are
// already final: with a distance of eight or more that is always so, and the last,
// partial block is done as a whole block that ends at the match's end and overlaps the
// one before. With a shorter distance d the first eight bytes go one at a time; after
// them the bytes from dst - d on repeat with period d, so the rest is copied from the
// nearest multiple of d that is at least eight bytes back.
inline void CopyMatch(uint8_t* dst, uint32_t distance, uint32_t length) {
  uint8_t* const end = dst + length;
  if (length >= 8) {
    if (distance >= 8) {
      do {
        CopyEight(dst, dst - distance);
        dst += 8;
      } while (end - dst >= 8);
      if (dst != end) CopyEight(end - 8, end - 8 - distance);
      return;
    }
    for (int i = 0; i < 8; ++i) dst[i] = dst[i - static_cast<int>(distance)];
    dst += 8;
    uint32_t period = distance * ((8 + distance - 1) / distance);
    while (end - dst >= 8) {
      CopyEight(dst, dst - period);
      dst += 8;
    }
  } else if (distance >= length && length >= 4) {
    uint32_t head, tail;  // two overlapping words cover 4 to 7 bytes
    memcpy(&head, dst - distance, 4);
    memcpy(&tail, end - distance - 4, 4);
    memcpy(dst, &head, 4);
    memcpy(end - 4, &tail, 4);
    return;
  }
  while (dst != end) {
    *dst = *(dst - distance);
    ++dst;
  }
}

// Copies a match of `length` bytes from `distance` (1 to 32,768) bytes back in the
// circular SlideWindow to `pos`, in pieces that stop at the window's end for source and
// destination alike, flushing the window whenever it fills.
void CopyFromHistory(uint32_t distance, uint32_t length, uint16_t& pos);

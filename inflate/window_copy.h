// Copying earlier output inside the sliding window: the body of a deflate match.
//
// A match copies `length` bytes from `distance` bytes back, one byte after another, so
// a distance shorter than the length repeats the last `distance` bytes. The window is
// circular and its bytes past the write position are still history that later matches
// may read, so a copy leaves every byte beyond its own as it found it: either it never
// writes there, or (CopyFarMatch) it puts back what it overwrote.
#pragma once

#include <stdint.h>
#include <string.h>

// Eight bytes from src to dst, loaded before they are stored.
inline void CopyEight(uint8_t* dst, const uint8_t* src) {
  uint64_t v;
  memcpy(&v, src, sizeof v);
  memcpy(dst, &v, sizeof v);
}

// Copies `length` (8 or more) bytes forward from src to dst, eight at a time, when
// every block of eight reads only bytes that are final by then: the source ends at
// least eight bytes before the destination's block (src + 8 <= dst), or the two ranges
// do not overlap. The last, partial block is done as a whole block that ends at the
// copy's end and overlaps the one before.
inline void CopyBlocks(uint8_t* dst, const uint8_t* src, uint32_t length) {
  uint8_t* const end = dst + length;
  const uint8_t* const srcEnd = src + length;
  do {
    CopyEight(dst, src);
    dst += 8;
    src += 8;
  } while (end - dst >= 8);
  if (dst != end) CopyEight(end - 8, srcEnd - 8);
}

// Copies a match of `length` (1 to 258) bytes from `distance` (8 or more) bytes back in
// words of eight: always two, then as many more as the length needs, so that most
// matches take no decision at all. The words may store up to fifteen bytes past the
// match's end. Those bytes are still history (the circular window's oldest), so they
// are loaded first and stored back afterwards: the window ends up exactly as a
// byte-by-byte copy leaves it. The buffer must have 16 bytes after dst + length. With a
// distance of eight or more every word reads only bytes that are final by then.
inline void CopyFarMatch(uint8_t* dst, uint32_t distance, uint32_t length) {
  uint8_t* const end = dst + length;
  uint8_t after[16];
  memcpy(after, end, sizeof after);
  const uint8_t* src = dst - distance;
  CopyEight(dst, src);
  CopyEight(dst + 8, src + 8);
  for (uint32_t i = 16; i < length; i += 8) CopyEight(dst + i, src + i);
  memcpy(end, after, sizeof after);
}

// Copies a match whose source lies wholly before `dst` in memory (distance 1 or more,
// dst - distance inside the same buffer) with the repeat semantics of deflate.
//
// With a distance of eight or more the copy moves blocks of eight. With a shorter
// distance d the first eight bytes go one at a time; after them the bytes from dst - d
// on repeat with period d, so the rest is copied from the nearest multiple of d that is
// at least eight bytes back. Short copies that do not overlap their source move as two
// overlapping words. (Pieces of a match split at the window's end may be of any length.)
inline void CopyMatch(uint8_t* dst, uint32_t distance, uint32_t length) {
  if (length >= 8) {
    if (distance >= 8) {
      CopyBlocks(dst, dst - distance, length);
      return;
    }
    for (int i = 0; i < 8; ++i) dst[i] = dst[i - static_cast<int>(distance)];
    uint32_t period = distance * ((8 + distance - 1) / distance);
    if (length >= 16) {
      CopyBlocks(dst + 8, dst + 8 - period, length - 8);
      return;
    }
    dst += 8;
    length -= 8;
  } else if (distance >= length && length >= 2) {
    const uint8_t* src = dst - distance;
    if (length >= 4) {
      uint32_t head, tail;
      memcpy(&head, src, 4);
      memcpy(&tail, src + length - 4, 4);
      memcpy(dst, &head, 4);
      memcpy(dst + length - 4, &tail, 4);
    } else {  // 2 or 3 bytes
      uint16_t head, tail;
      memcpy(&head, src, 2);
      memcpy(&tail, src + length - 2, 2);
      memcpy(dst, &head, 2);
      memcpy(dst + length - 2, &tail, 2);
    }
    return;
  }
  const uint8_t* src = dst - distance;
  for (uint32_t i = 0; i < length; ++i) dst[i] = src[i];
}

// Copies a match of `length` bytes from `distance` (1 to 32,768) bytes back in the
// circular SlideWindow to `pos`, in pieces that stop at the window's end for source and
// destination alike, flushing the window whenever it fills.
void CopyFromHistory(uint32_t distance, uint32_t length, uint16_t& pos);

// The block of texts a package carries in its program image: the caption, the wait
// window's text and the contact lines of the fatal messages. sfx-pack finds it by its
// tag in a copy of the stub and rewrites the texts there; the program reads them from
// its own image.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Fifteen letters and a zero byte; found exactly once in a stub. No byte of it, nor of
// any text (control bytes are refused), is one of the archive marker's 0x0F 0xF0 pair,
// and sfx-pack checks the edited stub for the marker all the same.
inline constexpr char kBrandingTag[16] = "sfx.texts.block";

// The caption fills the wait window's title field of 17 UTF-16 units (the template's
// layout needs exactly 17: shorter captions are padded with spaces); the wait text
// fills at most 96 of the item block's 98 units (class and terminator take the rest).
inline constexpr uint32_t kCaptionCapacity = 17;
inline constexpr uint32_t kWaitTextCapacity = 96;
inline constexpr uint32_t kContactCapacity = 63;
inline constexpr int kContactCount = 5;

// Contact lines, in the order of the block.
enum BrandingContact { kContactEmail, kContactWeb, kContactWeb2, kContactEmail2, kContactWeb3 };

// Each text is a length byte and its Windows-1252 bytes, zero-filled to its capacity;
// every member is a byte, so there is no padding: the layout is the same everywhere.
struct BrandingBlock {
  char tag[16];
  uint8_t captionLength;
  char caption[kCaptionCapacity];
  uint8_t waitTextLength;
  char waitText[kWaitTextCapacity];
  struct Contact {
    uint8_t length;
    char text[kContactCapacity];
  } contacts[kContactCount];
};
static_assert(sizeof(BrandingBlock) == 16 + 18 + 97 + kContactCount * 64);

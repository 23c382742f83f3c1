// Entry names: the bytes of a record's name turned into the UTF-8 text the system uses.
#pragma once

#include <stdint.h>

#include "platform/byte_string.h"

// Turns a record's name into UTF-8, in place. With general-purpose flag bit 11 the name
// is UTF-8 already and must be valid; without it the name is 8-bit text in the machine's
// ANSI code page, read as the "A" file calls read it. False for invalid UTF-8 and when
// memory runs out.
[[nodiscard]] bool DecodeEntryName(uint16_t flags, plat::ByteString& name);

// Entry names: UTF-8 under flag bit 11, the ANSI code page otherwise.
//
// Packages made for this system before it spoke UTF-16 to Windows hold names in the ANSI
// code page of the maker's machine, without bit 11; Windows read them through the "A"
// calls, so the same conversion keeps every such package naming the same files. Names
// with bit 11 are checked strictly, so that a malformed sequence cannot be read as some
// other character, and every later rule (".EXE", the path rules) sees the final text.
#include "archive/names.h"

#include "archive/record.h"
#include "platform/platform.h"

bool DecodeEntryName(uint16_t flags, plat::ByteString& name) {
  if (flags & kFlagUtf8Name) return plat::IsValidUtf8(name.data, name.length);
  bool ascii = true;
  for (uint32_t i = 0; i < name.length && ascii; ++i) ascii = static_cast<uint8_t>(name.data[i]) < 0x80;
  if (ascii) return true;
  plat::ScopedByteString converted;
  return plat::AnsiToUtf8(name.data, name.length, converted) && name.Assign(converted.data, converted.length);
}

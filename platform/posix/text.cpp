// POSIX stand-in for the machine's ANSI code page, Windows-1252, and its conversions.
//
// Bytes below 0x80 and from 0xA0 are the code points of the same value; bytes 0x80 to
// 0x9F follow the table, where the five bytes Windows-1252 leaves undefined read as the
// control characters of the same value, as Windows' own table reads them. The reverse
// conversion looks a code point up in the same table, so it is exact both ways.
#include <string>

#include "platform/byte_string.h"
#include "platform/platform.h"
#include "platform/posix/backend.h"

namespace plat {
namespace {

const uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The Windows-1252 byte of a code point, or -1 when it has none.
int Cp1252Byte(uint32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == c) return 0x80 + i;
  return -1;
}

}  // namespace

bool AnsiToUtf8(const char* text, uint32_t count, ByteString& out) {
  std::string converted;
  for (uint32_t i = 0; i < count; ++i) posix::AppendUtf8(converted, posix::Cp1252CodePoint(static_cast<unsigned char>(text[i])));
  return out.Assign(converted.data(), static_cast<uint32_t>(converted.size()));
}

bool Utf8ToAnsi(const char* text, uint32_t count, ByteString& out) {
  std::string converted;
  for (uint32_t i = 0; i < count;) {
    int32_t c = NextUtf8(text, count, &i);
    int b = c < 0 ? -1 : Cp1252Byte(static_cast<uint32_t>(c));
    if (b < 0) return false;
    converted += static_cast<char>(b);
  }
  return out.Assign(converted.data(), static_cast<uint32_t>(converted.size()));
}

}  // namespace plat

namespace plat::posix {

uint32_t Cp1252CodePoint(unsigned char b) { return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b; }

void AppendUtf8(std::string& out, uint32_t c) {
  char bytes[4];
  out.append(bytes, EncodeUtf8(c, bytes));
}

}  // namespace plat::posix

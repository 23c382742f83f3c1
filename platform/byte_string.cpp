// Counted 8-bit strings and heap buffers over the platform heap.
#include "platform/byte_string.h"

#include <string.h>

#include "platform/platform.h"

namespace plat {

uint32_t TextLength(const char* text) {
  uint32_t n = 0;
  while (text[n]) ++n;
  return n;
}

// A lead byte gives the count of continuation bytes (10xxxxxx) that follow; the value
// must need that many, and lie outside the surrogates and below U+110000.
int32_t NextUtf8(const char* text, uint32_t count, uint32_t* at) {
  static const uint32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
  const auto* p = reinterpret_cast<const uint8_t*>(text);
  uint8_t lead = p[(*at)++];
  if (lead < 0x80) return lead;
  uint32_t more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  if (more == 0 || lead > 0xF4 || count - *at < more) return -1;
  uint32_t value = lead & (0x3Fu >> more);
  for (uint32_t k = 0; k < more; ++k, ++*at) {
    if ((p[*at] & 0xC0) != 0x80) return -1;
    value = (value << 6) | (p[*at] & 0x3F);
  }
  if (value < kLeast[more] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return -1;
  return static_cast<int32_t>(value);
}

uint32_t EncodeUtf8(uint32_t codePoint, char out[4]) {
  static const uint8_t kLead[4] = {0, 0xC0, 0xE0, 0xF0};
  uint32_t more = codePoint < 0x80 ? 0 : codePoint < 0x800 ? 1 : codePoint < 0x10000 ? 2 : 3;
  out[0] = static_cast<char>(more == 0 ? codePoint : kLead[more] | (codePoint >> (6 * more)));
  for (uint32_t k = 1; k <= more; ++k) out[k] = static_cast<char>(0x80 | ((codePoint >> (6 * (more - k))) & 0x3F));
  return more + 1;
}

bool IsValidUtf8(const char* text, uint32_t count) {
  for (uint32_t i = 0; i < count;)
    if (NextUtf8(text, count, &i) < 0) return false;
  return true;
}

static uint32_t UnitsOfLead(unsigned char b) { return (b & 0xC0) == 0x80 ? 0 : b >= 0xF0 ? 2 : 1; }

uint32_t Utf16Units(const char* text, uint32_t count) {
  uint32_t units = 0;
  for (uint32_t i = 0; i < count; ++i) units += UnitsOfLead(static_cast<unsigned char>(text[i]));
  return units;
}

uint32_t Utf8PrefixLength(const char* text, uint32_t count, uint32_t units) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t lead = UnitsOfLead(static_cast<unsigned char>(text[i]));
    if (lead > units) break;
    units -= lead;
    n = i + 1;
    // A sequence's continuation bytes go with it.
    while (n < count && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) ++n;
    i = n - 1;
  }
  return n;
}

// Grows by doubling (from 32 bytes), so appending stays linear over a string's life.
bool ByteString::Reserve(uint32_t needed) {
  if (needed <= capacity && data) return true;
  if (needed > 0x7FFFFFF0u) return false;
  uint32_t size = capacity ? capacity : 32;
  while (size < needed) size = size > 0x3FFFFFF0u ? needed : size * 2;
  char* grown = static_cast<char*>(Allocate(size + 1));
  if (!grown) return false;
  uint32_t kept = length;
  if (data) memcpy(grown, data, kept);
  grown[kept] = 0;
  Release();
  data = grown;
  length = kept;
  capacity = size;
  return true;
}

bool ByteString::Assign(const char* bytes, uint32_t count) {
  if (count > 0 && bytes >= data && data && bytes < data + length) {
    memmove(data, bytes, count);  // a piece of itself: already fits
    Truncate(count);
    return true;
  }
  uint32_t old = length;
  length = 0;  // nothing of the old content needs to survive the growth
  if (!Reserve(count)) {
    length = old;
    return false;
  }
  if (count) memcpy(data, bytes, count);
  length = count;
  data[length] = 0;
  return true;
}

bool ByteString::Append(const char* bytes, uint32_t count) {
  if (count == 0) return Reserve(length);
  if (length + count < length) return false;
  if (data && bytes >= data && bytes < data + length) {
    // Appending a piece of itself: copy it out before the buffer may move.
    ByteString copy;
    if (!copy.Assign(bytes, count)) return false;
    bool ok = Append(copy.data, count);
    copy.Release();
    return ok;
  }
  if (!Reserve(length + count)) return false;
  memcpy(data + length, bytes, count);
  length += count;
  data[length] = 0;
  return true;
}

bool ByteString::AppendText(const char* text) { return Append(text, TextLength(text)); }

void ByteString::Truncate(uint32_t count) {
  if (count < length) {
    length = count;
    data[length] = 0;
  }
}

void ByteString::Release() {
  plat::Release(data);
  data = nullptr;
  length = capacity = 0;
}

int32_t ByteString::Find(const char* needle, uint32_t needleLength, uint32_t from) const {
  if (needleLength == 0 || length < needleLength) return needleLength == 0 ? 0 : -1;
  for (uint32_t i = from; i + needleLength <= length; ++i)
    if (memcmp(data + i, needle, needleLength) == 0) return static_cast<int32_t>(i);
  return -1;
}

ScopedBuffer::ScopedBuffer(size_t size) : data_(static_cast<uint8_t*>(Allocate(size))) {}
ScopedBuffer::~ScopedBuffer() { plat::Release(data_); }

}  // namespace plat

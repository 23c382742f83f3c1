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

// Counted 8-bit strings and heap buffers of the system, over the platform heap.
//
// The system builds paths and messages from byte strings in the ANSI code page. The
// standard library's strings would multiply the Windows program's size, so these two
// small types stand in for them. A ByteString is trivially destructible, so it can be a
// process-wide variable without a global constructor or destructor; functions that own
// one locally use ScopedByteString, which releases it on every path.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace plat {

struct ByteString {
  char* data = nullptr;    // zero-terminated when not null
  uint32_t length = 0;
  uint32_t capacity = 0;   // bytes usable before the terminator

  // Every change returns false when memory runs out, leaving the string as it was.
  [[nodiscard]] bool Assign(const char* bytes, uint32_t count);
  [[nodiscard]] bool Append(const char* bytes, uint32_t count);
  [[nodiscard]] bool AppendText(const char* text);  // up to its terminator
  [[nodiscard]] bool AppendString(const ByteString& other) { return Append(other.data, other.length); }
  // Keeps the first `count` bytes.
  void Truncate(uint32_t count);
  void Release();

  bool Empty() const { return length == 0; }
  // The bytes followed by a terminator; "" for a string that never held anything.
  const char* Text() const { return data ? data : ""; }
  // Byte offset of the first occurrence of `needle`, or -1.
  int32_t Find(const char* needle, uint32_t needleLength, uint32_t from = 0) const;

 private:
  [[nodiscard]] bool Reserve(uint32_t needed);
};

struct ScopedByteString : ByteString {
  ScopedByteString() = default;
  ScopedByteString(const ScopedByteString&) = delete;
  ScopedByteString& operator=(const ScopedByteString&) = delete;
  ~ScopedByteString() { Release(); }
};

// A heap block released when it goes out of scope; null when the allocation failed.
class ScopedBuffer {
 public:
  explicit ScopedBuffer(size_t size);
  ScopedBuffer(const ScopedBuffer&) = delete;
  ScopedBuffer& operator=(const ScopedBuffer&) = delete;
  ~ScopedBuffer();
  uint8_t* get() const { return data_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  uint8_t* data_;
};

// Length of a zero-terminated text.
uint32_t TextLength(const char* text);

// Decodes the UTF-8 sequence at text[*at] and moves *at past it. Returns the code
// point, or -1 for bytes that are not well-formed UTF-8 (a stray or missing
// continuation byte, an overlong form, a surrogate, a value above U+10FFFF).
int32_t NextUtf8(const char* text, uint32_t count, uint32_t* at);

// Writes a code point (below U+110000) as UTF-8 into `out`; returns the bytes written.
uint32_t EncodeUtf8(uint32_t codePoint, char out[4]);

// True when the `count` bytes are well-formed UTF-8 throughout.
[[nodiscard]] bool IsValidUtf8(const char* text, uint32_t count);

// How many characters (UTF-16 units, the measure of Windows' path limits) the first
// `count` bytes of a UTF-8 text hold: every byte that starts a sequence is one, a
// four-byte sequence two.
uint32_t Utf16Units(const char* text, uint32_t count);

// Bytes of the longest start of the text (`count` bytes) that holds at most `units`
// characters and ends where a sequence ends.
uint32_t Utf8PrefixLength(const char* text, uint32_t count, uint32_t units);

}  // namespace plat

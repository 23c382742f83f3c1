// UTF-16 at the Win32 backend's boundary: the system's 8-bit texts converted for the
// "W" calls, and the calls' UTF-16 results converted back.
#pragma once

#include <windows.h>

#include "platform/byte_string.h"

namespace plat::win32 {

// `count` bytes of `text` (up to its terminator when count is -1) in code page `page`,
// followed by `tail` (UTF-8, none when null), as zero-terminated UTF-16 on the process
// heap, released with the object. get() is null when a UTF-8 part is not valid UTF-8 or
// memory runs out: the call it was meant for then fails instead of naming another file.
class WideText {
 public:
  explicit WideText(const char* text, int count = -1, UINT page = CP_UTF8, const char* tail = nullptr);
  ~WideText();
  WideText(const WideText&) = delete;
  WideText& operator=(const WideText&) = delete;
  wchar_t* get() const { return text_; }
  int units() const { return units_; }  // without the terminator

 private:
  wchar_t* text_ = nullptr;
  int units_ = 0;
};

// `units` UTF-16 units into code page `page`. False when a character has no exact form
// there (no best-fit substitute), for an unpaired surrogate, or when memory runs out.
[[nodiscard]] bool Narrow(const wchar_t* text, int units, UINT page, ByteString& out);

// `units` UTF-16 units as zero-terminated UTF-8 in a buffer of `size` bytes, which must
// hold kUtf8BytesPerUnit bytes per unit and the terminator. Returns the bytes written:
// none (an empty text) for a text with an unpaired surrogate.
uint32_t StoreUtf8(const wchar_t* text, uint32_t units, char* buffer, uint32_t size);

}  // namespace plat::win32

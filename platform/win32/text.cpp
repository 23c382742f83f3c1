// Win32 text conversions of the layer: UTF-8 and the ANSI code page to and from UTF-16.
#include <windows.h>

#include "platform/byte_string.h"
#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace plat::win32 {
namespace {

// UTF-8 is converted strictly: a text that is not UTF-8 converts to nothing.
int Widen(const char* text, int count, UINT page, wchar_t* to, int room) {
  if (count == 0) return 0;
  return MultiByteToWideChar(page, page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, text, count, to, room);
}

// An unpaired surrogate has no UTF-8 form: the conversion would put U+FFFD in its place
// and the path would name another file.
bool IsWellFormed(const wchar_t* text, int units) {
  for (int i = 0; i < units; ++i) {
    bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
    if (high && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
    else if (text[i] >= 0xD800 && text[i] <= 0xDFFF) return false;
  }
  return true;
}

}  // namespace

WideText::WideText(const char* text, int count, UINT page, const char* tail) {
  if (count < 0) count = static_cast<int>(TextLength(text));
  int tailCount = tail ? static_cast<int>(TextLength(tail)) : 0;
  int head = Widen(text, count, page, nullptr, 0);
  int rest = Widen(tail, tailCount, CP_UTF8, nullptr, 0);
  if ((head == 0 && count > 0) || (rest == 0 && tailCount > 0)) return;
  text_ = static_cast<wchar_t*>(Allocate(static_cast<size_t>(head + rest + 1) * sizeof(wchar_t)));
  if (!text_) return;
  Widen(text, count, page, text_, head);
  Widen(tail, tailCount, CP_UTF8, text_ + head, rest);
  units_ = head + rest;
  text_[units_] = 0;
}

WideText::~WideText() { Release(text_); }

bool Narrow(const wchar_t* text, int units, UINT page, ByteString& out) {
  if (units == 0) return out.Assign("", 0);
  if (!IsWellFormed(text, units)) return false;
  // Only the code pages other than UTF-8 take the best-fit flag and report a default
  // character.
  BOOL usedDefault = FALSE;
  DWORD flags = page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL* used = page == CP_UTF8 ? nullptr : &usedDefault;
  int n = WideCharToMultiByte(page, flags, text, units, nullptr, 0, nullptr, used);
  if (n <= 0 || usedDefault) return false;
  ScopedBuffer buffer(static_cast<size_t>(n));
  if (!buffer) return false;
  char* bytes = reinterpret_cast<char*>(buffer.get());
  return WideCharToMultiByte(page, flags, text, units, bytes, n, nullptr, used) == n && !usedDefault &&
         out.Assign(bytes, static_cast<uint32_t>(n));
}

uint32_t StoreUtf8(const wchar_t* text, uint32_t units, char* buffer, uint32_t size) {
  if (size == 0) return 0;
  int n = units == 0 || !IsWellFormed(text, static_cast<int>(units)) ? 0
                     : WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), buffer,
                                           static_cast<int>(size - 1), nullptr, nullptr);
  if (n < 0) n = 0;
  buffer[n] = 0;
  return static_cast<uint32_t>(n);
}

}  // namespace plat::win32

namespace plat {

bool AnsiToUtf8(const char* text, uint32_t count, ByteString& out) {
  win32::WideText wide(text, static_cast<int>(count), CP_ACP);
  return (wide.get() || count == 0) && win32::Narrow(wide.get(), wide.units(), CP_UTF8, out);
}

// A machine whose ANSI code page is UTF-8 writes every character as it is.
bool Utf8ToAnsi(const char* text, uint32_t count, ByteString& out) {
  win32::WideText wide(text, static_cast<int>(count));
  if (!wide.get() && count > 0) return false;
  if (GetACP() == CP_UTF8) return out.Assign(text, count);
  return win32::Narrow(wide.get(), wide.units(), CP_ACP, out);
}

}  // namespace plat

// Win32 path calls of the layer: search, directories, deletion, temp, own and short path.
// Paths arrive in UTF-8 and come back in UTF-8; the "W" calls see UTF-16.
#include <windows.h>

#include "platform/byte_string.h"
#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace plat {

bool FindAnyMatch(const char* pattern) {
  win32::WideText name(pattern);
  if (!name.get()) return false;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(name.get(), &found);
  FindClose(h);
  return h != INVALID_HANDLE_VALUE;
}

bool MakeDirectory(const char* path) {
  win32::WideText name(path);
  return name.get() && CreateDirectoryW(name.get(), nullptr) != FALSE;
}

bool RemoveFile(const char* path) {
  win32::WideText name(path);
  return name.get() && DeleteFileW(name.get()) != FALSE;
}

bool RemoveEmptyDirectory(const char* path) {
  win32::WideText name(path);
  return name.get() && RemoveDirectoryW(name.get()) != FALSE;
}

// Both calls write into a UTF-16 buffer of one unit more than the characters that fit
// the caller's buffer once converted.
uint32_t QueryTempPath(char* buffer, uint32_t size) {
  uint32_t units = size == 0 ? 0 : (size - 1) / kUtf8BytesPerUnit;
  ScopedBuffer wide((units + 1) * sizeof(wchar_t));
  if (!wide || size == 0) return 0;
  wchar_t* text = reinterpret_cast<wchar_t*>(wide.get());
  DWORD n = GetTempPathW(units + 1, text);
  if (n > units) return 0;  // a larger value is the size it would have needed
  return win32::StoreUtf8(text, n, buffer, size);
}

uint32_t QuerySelfPath(char* buffer, uint32_t size) {
  if (size == 0) return 0;
  uint32_t units = (size - 1) / kUtf8BytesPerUnit;
  ScopedBuffer wide((units + 1) * sizeof(wchar_t));
  if (!wide) return win32::StoreUtf8(nullptr, 0, buffer, size);
  wchar_t* text = reinterpret_cast<wchar_t*>(wide.get());
  DWORD n = GetModuleFileNameW(nullptr, text, units + 1);
  if (n > units) n = units;
  return win32::StoreUtf8(text, n, buffer, size);
}

bool QueryShortPath(const char* path, ByteString& out) {
  win32::WideText name(path);
  if (!name.get()) return false;
  DWORD needed = GetShortPathNameW(name.get(), nullptr, 0);
  if (needed == 0) return false;
  ScopedBuffer wide(needed * sizeof(wchar_t));
  if (!wide) return false;
  wchar_t* text = reinterpret_cast<wchar_t*>(wide.get());
  DWORD n = GetShortPathNameW(name.get(), text, needed);
  if (n == 0 || n >= needed) return false;
  // The same path back means the volume gave no short name where one was needed.
  bool same = static_cast<int>(n) == name.units();
  for (DWORD i = 0; same && i < n; ++i) same = text[i] == name.get()[i];
  return !same && win32::Narrow(text, static_cast<int>(n), CP_UTF8, out);
}

}  // namespace plat

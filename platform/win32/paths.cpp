// Win32 path calls of the layer: search, directories, deletion, temp and own path.
#include <windows.h>

#include "platform/platform.h"

namespace plat {

bool FindAnyMatch(const char* pattern) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(pattern, &found);
  FindClose(h);
  return h != INVALID_HANDLE_VALUE;
}

bool MakeDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != FALSE; }

bool RemoveFile(const char* path) { return DeleteFileA(path) != FALSE; }

bool RemoveEmptyDirectory(const char* path) { return RemoveDirectoryA(path) != FALSE; }

uint32_t QueryTempPath(char* buffer, uint32_t size) {
  DWORD n = GetTempPathA(size, buffer);
  return n < size ? n : 0;  // a larger value is the size it would have needed
}

uint32_t QuerySelfPath(char* buffer, uint32_t size) {
  if (size == 0) return 0;
  DWORD n = GetModuleFileNameA(nullptr, buffer, size);
  if (n >= size) n = size - 1;
  buffer[n] = 0;
  return n;
}

}  // namespace plat

// Win32 file calls of the layer, with the exact access, share and creation modes; paths
// arrive in UTF-8 and go to the "W" calls.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace plat {

static HANDLE H(FileHandle f) { return reinterpret_cast<HANDLE>(f); }

FileHandle OpenForReading(const char* path) {
  win32::WideText name(path);
  if (!name.get()) return kInvalidFile;
  HANDLE h = CreateFileW(name.get(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<FileHandle>(h);
}

bool QueryFileSize(FileHandle file, uint32_t* size) {
  DWORD s = GetFileSize(H(file), nullptr);
  if (s == INVALID_FILE_SIZE) return false;
  *size = s;
  return true;
}

int32_t SeekFile(FileHandle file, int32_t distance, MoveMethod method) {
  DWORD pos = SetFilePointer(H(file), distance, nullptr, method);
  return pos == INVALID_SET_FILE_POINTER ? -1 : static_cast<int32_t>(pos);
}

bool ReadBytes(FileHandle file, void* buffer, uint32_t count, uint32_t* got) {
  DWORD n = 0;
  BOOL ok = ReadFile(H(file), buffer, count, &n, nullptr);
  *got = ok ? n : 0;
  return ok != FALSE;
}

FileHandle CreateOutputFile(const char* path) {
  win32::WideText name(path);
  if (!name.get()) return kInvalidFile;
  HANDLE h = CreateFileW(name.get(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<FileHandle>(h);
}

bool WriteBytes(FileHandle file, const void* data, uint32_t count, uint32_t* written) {
  DWORD n = 0;
  BOOL ok = WriteFile(H(file), data, count, &n, nullptr);
  *written = n;
  return ok != FALSE;
}

bool SetDosFileTime(FileHandle file, uint16_t dosDate, uint16_t dosTime) {
  FILETIME t;
  if (!DosDateTimeToFileTime(dosDate, dosTime, &t)) return false;
  return SetFileTime(H(file), &t, &t, &t) != FALSE;
}

bool CloseFileHandle(FileHandle file) { return CloseHandle(H(file)) != FALSE; }

}  // namespace plat

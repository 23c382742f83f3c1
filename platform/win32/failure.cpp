// Win32 failure codes and the system's texts for them.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace plat {

constexpr DWORD kReasonUnits = 256;

uint32_t LastFailureCode() { return GetLastError(); }

// The system's texts end in a line break (and some in a full stop before it); the break
// is dropped so that the text sits on its own line of a message box.
uint32_t DescribeFailure(uint32_t code, char* buffer, uint32_t size) {
  if (size == 0) return 0;
  wchar_t text[kReasonUnits];
  DWORD units = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                               kReasonUnits, nullptr);
  while (units > 0 && (text[units - 1] == L'\r' || text[units - 1] == L'\n' || text[units - 1] == L' ')) --units;
  // UTF-8 takes up to kUtf8BytesPerUnit bytes a unit: keep what fits the caller's buffer.
  if (units > (size - 1) / kUtf8BytesPerUnit) units = (size - 1) / kUtf8BytesPerUnit;
  uint32_t n = units > 0 ? win32::StoreUtf8(text, units, buffer, size) : 0;
  if (n == 0) {
    // No text from the system: the code's number in decimal.
    char digits[10];
    uint32_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + code % 10);
      code /= 10;
    } while (code != 0);
    while (count > 0 && n + 1 < size) buffer[n++] = digits[--count];
  }
  buffer[n] = 0;
  return n;
}

}  // namespace plat

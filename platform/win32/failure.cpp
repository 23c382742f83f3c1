// Win32 failure codes and the system's texts for them.
#include <windows.h>

#include "platform/platform.h"

namespace plat {

uint32_t LastFailureCode() { return GetLastError(); }

// The system's texts end in a line break (and some in a full stop before it); the break
// is dropped so that the text sits on its own line of a message box.
uint32_t DescribeFailure(uint32_t code, char* buffer, uint32_t size) {
  if (size == 0) return 0;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                           buffer, size, nullptr);
  if (n >= size) n = 0;
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' ')) --n;
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

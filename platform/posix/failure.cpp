// POSIX stand-in for the Win32 failure codes and their texts: errno and strerror.
#include <errno.h>
#include <string.h>

#include "platform/platform.h"

namespace plat {

uint32_t LastFailureCode() { return static_cast<uint32_t>(errno); }

uint32_t DescribeFailure(uint32_t code, char* buffer, uint32_t size) {
  if (size == 0) return 0;
  const char* text = strerror(static_cast<int>(code));
  uint32_t n = 0;
  while (text[n] && n + 1 < size) {
    buffer[n] = text[n];
    ++n;
  }
  buffer[n] = 0;
  return n;
}

}  // namespace plat

// The wrapper the linker puts in front of plat::WriteBytes (-Wl,--wrap with its
// mangled name, see the CMakeLists): the write itself is done whole, only the count
// reported back is made short, so callers must compare it with what they asked.
#include "tests/inflate/short_write.h"

#include <stdint.h>

namespace sfxtest {
bool writesReportOneFewer = false;
}  // namespace sfxtest

extern "C" bool __real__ZN4plat10WriteBytesElPKvjPj(intptr_t file, const void* data, uint32_t count,
                                                     uint32_t* written);

extern "C" bool __wrap__ZN4plat10WriteBytesElPKvjPj(intptr_t file, const void* data, uint32_t count,
                                                     uint32_t* written) {
  bool ok = __real__ZN4plat10WriteBytesElPKvjPj(file, data, count, written);
  if (ok && sfxtest::writesReportOneFewer && *written > 0) --*written;
  return ok;
}

// The wrapper the linker puts in front of plat::WriteBytes (-Wl,--wrap with its
// mangled name, see the CMakeLists): the write itself is done whole, only the count
// reported back is made short, so callers must compare it with what they asked.
#include "tests/inflate/short_write.h"

#include <stdint.h>

namespace sfxtest {
bool writesReportOneFewer = false;
}  // namespace sfxtest

// The real function and the wrapper by their link names, "__real_" and "__wrap_" before
// the mangled name the build gives as SFX_WRITE_BYTES_SYMBOL.
bool RealWriteBytes(intptr_t file, const void* data, uint32_t count, uint32_t* written)
    __asm__("__real_" SFX_WRITE_BYTES_SYMBOL);
bool WrapWriteBytes(intptr_t file, const void* data, uint32_t count, uint32_t* written)
    __asm__("__wrap_" SFX_WRITE_BYTES_SYMBOL);

bool WrapWriteBytes(intptr_t file, const void* data, uint32_t count, uint32_t* written) {
  bool ok = RealWriteBytes(file, data, count, written);
  if (ok && sfxtest::writesReportOneFewer && *written > 0) --*written;
  return ok;
}

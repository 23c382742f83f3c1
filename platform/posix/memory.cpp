// POSIX stand-in for the process heap, counting what is live so tests can find leaks.
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"
#include "platform/posix/backend.h"

namespace plat {

// Each block carries its size in a 16-byte prefix, which keeps the caller's block
// aligned like malloc's. A new block is filled with 0xA5, so that code reading memory
// it never wrote gets a recognisable pattern in tests rather than zeros by chance.
void* Allocate(size_t size) {
  auto& s = posix::Current();
  ++s.allocationsCounted;
  if (s.allocationsCounted == s.plan.allocationFailsAtCall) return nullptr;
  auto* raw = static_cast<unsigned char*>(malloc(size + 16));
  if (!raw) return nullptr;
  *reinterpret_cast<size_t*>(raw) = size;
  memset(raw + 16, 0xA5, size);
  s.trace.allocations++;
  s.trace.liveAllocations++;
  s.trace.liveBytes += static_cast<int64_t>(size);
  if (s.trace.liveBytes > s.trace.peakBytes) s.trace.peakBytes = s.trace.liveBytes;
  return raw + 16;
}

void Release(void* block) {
  if (!block) return;
  auto& s = posix::Current();
  auto* raw = static_cast<unsigned char*>(block) - 16;
  s.trace.liveAllocations--;
  s.trace.liveBytes -= static_cast<int64_t>(*reinterpret_cast<size_t*>(raw));
  free(raw);
}

}  // namespace plat

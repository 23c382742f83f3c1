// Win32 heap of the layer: the process heap, without the C runtime.
#include <windows.h>

#include "platform/platform.h"

namespace plat {

void* Allocate(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void Release(void* block) {
  if (block) HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace plat

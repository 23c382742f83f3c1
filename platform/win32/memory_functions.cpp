// The memory and string functions the compiler may call on its own, for a program linked
// without the C runtime. Built with -fno-builtin and without loop-to-call rewriting, so
// that these loops do not turn back into calls to themselves.
#include <stddef.h>

extern "C" {

void* memcpy(void* destination, const void* source, size_t count) {
  auto* d = static_cast<unsigned char*>(destination);
  auto* s = static_cast<const unsigned char*>(source);
  while (count--) *d++ = *s++;
  return destination;
}

void* memmove(void* destination, const void* source, size_t count) {
  auto* d = static_cast<unsigned char*>(destination);
  auto* s = static_cast<const unsigned char*>(source);
  if (d < s) {
    while (count--) *d++ = *s++;
  } else {
    while (count--) d[count] = s[count];
  }
  return destination;
}

void* memset(void* destination, int value, size_t count) {
  auto* d = static_cast<unsigned char*>(destination);
  while (count--) *d++ = static_cast<unsigned char>(value);
  return destination;
}

int memcmp(const void* a, const void* b, size_t count) {
  auto* x = static_cast<const unsigned char*>(a);
  auto* y = static_cast<const unsigned char*>(b);
  for (; count; --count, ++x, ++y)
    if (*x != *y) return *x < *y ? -1 : 1;
  return 0;
}

size_t strlen(const char* text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

void* memchr(const void* block, int value, size_t count) {
  auto* p = static_cast<const unsigned char*>(block);
  for (; count; --count, ++p)
    if (*p == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(p);
  return nullptr;
}

}  // extern "C"

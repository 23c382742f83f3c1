// Path utilities of the extraction.
#include "archive/paths.h"

#include <string.h>

#include "platform/platform.h"

uint32_t StringLength(const char* text) { return plat::TextLength(text); }

char* EnsureTrailingBackslash(char* buffer) {
  uint32_t n = StringLength(buffer);
  if (n == 0 || buffer[n - 1] != '\\') {
    buffer[n] = '\\';
    buffer[n + 1] = 0;
  }
  return buffer;
}

bool BufferToString(const uint8_t* buffer, uint32_t count, plat::ByteString& out) {
  uint32_t n = 0;
  while (n < count && buffer[n] != 0) ++n;
  return out.Assign(reinterpret_cast<const char*>(buffer), n);
}

char* SlashesToBackslashes(char* text) {
  for (char* p = text; *p; ++p)
    if (*p == '/') *p = '\\';
  return text;
}

bool PathExists(char* path) {
  uint32_t n = StringLength(path);
  if (n > 0 && path[n - 1] == '\\') {
    static const char kAllNames[] = "*.*";
    char* pattern = static_cast<char*>(plat::Allocate(n + sizeof kAllNames));
    if (!pattern) return false;
    memcpy(pattern, path, n);
    memcpy(pattern + n, kAllNames, sizeof kAllNames);
    bool found = plat::FindAnyMatch(SlashesToBackslashes(pattern));
    plat::Release(pattern);
    return found;
  }
  return plat::FindAnyMatch(SlashesToBackslashes(path));
}

static bool IsSeparator(char c) { return c == '\\' || c == '/'; }

uint32_t DirectoryPartLength(const char* path, uint32_t n) {
  if (n == 3 && memchr(path, ':', 3)) return 3;
  uint32_t i = n;  // position counted from 1; 0 means no separator
  while (i > 0 && !IsSeparator(path[i - 1]) && path[i - 1] != ':') --i;
  if (i > 0 && IsSeparator(path[i - 1])) {
    if (i == 3) {
      if (path[1] != ':') --i;
    } else if (i != 1) {
      --i;
    }
  }
  return i;
}

bool DirectoryPart(const plat::ByteString& path, plat::ByteString& out) {
  return out.Assign(path.Text(), DirectoryPartLength(path.Text(), path.length));
}

// The recursion "create the parent, then the directory" is done as two loops, so that a
// deeply nested name cannot exhaust the stack: walk up from the path through its
// directory parts until one exists, remembering the lengths of the missing ones (each
// directory part is a prefix of the path), then create them from the outermost in.
void CreateDirectoryChain(const plat::ByteString& path) {
  if (path.Empty()) return;
  plat::ScopedByteString copy;
  if (!copy.Assign(path.data, path.length)) return;
  SlashesToBackslashes(copy.data);
  uint32_t length = copy.length;
  if (copy.data[length - 1] == '\\') --length;
  // At most one missing directory per separator, plus the path itself.
  uint32_t slots = 1;
  for (uint32_t i = 0; i < length; ++i) slots += copy.data[i] == '\\' || copy.data[i] == ':';
  plat::ScopedBuffer missing(slots * sizeof(uint32_t));
  if (!missing) return;
  uint32_t* lengths = reinterpret_cast<uint32_t*>(missing.get());
  uint32_t count = 0;
  // Fewer than three characters is a drive such as "C:" or a root: taken as existing.
  while (length >= 3 && count < slots) {
    char cut = copy.data[length];
    copy.data[length] = 0;
    bool exists = PathExists(copy.data);
    copy.data[length] = cut;
    if (exists) break;
    lengths[count++] = length;
    uint32_t parent = DirectoryPartLength(copy.data, length);
    if (parent > 0 && copy.data[parent - 1] == '\\') --parent;
    if (parent >= length) break;  // "C:" and the like are their own directory part
    length = parent;
  }
  while (count > 0) {
    uint32_t n = lengths[--count];
    char cut = copy.data[n];
    copy.data[n] = 0;
    (void)plat::MakeDirectory(copy.data);
    copy.data[n] = cut;
  }
}

// The part before the first "." with its trailing spaces dropped, in upper case, is
// compared with the reserved names; COM and LPT take a digit 0 to 9 or a superscript 1,
// 2 or 3 (Windows-1252 B9, B2, B3), which Windows reserves as well.
bool IsDeviceName(const char* component, uint32_t length) {
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  uint32_t n = 0;
  while (n < length && component[n] != '.') ++n;
  while (n > 0 && component[n - 1] == ' ') --n;
  char base[7];
  if (n < 3 || n > sizeof base) return false;
  for (uint32_t i = 0; i < n; ++i) {
    char c = component[i];
    base[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  for (const char* device : kDevices)
    if (plat::TextLength(device) == n && memcmp(base, device, n) == 0) return true;
  if (n != 4 || (memcmp(base, "COM", 3) != 0 && memcmp(base, "LPT", 3) != 0)) return false;
  char digit = base[3];
  return (digit >= '0' && digit <= '9') || digit == '\xB9' || digit == '\xB2' || digit == '\xB3';
}

bool IsContainedName(const plat::ByteString& name) {
  if (name.Empty() || IsSeparator(name.data[0])) return false;
  uint32_t start = 0;
  for (uint32_t i = 0; i <= name.length; ++i) {
    char c = i < name.length ? name.data[i] : '\\';
    if (c == ':') return false;
    if (!IsSeparator(c)) continue;
    // The component name[start..i): refuse dots and spaces only, unless it is ".".
    uint32_t dots = 0;
    bool onlyDotsAndSpaces = i > start;
    for (uint32_t k = start; k < i; ++k) {
      if (name.data[k] == '.') ++dots;
      else if (name.data[k] != ' ') onlyDotsAndSpaces = false;
    }
    if (onlyDotsAndSpaces && !(dots == 1 && i - start == 1)) return false;
    if (IsDeviceName(name.data + start, i - start)) return false;
    start = i + 1;
  }
  return true;
}

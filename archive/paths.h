// Path utilities of the extraction: texts, directory parts, and directory chains.
//
// Paths are Windows paths in the ANSI code page: "\" and "/" both separate directories
// and ":" ends a drive. Zero-terminated texts are what the operating system is given;
// counted strings (plat::ByteString) are what the extraction assembles.
#pragma once

#include <stdint.h>

#include "platform/byte_string.h"

// Characters before the first zero byte.
[[nodiscard]] uint32_t StringLength(const char* text);

// Appends "\" unless the text already ends with one. The buffer must have room for two
// more bytes; callers pass a non-empty text.
char* EnsureTrailingBackslash(char* buffer);

// The `count` bytes of the buffer as a string, cut before the first zero byte.
[[nodiscard]] bool BufferToString(const uint8_t* buffer, uint32_t count, plat::ByteString& out);

// Turns every "/" of the whole text into "\", in place.
char* SlashesToBackslashes(char* text);

// True when a file or directory of that path exists. A path that ends with "\" is
// searched as "path*.*" in a copy (a directory with anything in it, "." included);
// any other path has its "/" turned into "\" in place and is searched as it is.
[[nodiscard]] bool PathExists(char* path);

// The directory part of a path (see DirectoryPartLength).
[[nodiscard]] bool DirectoryPart(const plat::ByteString& path, plat::ByteString& out);

// Length of the directory part of path[0..n): the path up to its last "\", "/" or ":",
// without that separator, except where dropping it would change the meaning: a ":"
// stays (C:name -> C:), a root "\" stays (\x -> \), the "\" after a drive stays
// (C:\x -> C:\), and a three-character path with ":" is its own directory (C:\).
[[nodiscard]] uint32_t DirectoryPartLength(const char* path, uint32_t n);

// Creates the directory and every missing parent, parents first. Nothing is reported:
// the caller tests afterwards whether the directory exists.
void CreateDirectoryChain(const plat::ByteString& path);

// True when an entry name stays inside the destination directory: it does not start
// with "\" or "/", has no ":" (a drive or a stream), and no component made only of
// dots and spaces other than a single "." (Windows reads "..", "..." and ". ." alike as
// the parent directory once it strips trailing dots and spaces), and no component that
// Windows opens as a device (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, in any
// case, with or without an extension: "nul.tar.gz", "sub/Aux.txt").
[[nodiscard]] bool IsContainedName(const plat::ByteString& name);

// True when one path component names a device that Windows opens in any folder:
// "nul", "NUL.txt", "aux .tar.gz", "com1." and the like.
[[nodiscard]] bool IsDeviceName(const char* component, uint32_t length);

// Entry names as Windows reads them: UTF-8 under flag bit 11, the ANSI code page of the
// user's machine otherwise; and what that means for a package maker.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace sfxpack {

// The name the stub creates, in UTF-8, decoded with the stub's own code (the stand-in's
// ANSI code page is Windows-1252). *valid becomes false for a name that flag bit 11 marks
// as UTF-8 and that is not; the bytes then come back unchanged.
std::string WindowsName(const std::string& bytes, uint16_t flags, bool* valid = nullptr);

// The flags a record needs for a file's name: bit 11 for a UTF-8 name with bytes outside
// ASCII; none for an ASCII name, which stays as every reader knows it, and none for a
// name that is not UTF-8, whose bytes go as they are (and read in the ANSI code page).
uint16_t NameFlags(const std::string& name);

// One way the bytes of a name read, and the code pages that read them so.
struct CodePageReading {
  std::string text;                    // UTF-8; empty when the bytes are not text there
  std::vector<std::string> codePages;  // "Windows-1252 (Western European)", ...
};

// The readings of a name's bytes on the ANSI code pages of common Windows machines,
// each reading once, in the order of the code pages. Empty for an ASCII name.
std::vector<CodePageReading> ReadOnCommonCodePages(const std::string& bytes);

// The name with letters in one case, as Windows compares file names: every letter that
// has an upper-case form takes it (not only ASCII).
std::string FoldCase(const std::string& utf8Name);

}  // namespace sfxpack

// Listing a package's records through the stub's own marker scan and read layer.
#pragma once

#include <stdint.h>

#include <ostream>
#include <string>
#include <vector>

namespace sfxpack {

// How the listed records ended: `clean` at the end of the file or at an Authenticode
// signature; `cutShort` when the file ends inside a record.
struct ListEnd {
  bool clean = false;
  bool cutShort = false;
};

// Prints the archive offset, a table of the records (offset, method, flags, compressed
// and uncompressed size, CRC-32, DOS date and time, name) in columns as wide as their
// widest value, and a last line telling where and why the record sequence ended. Every
// size in the package is untrusted: a record that runs past the end of the file ends the
// listing with the reason. Throws PackError when the file cannot be opened
// or holds no marker.
ListEnd ListPackage(const std::string& path, std::ostream& out);

// The same as one JSON object (see `sfx-pack list --help`). Names are bytes in the
// Windows code page: a name that is valid UTF-8 is written as it is, any other has each
// byte of 0x80 and above written as the character of that number (Latin-1).
ListEnd ListPackageJson(const std::string& path, std::ostream& out);

// A record's name for one line of text: control bytes and the backslash as \xNN, other
// bytes as they are.
std::string PrintableName(const std::vector<uint8_t>& name);

// A record's name bytes as Windows reads them (UTF-8 under flag bit 11, the ANSI code
// page otherwise), in UTF-8; a name that is not the UTF-8 bit 11 says it is comes back
// as its bytes.
std::vector<uint8_t> ShownName(const std::vector<uint8_t>& name, uint16_t flags);

}  // namespace sfxpack

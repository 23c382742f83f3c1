// Listing a package's records through the stub's own marker scan and read layer.
#pragma once

#include <ostream>
#include <string>

namespace sfxpack {

// Prints the archive offset, one line per record (offset, method, flags, compressed and
// uncompressed size, CRC-32, DOS date and time, name) and a last line telling where and
// why the record sequence ended. Every size in the package is untrusted: a record that
// runs past the end of the file ends the listing with the reason. Returns true when the
// records end exactly at the end of the file. Throws PackError when the file cannot be
// opened or holds no marker.
bool ListPackage(const std::string& path, std::ostream& out);

}  // namespace sfxpack

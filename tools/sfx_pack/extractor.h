// Unpacking a package on Linux with the stub's own extraction loop, starting nothing.
#pragma once

#include <ostream>
#include <string>

namespace sfxpack {

struct ExtractSummary {
  bool extractedAny = false;    // the loop created at least one file (and found no damage)
  std::string installer;        // the setup program the stub chose, or empty
  bool installerWritten = false;  // its file was written whole: the stub would start it
  bool extractedWhole = false;  // the loop reached the archive's end with every record whole
  int records = 0;              // records in the package, as the stub walks them
  bool recordsReachEnd = false; // they end at the end of the file (or a signature)
  std::string recordsEnding;    // where and why they end, when they do not
  int entries = 0;              // records unpacked whole: fewer when the loop stopped early
};

// Runs the stub's ExtractArchive on the package into `directory` (created as needed),
// with the stub's messages written to standard error. Throws PackError when the package
// holds no archive, cannot be opened, or the directory's path is longer than the stub's
// destination can hold.
ExtractSummary ExtractPackage(const std::string& package, const std::string& directory);

}  // namespace sfxpack

// The verify command: a package checked the way the stub will read it.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/sfx_pack/package_checks.h"

namespace sfxpack {

struct VerifyReport {
  int64_t archiveOffset = 0;
  int64_t fileSize = 0;
  int records = 0;
  std::string stub;       // what the stub part is: "PE i386", "ELF", ...
  std::string setup;      // the entry the stub would start, printable, or empty
  std::string setupKind;  // DescribeProgram of it, or empty when it could not be read
  int64_t signatureSize = 0;
  std::vector<Finding> findings;
  std::vector<std::string> recordLines;  // one per record, for --verbose
  std::vector<std::string> textLines;    // the stub's texts (DescribeTexts), when it has a block

  int Count(Severity severity) const;
};

// Called before each record with the archive bytes walked so far and in all.
using ProgressCallback = std::function<void(int64_t done, int64_t total)>;

// Walks every record with the stub's own code (RecordWalker), decodes every stored and
// deflate entry with the stub's CopyStoredEntry and Inflate into /dev/null (the setup
// program into a temporary file, to look at its headers) and compares its CRC-32, runs
// CheckEntries over the names, and checks what follows the last record. Throws
// PackError when the file cannot be opened or holds no marker.
VerifyReport VerifyPackage(const std::string& path, const ProgressCallback& progress = {});

}  // namespace sfxpack

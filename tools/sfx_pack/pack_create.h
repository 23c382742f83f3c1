// The create command as a function: inputs and a ZIP's entries into one package.
#pragma once

#include <string>
#include <vector>

#include "tools/sfx_pack/deflate.h"

namespace sfxpack {

struct CreateOptions {
  std::string stub;
  std::string output;
  std::string fromZip;               // empty: no ZIP
  int level = kDefaultLevel;         // kStoreLevel stores every file
  std::vector<std::string> inputs;   // files and directories
};

struct CreateSummary {
  int records = 0;
  long long archiveOffset = 0;
};

// Writes the package: the ZIP's entries first (directory entries dropped), then the
// inputs' files. Every input is looked at before the output is begun, and the output
// appears only once it is complete and checked. Throws PackError naming the file at fault.
CreateSummary CreatePackage(const CreateOptions& options);

}  // namespace sfxpack

// Turning the command line's files and directories into named entries.
#pragma once

#include <string>
#include <vector>

#include "tools/sfx_pack/package_checks.h"
#include "tools/sfx_pack/package_writer.h"

namespace sfxpack {

struct InputFile {
  std::string path;  // where the file is read from
  std::string name;  // the entry's name in the package
};

// Names follow the inputs as given:
// - a file is stored under its own file name (the last component of its path);
// - a directory contributes every file below it, recursively, named with the
//   directory's own name in front ("data" holding "a/b.txt" gives "data/a/b.txt");
// - a directory given as "." or ".." (or ending in "/." or "/..") contributes its files
//   at the top level, which is how a prepared tree is packed as it is.
// Inside a directory, entries come in byte order of their names, so a package's layout
// does not depend on the file system. Directories themselves get no record (the stub
// creates directories from the files' names), so an empty directory is left out. An
// input that names a symbolic link is followed; inside a directory, links to files are
// followed and a link to a directory is refused (it could loop); a link whose target
// does not exist is skipped with a finding in `skipped`. Anything that is neither a
// regular file nor a directory is refused. The file `output`, when it exists, is left
// out of the directories and refused as an input of its own.
std::vector<InputFile> CollectInputs(const std::vector<std::string>& inputs, const std::string& output,
                                     std::vector<Finding>& skipped);

// True when both paths exist and are the same file.
bool SameFile(const std::string& a, const std::string& b);

// Reads the file and makes its entry: CRC-32, deflate at `level` (stored at level 0 or
// when deflate does not make it smaller), and its modification time as DOS date and time.
PackEntry MakeFileEntry(const InputFile& input, int level);

}  // namespace sfxpack

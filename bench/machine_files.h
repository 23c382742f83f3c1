// The benchmark's payloads from this machine's own files: PE images and text.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace bench {

// Whole files of Wine's DLL folders beginning with "MZ", in path order, until `limit`
// bytes; fewer when the machine has fewer.
std::vector<uint8_t> MachinePeFiles(size_t limit);
// Whole text files (no NUL bytes, few control bytes, no .gz) of /usr/include and then
// /usr/share/doc, in path order, until `limit` bytes; fewer when the machine has fewer.
std::vector<uint8_t> MachineTextFiles(size_t limit);

}  // namespace bench

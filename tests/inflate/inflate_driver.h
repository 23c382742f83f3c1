// Runs the deflate decoder over given compressed bytes the way the extraction loop
// does: the bytes stored scrambled in a file opened as ArchiveHandle, CurrentEntry set
// up, an output file created. The files are in memory while the stand-in layer keeps
// its files there (plat::testing::UseMemoryFiles), on the file system otherwise. Shared by the inflate tests, the fuzz target and the
// benchmark; needs only the standard library and the system.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "inflate/inflate.h"

namespace inflatetest {

using Bytes = std::vector<uint8_t>;

struct DecodeOptions {
  Bytes trailer;                // archive bytes stored after the entry's data
  bool keepOutput = true;       // false: the output goes to /dev/null and is not read back
};

struct DecodeOutcome {
  InflateResult result = InflateResult::kDataError;
  Bytes output;              // the output file's content (when kept)
  uint32_t crc = 0;          // RunningCrc after the run
  uint64_t archivePos = 0;   // ArchiveHandle's position after the run
};

// An entry's compressed data stored in a file under `dir`, ready to be decoded any
// number of times (the benchmark times Decode alone).
class StoredEntry {
 public:
  StoredEntry(const std::string& dir, const uint8_t* data, size_t size, const Bytes& trailer = {});
  ~StoredEntry();
  StoredEntry(const StoredEntry&) = delete;
  StoredEntry& operator=(const StoredEntry&) = delete;

  // Opens the file as ArchiveHandle and the output, runs Inflate, closes both.
  DecodeOutcome Decode(const DecodeOptions& options = {});

 private:
  std::string dir_;
  std::string path_;
  size_t size_;
};

// One-shot form of StoredEntry.
DecodeOutcome DecodeEntry(const std::string& dir, const Bytes& data, const DecodeOptions& options = {});

}  // namespace inflatetest

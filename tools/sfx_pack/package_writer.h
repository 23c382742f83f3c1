// Writing a package: the stub's bytes, then one scrambled local record per entry.
#pragma once

#include <stdint.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "archive/record.h"
#include "tools/sfx_pack/deflate.h"

namespace sfxpack {

// Positions in a package are signed 32-bit values, so a package stays below 2 GiB.
inline constexpr int64_t kMaxPackageSize = 0x7FFFFFFF;
// The marker scan never looks at the first 20 bytes, so a stub must be at least that long.
inline constexpr int64_t kMinStubSize = 20;
// VersionNeeded of the first record: with the alternate signature before it, its plain
// bytes FF 00 complete the six-byte marker the stub scans for.
inline constexpr uint16_t kFirstVersionNeeded = 0x00FF;
inline constexpr uint16_t kVersionStored = 10;
inline constexpr uint16_t kVersionDeflate = 20;

// One entry as it goes into a record, in plain form.
struct PackEntry {
  std::string name;           // relative, "/" separators
  uint16_t versionNeeded = kVersionStored;
  uint16_t flags = 0;
  uint16_t method = kMethodStored;
  uint16_t modTime = 0;
  uint16_t modDate = 0;
  uint32_t crc32 = 0;
  uint32_t uncompressedSize = 0;
  Bytes data;                 // everything after the name: encryption header and data
};

// Refuses a name the stub cannot use: empty, longer than a record can say, or holding a
// zero byte (the stub cuts the name there). `origin` names the input for the message.
void CheckEntryName(const std::string& name, const std::string& origin);

// Builds the package in a temporary file beside the output and renames it into place
// only when Commit() has checked it, so a failed run never leaves a file at the output
// path. The destructor removes the temporary file when Commit() was not reached.
class PackageWriter {
 public:
  // Reads and checks the stub: at least 20 bytes, below 2 GiB, and not already holding
  // the marker (it would be found instead of the package's archive).
  // `maxSize` is the largest package allowed (tests lower it). `editStub`, when given,
  // changes the stub's bytes before they are written (the package's texts).
  PackageWriter(const std::string& stubPath, const std::string& outputPath, int64_t maxSize = kMaxPackageSize,
                const std::function<void(Bytes&)>& editStub = {});
  ~PackageWriter();
  PackageWriter(const PackageWriter&) = delete;
  PackageWriter& operator=(const PackageWriter&) = delete;

  // Appends one record; the first one carries the alternate signature and FF 00.
  // Refuses a name that is already in the package and a record that would take the
  // package to 2 GiB. `origin` names where the entry came from, for messages.
  void Add(const PackEntry& entry, const std::string& origin);

  // Flushes, checks that the marker scan finds the archive exactly at the stub's size,
  // gives the file the stub's permissions and renames it to the output path.
  void Commit();

  // The checks of the constructor on the stub alone; returns the stub's size.
  static int64_t CheckStub(const std::string& stubPath);

  int64_t stubSize() const { return stubSize_; }
  int records() const { return records_; }
  int64_t size() const { return position_; }

 private:
  void WriteScrambled(const uint8_t* data, size_t size);
  void Discard();

  std::string stubPath_;
  std::string outputPath_;
  std::string tempPath_;
  std::FILE* file_ = nullptr;
  int64_t stubSize_ = 0;
  int64_t position_ = 0;
  int64_t maxSize_ = kMaxPackageSize;
  unsigned stubMode_ = 0755;
  int records_ = 0;
  std::set<std::string> names_;
  Bytes scratch_;
};

}  // namespace sfxpack

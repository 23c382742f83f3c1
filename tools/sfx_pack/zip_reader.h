// Reading an ordinary ZIP file's entries through its central directory, for --from-zip.
#pragma once

#include <stdint.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/sfx_pack/package_writer.h"

namespace sfxpack {

// One entry as the central directory describes it.
struct ZipEntry {
  std::string name;
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t modTime = 0;
  uint16_t modDate = 0;
  uint32_t crc32 = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  int64_t localOffset = 0;  // of the local header, adjusted for bytes before the ZIP
};

// An open ZIP file with its central directory read and checked. Every size and offset
// in the file is untrusted: each is checked against the file's bounds before use.
// ZIP64 and split archives are refused.
class ZipArchive {
 public:
  explicit ZipArchive(const std::string& path);
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  const std::vector<ZipEntry>& entries() const { return entries_; }

  // The entry as a record: its local data copied as it is (an encrypted entry keeps its
  // flags and its 12-byte encryption header), CRC-32 and sizes from the central
  // directory (right even when the writer used a data descriptor), flag bit 3 cleared on
  // entries that are not encrypted so that the stub checks their CRC-32, no extra field.
  // Refuses methods other than stored and deflate, and strong encryption.
  PackEntry MakePackEntry(const ZipEntry& entry);

  // Refuses what MakePackEntry refuses without reading the entry's data: methods other
  // than stored and deflate, strong encryption, an encrypted entry shorter than its
  // encryption header.
  void CheckSupported(const ZipEntry& entry) const;

 private:
  Bytes ReadAt(int64_t offset, int64_t size, const std::string& what);
  int64_t FindEndRecord();
  void ReadCentralDirectory();
  [[noreturn]] void Damaged(const std::string& reason) const;

  std::string path_;
  std::FILE* file_ = nullptr;
  int64_t size_ = 0;
  int64_t centralStart_ = 0;  // where the central directory really begins
  std::vector<ZipEntry> entries_;
};

// A directory entry: its name ends in "/". Directories get no record in a package.
bool IsDirectoryEntry(const ZipEntry& entry);

}  // namespace sfxpack

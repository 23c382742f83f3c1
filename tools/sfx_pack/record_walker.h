// Walking a package's records the way the stub does, for list and verify.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "archive/record.h"

namespace sfxpack {

// Opens the package as the stub's ArchiveHandle, finds the archive with the stub's
// FindArchiveStart and steps from record to record with ReadRecordHeader, ReadArchive
// (for the name) and one absolute SeekArchive per record: start + 30 + NameLength +
// CompressedSize. Every size in the package is untrusted: the walker compares each
// step with the file's size, so it can say where and why a damaged package ends.
//
// After Next() returns true the archive position is just after the record's name,
// where the entry's data begins; the caller may read the data before calling Next()
// again, which seeks to the next record itself.
class RecordWalker {
 public:
  // Throws PackError when the file cannot be opened or holds no marker.
  explicit RecordWalker(const std::string& path);
  RecordWalker(const RecordWalker&) = delete;
  RecordWalker& operator=(const RecordWalker&) = delete;

  // Reads the next record's header and name. False when there is none; ending() and
  // end() tell why and where.
  bool Next();

  const LocalRecordHeader& header() const { return header_; }
  const std::vector<uint8_t>& name() const { return name_; }  // the bytes delivered
  int64_t offset() const { return offset_; }                  // of the record's header
  int index() const { return records_; }                      // 1 for the first record
  // The record is damaged in a way that ends the walk after it (its name is cut short,
  // its size is 2 GiB or more, or it runs past the end of the file); damage() says how.
  bool lastOne() const { return !damage_.empty(); }
  const std::string& damage() const { return damage_; }

  int64_t archiveOffset() const { return archiveOffset_; }
  int64_t fileSize() const { return fileSize_; }
  // Where the records ended, and why; clean() when that is the end of the file or the
  // start of an Authenticode signature appended after the archive.
  int64_t end() const { return end_; }
  const std::string& ending() const { return ending_; }
  bool clean() const { return clean_; }
  // The file ends inside a record: its header, name or data is cut short.
  bool cutShort() const { return cutShort_; }
  int64_t signatureSize() const { return signatureSize_; }
  // The package's first bytes (up to 64 KiB): the stub's headers.
  const std::vector<uint8_t>& head() const { return head_; }

 private:
  // Owns ArchiveHandle: closes it when the walker goes, and also when the walker's
  // constructor throws after opening it (a member's destructor runs then).
  struct OpenArchive {
    OpenArchive() = default;
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;
    ~OpenArchive();
    bool opened = false;
  };

  void Finish(const std::string& why);
  std::string WhyNoRecord();

  std::string path_;
  OpenArchive open_;
  LocalRecordHeader header_{};
  std::vector<uint8_t> name_;
  std::vector<uint8_t> head_;
  int64_t offset_ = 0;
  int64_t next_ = 0;
  int records_ = 0;
  std::string damage_;
  int64_t archiveOffset_ = 0;
  int64_t fileSize_ = 0;
  int64_t end_ = 0;
  std::string ending_;
  bool clean_ = false;
  bool cutShort_ = false;
  bool finished_ = false;
  int64_t signatureSize_ = 0;
};

}  // namespace sfxpack

// Reading an ordinary ZIP file through its central directory.
//
// The end-of-central-directory record (22 bytes and a comment of up to 65535) is found
// by scanning back from the end of the file for its signature; a candidate counts when
// its comment ends exactly at the end of the file, and failing that, the last one whose
// comment fits. It gives the central directory's size and offset; the directory's real
// start is taken as the end record's position minus that size, so a ZIP with bytes in
// front of it (offsets written relative to the ZIP's own start) is read correctly: the
// difference is added to every local header offset. Each central header gives the
// entry's name, flags, method, times, CRC-32 and sizes; the local header is read only to
// find where the data begins (its name and extra field lengths may differ from the
// central ones, and its CRC and sizes are zero when a data descriptor follows).
#include "tools/sfx_pack/zip_reader.h"

#include <algorithm>

#include "archive/record.h"
#include "tools/sfx_pack/pack_error.h"

namespace sfxpack {

namespace {

// End of central directory record.
namespace EndField {
constexpr int kSignature = 0;        // 4: 0x06054B50
constexpr int kDiskNumber = 4;       // 2
constexpr int kCentralDisk = 6;      // 2: disk where the central directory starts
constexpr int kDiskEntries = 8;      // 2: entries on this disk
constexpr int kTotalEntries = 10;    // 2
constexpr int kCentralSize = 12;     // 4
constexpr int kCentralOffset = 16;   // 4
constexpr int kCommentLength = 20;   // 2
constexpr int kSize = 22;
constexpr uint32_t kSignatureValue = 0x06054B50u;
}  // namespace EndField

// The ZIP64 end-of-central-directory locator sits right before the end record.
constexpr uint32_t kZip64LocatorSignature = 0x07064B50u;
constexpr int kZip64LocatorSize = 20;

// Central directory file header.
namespace CentralField {
constexpr int kSignature = 0;          // 4: 0x02014B50
constexpr int kVersionNeeded = 6;      // 2
constexpr int kFlags = 8;              // 2
constexpr int kMethod = 10;            // 2
constexpr int kModTime = 12;           // 2
constexpr int kModDate = 14;           // 2
constexpr int kCrc32 = 16;             // 4
constexpr int kCompressedSize = 20;    // 4
constexpr int kUncompressedSize = 24;  // 4
constexpr int kNameLength = 28;        // 2
constexpr int kExtraLength = 30;       // 2
constexpr int kCommentLength = 32;     // 2
constexpr int kStartDisk = 34;         // 2
constexpr int kLocalOffset = 42;       // 4
constexpr int kSize = 46;
constexpr uint32_t kSignatureValue = 0x02014B50u;
}  // namespace CentralField

constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kMethodAes = 99;
constexpr uint32_t kZip64Mark32 = 0xFFFFFFFFu;
constexpr uint16_t kZip64Mark16 = 0xFFFF;

std::string Quoted(const std::string& name) { return "entry \"" + name + "\""; }

}  // namespace

bool IsDirectoryEntry(const ZipEntry& entry) {
  return !entry.name.empty() && entry.name.back() == '/';
}

ZipArchive::ZipArchive(const std::string& path) : path_(path) {
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) throw PackError(path, "cannot open ZIP: " + SystemReason());
  if (::fseeko(file_, 0, SEEK_END) != 0 || (size_ = ::ftello(file_)) < 0) {
    std::fclose(file_);
    throw PackError(path, "cannot read ZIP: " + SystemReason());
  }
  try {
    ReadCentralDirectory();
  } catch (...) {
    std::fclose(file_);
    throw;
  }
}

ZipArchive::~ZipArchive() { std::fclose(file_); }

void ZipArchive::Damaged(const std::string& reason) const {
  throw PackError(path_, "damaged ZIP: " + reason);
}

Bytes ZipArchive::ReadAt(int64_t offset, int64_t size, const std::string& what) {
  if (offset < 0 || size < 0 || offset > size_ || size > size_ - offset)
    Damaged(what + " lies outside the file");
  Bytes data(static_cast<size_t>(size));
  if (::fseeko(file_, offset, SEEK_SET) != 0 ||
      std::fread(data.data(), 1, data.size(), file_) != data.size())
    throw PackError(path_, "cannot read " + what + ": " + SystemReason());
  return data;
}

int64_t ZipArchive::FindEndRecord() {
  int64_t window = std::min<int64_t>(size_, EndField::kSize + 0xFFFF);
  if (window < EndField::kSize) throw PackError(path_, "not a ZIP file (too short)");
  int64_t windowStart = size_ - window;
  Bytes tail = ReadAt(windowStart, window, "the end of the file");
  int64_t fitting = -1;
  for (int64_t at = window - EndField::kSize; at >= 0; --at) {
    const uint8_t* p = tail.data() + at;
    if (ReadLe32(p + EndField::kSignature) != EndField::kSignatureValue) continue;
    int64_t end = at + EndField::kSize + ReadLe16(p + EndField::kCommentLength);
    if (end == window) return windowStart + at;
    if (end < window && fitting < 0) fitting = windowStart + at;
  }
  if (fitting < 0) throw PackError(path_, "not a ZIP file (no end of central directory record)");
  return fitting;
}

void ZipArchive::ReadCentralDirectory() {
  using namespace EndField;
  int64_t endAt = FindEndRecord();
  Bytes end = ReadAt(endAt, kSize, "the end of central directory record");
  if (endAt >= kZip64LocatorSize &&
      ReadLe32(ReadAt(endAt - kZip64LocatorSize, 4, "the ZIP64 locator").data()) == kZip64LocatorSignature)
    throw PackError(path_, "ZIP64 archives are not supported");
  const uint8_t* e = end.data();
  uint16_t total = ReadLe16(e + kTotalEntries);
  uint32_t centralSize = ReadLe32(e + kCentralSize);
  uint32_t centralOffset = ReadLe32(e + kCentralOffset);
  if (total == kZip64Mark16 || centralSize == kZip64Mark32 || centralOffset == kZip64Mark32)
    throw PackError(path_, "ZIP64 archives are not supported");
  if (ReadLe16(e + kDiskNumber) != 0 || ReadLe16(e + kCentralDisk) != 0 || ReadLe16(e + kDiskEntries) != total)
    throw PackError(path_, "split or spanned ZIP archives are not supported");
  if (centralSize > endAt) Damaged("the central directory is larger than the file before it");
  centralStart_ = endAt - centralSize;
  if (centralOffset > centralStart_) Damaged("the central directory offset is past its end");
  int64_t shift = centralStart_ - centralOffset;  // bytes in front of the ZIP's own start

  Bytes central = ReadAt(centralStart_, centralSize, "the central directory");
  size_t at = 0;
  for (uint32_t i = 0; i < total; ++i) {
    using namespace CentralField;
    std::string which = "central directory header " + std::to_string(i + 1);
    if (central.size() - at < static_cast<size_t>(CentralField::kSize))
      Damaged(which + " runs past the central directory");
    const uint8_t* h = central.data() + at;
    if (ReadLe32(h + CentralField::kSignature) != CentralField::kSignatureValue)
      Damaged(which + " has no valid signature");
    size_t nameLength = ReadLe16(h + kNameLength);
    size_t variable = nameLength + ReadLe16(h + kExtraLength) + ReadLe16(h + CentralField::kCommentLength);
    if (central.size() - at - CentralField::kSize < variable)
      Damaged(which + " runs past the central directory");
    ZipEntry entry;
    entry.name.assign(reinterpret_cast<const char*>(h + CentralField::kSize), nameLength);
    entry.versionNeeded = ReadLe16(h + kVersionNeeded);
    entry.flags = ReadLe16(h + kFlags);
    entry.method = ReadLe16(h + kMethod);
    entry.modTime = ReadLe16(h + kModTime);
    entry.modDate = ReadLe16(h + kModDate);
    entry.crc32 = ReadLe32(h + kCrc32);
    entry.compressedSize = ReadLe32(h + kCompressedSize);
    entry.uncompressedSize = ReadLe32(h + kUncompressedSize);
    uint32_t localOffset = ReadLe32(h + kLocalOffset);
    if (entry.compressedSize == kZip64Mark32 || entry.uncompressedSize == kZip64Mark32 ||
        localOffset == kZip64Mark32 || ReadLe16(h + kStartDisk) == kZip64Mark16)
      throw PackError(path_, Quoted(entry.name) + ": ZIP64 entries are not supported");
    entry.localOffset = static_cast<int64_t>(localOffset) + shift;
    entries_.push_back(std::move(entry));
    at += CentralField::kSize + variable;
  }
}

void ZipArchive::CheckSupported(const ZipEntry& entry) const {
  std::string which = Quoted(entry.name);
  if (entry.method == kMethodAes || (entry.flags & kFlagStrongEncryption) != 0)
    throw PackError(path_, which + ": only traditional encryption is supported");
  if (entry.method != kMethodStored && entry.method != kMethodDeflate)
    throw PackError(path_, which + ": compression method " + std::to_string(entry.method) +
                               " is not supported (only stored and deflate)");
  if ((entry.flags & kFlagEncrypted) != 0 && entry.compressedSize < kEncryptionHeaderSize)
    Damaged(which + " is encrypted but shorter than its 12-byte encryption header");
}

PackEntry ZipArchive::MakePackEntry(const ZipEntry& entry) {
  CheckSupported(entry);
  std::string which = Quoted(entry.name);
  // The local header is the record header the stub reads: only what locates the data is read.
  Bytes local = ReadAt(entry.localOffset, kRecordHeaderSize, which + "'s local header");
  if (ReadLe32(local.data()) != kLocalSignature) Damaged(which + " has no local header");
  int64_t dataStart = entry.localOffset + kRecordHeaderSize + ReadLe16(local.data() + RecordField::kNameLength) +
                      ReadLe16(local.data() + RecordField::kExtraLength);
  if (dataStart + static_cast<int64_t>(entry.compressedSize) > centralStart_)
    Damaged(which + "'s data runs into the central directory");

  PackEntry packed;
  packed.name = entry.name;
  packed.versionNeeded = entry.versionNeeded;
  // A writer that streamed its output sets flag bit 3 and puts the CRC-32 and sizes in
  // a data descriptor after the data. The stub never reads a descriptor and, for such a
  // record, does not compare the CRC-32 at all; the record gets the central directory's
  // values in its header instead and the bit cleared, so that every entry is checked.
  // An encrypted entry keeps the bit: its encryption header's check byte depends on it.
  packed.flags = entry.flags;
  if ((entry.flags & kFlagEncrypted) == 0) packed.flags &= static_cast<uint16_t>(~kFlagCheckByteFromTime);
  packed.method = entry.method;
  packed.modTime = entry.modTime;
  packed.modDate = entry.modDate;
  packed.crc32 = entry.crc32;
  packed.uncompressedSize = entry.uncompressedSize;
  packed.data = ReadAt(dataStart, entry.compressedSize, which + "'s data");
  return packed;
}

}  // namespace sfxpack

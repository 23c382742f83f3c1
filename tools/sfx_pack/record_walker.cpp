// Walking a package's records with the stub's own read layer.
//
// The walk goes further than the stub in one respect only: it compares every step with
// the file's size. When the records end before the end of the file, the rest is looked
// at once more: a signing tool (osslsigncode, signtool) appends the Authenticode
// certificate table after the archive, padded to 8 bytes, and records it in the stub's
// PE header; such a tail is the package's normal end, anything else is not.
#include "tools/sfx_pack/record_walker.h"

#include <cstdio>
#include <fstream>

#include "launcher/locate.h"
#include "platform/platform.h"
#include "tools/sfx_pack/package_checks.h"
#include "tools/sfx_pack/pack_error.h"

namespace sfxpack {

namespace {
constexpr int64_t kSignatureAlignment = 8;
}  // namespace

RecordWalker::RecordWalker(const std::string& path) : path_(path) {
  if (std::ifstream(path, std::ios::binary).fail()) throw PackError(path, "cannot open package: " + SystemReason());
  head_ = ReadFileHead(path);

  ArchiveHandle = plat::OpenForReading(path.c_str());
  if (ArchiveHandle == plat::kInvalidFile) throw PackError(path, "cannot open package");
  open_.opened = true;
  uint32_t size = 0;
  if (!plat::QueryFileSize(ArchiveHandle, &size)) throw PackError(path, "cannot read package size");
  fileSize_ = size;
  archiveOffset_ = FindArchiveStart(path.c_str());
  if (archiveOffset_ < 0)
    throw PackError(path, "no archive marker found: not a package, or a damaged one (the stub shows Error #SFXAID#)");
  SeekArchive(static_cast<int32_t>(archiveOffset_), plat::kFromBeginning);
  if (SeekResult != archiveOffset_) throw PackError(path, "cannot seek to the archive");
  offset_ = next_ = archiveOffset_;
}

RecordWalker::OpenArchive::~OpenArchive() {
  if (opened) (void)plat::CloseFileHandle(ArchiveHandle);
  ArchiveHandle = plat::kInvalidFile;
}

void RecordWalker::Finish(const std::string& why) {
  finished_ = true;
  end_ = offset_;
  ending_ = why;
  clean_ = end_ >= fileSize_;
  ProgramKind stub = IdentifyProgram(head_);
  if (!clean_ && stub.pe && stub.securitySize > 0 && stub.securityOffset >= end_ &&
      stub.securityOffset - end_ < kSignatureAlignment && stub.securityOffset + stub.securitySize == fileSize_) {
    clean_ = true;
    signatureSize_ = fileSize_ - end_;
    ending_ = "Authenticode signature of " + std::to_string(signatureSize_) + " bytes to the end of the file";
  }
}

// True when the stored bytes from `offset` to the end of the file (fewer than a header)
// begin like a record's signature: the file was cut inside that record's header.
static bool StartsLikeARecord(const std::string& path, int64_t offset, int64_t left) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(offset);
  bool local = true, alternate = true;
  for (int i = 0; i < 4 && i < left; ++i) {
    uint8_t plain = static_cast<uint8_t>(in.get() ^ kArchiveScramble);
    local = local && plain == static_cast<uint8_t>(kLocalSignature >> (8 * i));
    alternate = alternate && plain == static_cast<uint8_t>(kAlternateSignature >> (8 * i));
  }
  return in.good() && (local || alternate);
}

std::string RecordWalker::WhyNoRecord() {
  int64_t left = fileSize_ - offset_;
  if (left <= 0) return "end of file";
  if (left < kRecordHeaderSize) {
    cutShort_ = StartsLikeARecord(path_, offset_, left);
    return std::to_string(left) + " bytes left, too few for a record header" +
           (cutShort_ ? ": the file is cut short inside it" : "");
  }
  const uint8_t* s = CurrentEntry.header.raw;
  char text[64];
  std::snprintf(text, sizeof text, "no record signature (plain bytes %02X %02X %02X %02X)", s[0], s[1], s[2], s[3]);
  return text;
}

bool RecordWalker::Next() {
  if (finished_) return false;
  if (!damage_.empty()) {
    Finish(damage_);
    return false;
  }
  if (records_ > 0) {
    offset_ = next_;
    SeekArchive(static_cast<int32_t>(next_), plat::kFromBeginning);
    if (SeekResult != next_) {
      Finish("cannot seek to " + std::to_string(next_));
      return false;
    }
  }
  if (!ReadRecordHeader()) {
    Finish(WhyNoRecord());
    return false;
  }
  header_ = CurrentEntry.header;
  name_.resize(header_.NameLength());
  uint32_t got = 0;
  ReadArchive(ArchiveHandle, name_.data(), static_cast<uint32_t>(name_.size()), &got);
  name_.resize(got);
  ++records_;
  next_ = offset_ + kRecordHeaderSize + header_.NameLength() + header_.CompressedSize();
  std::string at = "the record at " + std::to_string(offset_);
  cutShort_ = got < header_.NameLength() || (header_.CompressedSize() >= 0 && next_ > fileSize_);
  if (got < header_.NameLength())
    damage_ = "the name of " + at + " is cut short by the end of file";
  else if (header_.CompressedSize() < 0)
    damage_ = at + " has a compressed size of 2 GiB or more";
  else if (next_ > fileSize_)
    damage_ = at + " runs " + std::to_string(next_ - fileSize_) + " bytes past the end of the file";
  return true;
}

}  // namespace sfxpack

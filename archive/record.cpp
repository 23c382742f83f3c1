// The read layer of the archive and the reading of one record header.
#include "archive/record.h"

#include <string.h>

using namespace RecordField;

EntryState CurrentEntry = {};
// Both are set by the start-up before the first archive read. They start as zero, not as
// kInvalidFile and -1: every initialised variable costs the size-optimised program room
// in a data section of its own.
plat::FileHandle ArchiveHandle = 0;
int32_t ArchiveOffset = 0;
int32_t SeekResult = 0;
plat::ByteString ArchivePassword;

uint32_t LocalRecordHeader::Signature() const { return ReadLe32(raw + kSignature); }
uint16_t LocalRecordHeader::Flags() const { return ReadLe16(raw + kFlags); }
uint16_t LocalRecordHeader::Method() const { return ReadLe16(raw + kMethod); }
uint16_t LocalRecordHeader::ModTime() const { return ReadLe16(raw + kModTime); }
uint16_t LocalRecordHeader::ModDate() const { return ReadLe16(raw + kModDate); }
uint32_t LocalRecordHeader::Crc32() const { return ReadLe32(raw + kCrc32); }
int32_t LocalRecordHeader::CompressedSize() const {
  return static_cast<int32_t>(ReadLe32(raw + kCompressedSize));
}
uint32_t LocalRecordHeader::UncompressedSize() const { return ReadLe32(raw + kUncompressedSize); }
uint16_t LocalRecordHeader::NameLength() const { return ReadLe16(raw + kNameLength); }
uint16_t LocalRecordHeader::ExtraLength() const { return ReadLe16(raw + kExtraLength); }

void ReadArchive(plat::FileHandle file, uint8_t* buffer, uint32_t count, uint32_t* got) {
  uint32_t n = 0;
  (void)plat::ReadBytes(file, buffer, count, &n);  // judged by the count alone
  if (n > count) n = 0;  // never trust a count larger than asked
  // Unscrambled four bytes at a time (the scramble byte in every byte of a word), then
  // the last zero to three bytes one by one.
  uint32_t i = 0;
  for (; n - i >= 4; i += 4) {
    uint32_t word;
    memcpy(&word, buffer + i, sizeof word);
    word ^= kArchiveScramble * 0x01010101u;
    memcpy(buffer + i, &word, sizeof word);
  }
  for (; i < n; ++i) buffer[i] ^= kArchiveScramble;
  *got = n;
}

void SeekArchive(int32_t distance, plat::MoveMethod method) {
  SeekResult = plat::SeekFile(ArchiveHandle, distance, method);
}

void ReadArchiveWhole(uint8_t* buffer, uint32_t count, uint32_t* got) {
  *got = 0;
  while (*got < count) {
    uint32_t n = 0;
    ReadArchive(ArchiveHandle, buffer + *got, count - *got, &n);
    if (n == 0) return;
    *got += n;
  }
}

bool ReadRecordHeader() {
  uint8_t* raw = CurrentEntry.header.raw;
  raw[kSignature] = raw[kSignature + 1] = raw[kSignature + 2] = raw[kSignature + 3] = 0;
  uint32_t got = 0;
  ReadArchiveWhole(raw, kRecordHeaderSize, &got);
  uint32_t signature = CurrentEntry.header.Signature();
  // A header cut short by the end of the file would mix in the previous record's fields.
  bool accepted = got == kRecordHeaderSize &&
                  (signature == kAlternateSignature || signature == kLocalSignature);
  return accepted;
}

// The archive's record format and its read layer: every archive byte is read here.
//
// The archive is a run of ZIP local records stored XOR 0xF0, from ArchiveOffset to the
// end of the package file. Each record is a 30-byte header, the entry's name, for an
// encrypted entry a 12-byte encryption header, then the entry's data (stored or raw
// deflate). CompressedSize counts the encryption header and the data. There is no
// extra field in this system's archives: ExtraLength is never read, and the next record
// starts at the record's start + 30 + NameLength + CompressedSize.
#pragma once

#include <stdint.h>

#include "platform/byte_string.h"
#include "platform/platform.h"

// Byte offsets of the fields of a local record header, little-endian, no gaps.
namespace RecordField {
inline constexpr int kSignature = 0;         // 4: kLocalSignature or kAlternateSignature
inline constexpr int kVersionNeeded = 4;     // 2: not used
inline constexpr int kFlags = 6;             // 2: bit 0 encrypted, bit 3 check byte from ModTime,
                                             //    bit 11 UTF-8 name
inline constexpr int kMethod = 8;            // 2: 0 stored, 8 deflate
inline constexpr int kModTime = 10;          // 2: DOS time
inline constexpr int kModDate = 12;          // 2: DOS date
inline constexpr int kCrc32 = 14;            // 4: CRC-32 of the uncompressed data
inline constexpr int kCompressedSize = 18;   // 4: bytes after the name
inline constexpr int kUncompressedSize = 22; // 4: not used
inline constexpr int kNameLength = 26;       // 2: bytes of name after the header
inline constexpr int kExtraLength = 28;      // 2: not used
}  // namespace RecordField

inline constexpr int kRecordHeaderSize = 30;
inline constexpr uint32_t kLocalSignature = 0x04034B50u;      // "PK\3\4"
inline constexpr uint32_t kAlternateSignature = 0xDB6C6556u;  // "Vel" 0xDB
inline constexpr uint8_t kArchiveScramble = 0xF0;             // every stored byte is plain ^ 0xF0
inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflate = 8;
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagCheckByteFromTime = 0x0008;
inline constexpr uint16_t kFlagUtf8Name = 0x0800;  // the name is UTF-8, not the ANSI code page
inline constexpr int kEncryptionHeaderSize = 12;

// The header of the record being extracted, decoded field by field from its 30 bytes.
struct LocalRecordHeader {
  uint8_t raw[kRecordHeaderSize];
  uint32_t Signature() const;
  uint16_t Flags() const;
  uint16_t Method() const;
  uint16_t ModTime() const;
  uint16_t ModDate() const;
  uint32_t Crc32() const;
  // Sizes are taken as signed 32-bit values, so a size of 2 GiB or more is negative.
  int32_t CompressedSize() const;
  uint32_t UncompressedSize() const;
  uint16_t NameLength() const;
  uint16_t ExtraLength() const;
};

// Process-wide state of the entry being extracted.
struct EntryState {
  LocalRecordHeader header;
  int32_t RemainingCount;       // entry bytes not yet read
  plat::FileHandle OutputHandle;
  uint32_t RunningCrc;
};

extern EntryState CurrentEntry;
extern plat::FileHandle ArchiveHandle;  // the package file, open for the whole run
extern int32_t ArchiveOffset;           // the archive's first byte, or -1
extern int32_t SeekResult;              // position after the last SeekArchive, or -1
extern plat::ByteString ArchivePassword; // nothing sets it; stays empty

// Reads up to `count` archive bytes and undoes the scrambling on exactly those
// delivered; *got is the number delivered (0 at the end or after a failure).
void ReadArchive(plat::FileHandle file, uint8_t* buffer, uint32_t count, uint32_t* got);

// Reads until `count` archive bytes arrived or a read delivers nothing (the end of the
// file, or a failure): a read may deliver fewer bytes than asked before the end (a
// network share does), and a header or a name must not be taken from a partial read.
void ReadArchiveWhole(uint8_t* buffer, uint32_t count, uint32_t* got);

// Moves ArchiveHandle; the new position, or -1 on failure, goes to SeekResult.
void SeekArchive(int32_t distance, plat::MoveMethod method);

// Reads the next record header into CurrentEntry.header. True when 30 bytes arrived and
// the signature is one of the two accepted; a short header ends the record sequence.
// (The entry's data step, WriteEntryData, sets RemainingCount from the header.)
[[nodiscard]] bool ReadRecordHeader();

// Little-endian field readers and writers shared by the parsers, the package tool and the
// tests.
inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void WriteLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void WriteLe32(uint8_t* p, uint32_t v) {
  WriteLe16(p, static_cast<uint16_t>(v));
  WriteLe16(p + 2, static_cast<uint16_t>(v >> 16));
}

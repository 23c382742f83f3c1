// Hand-built archive records and packages for tests, including malformed ones, and
// whole files read and written.
#pragma once

#include <stdint.h>
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/record.h"

namespace sfxtest {

using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// zlib's CRC-32, independent of the system's table-driven one.
inline uint32_t Crc32(const Bytes& data) {
  return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

// One local record, in plain (unscrambled) form. Fields left unset get the values a
// well-formed record would carry.
struct Record {
  uint16_t flags = 0;
  uint16_t method = kMethodStored;
  std::optional<uint32_t> crc32;            // default: CRC-32 of `uncompressed`
  std::optional<uint32_t> compressedSize;   // default: size of `data`
  uint16_t extraLength = 0;
  std::string name;
  Bytes data;          // what follows the name (encryption header included)
  Bytes uncompressed;  // the entry's content, for the default CRC and size
};

// A stored record of `content` named `name`.
inline Record StoredRecord(const std::string& name, const std::string& content) {
  return Record{.name = name, .data = ToBytes(content), .uncompressed = ToBytes(content)};
}

// Serialises the records back to back, plain, each with the alternate signature and the
// version needed FF 00 (the six bytes of the marker) and the time 2025-01-01 12:00:00.
inline Bytes BuildArchive(const std::vector<Record>& records) {
  Bytes out;
  for (const Record& r : records) {
    uint8_t h[kRecordHeaderSize];
    WriteLe32(h + RecordField::kSignature, kAlternateSignature);
    WriteLe16(h + RecordField::kVersionNeeded, 0x00FF);
    WriteLe16(h + RecordField::kFlags, r.flags);
    WriteLe16(h + RecordField::kMethod, r.method);
    WriteLe16(h + RecordField::kModTime, 0x6000);
    WriteLe16(h + RecordField::kModDate, 0x5A21);
    WriteLe32(h + RecordField::kCrc32, r.crc32.value_or(Crc32(r.uncompressed)));
    WriteLe32(h + RecordField::kCompressedSize, r.compressedSize.value_or(static_cast<uint32_t>(r.data.size())));
    WriteLe32(h + RecordField::kUncompressedSize, static_cast<uint32_t>(r.uncompressed.size()));
    WriteLe16(h + RecordField::kNameLength, static_cast<uint16_t>(r.name.size()));
    WriteLe16(h + RecordField::kExtraLength, r.extraLength);
    out.insert(out.end(), h, h + kRecordHeaderSize);
    out.insert(out.end(), r.name.begin(), r.name.end());
    out.insert(out.end(), r.data.begin(), r.data.end());
  }
  return out;
}

// XOR 0xF0 of every byte: the stored form.
inline Bytes Scramble(Bytes plain) {
  for (uint8_t& b : plain) b ^= kArchiveScramble;
  return plain;
}

// The marker scan needs at least 20 bytes before the archive; this is a stand-in image.
inline Bytes FakeStub(size_t size = 64) { return Bytes(size, 'S'); }

// Stub bytes followed by the scrambled archive.
inline Bytes BuildPackage(const std::vector<Record>& records, const Bytes& stub = FakeStub()) {
  Bytes out = Scramble(BuildArchive(records));
  out.insert(out.begin(), stub.begin(), stub.end());
  return out;
}

inline void WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot write " + path);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace sfxtest

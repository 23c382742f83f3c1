// Hand-built archive records and packages for tests, including malformed ones.
#pragma once

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "archive/record.h"

namespace sfxtest {

using Bytes = std::vector<uint8_t>;

// One local record, in plain (unscrambled) form. Fields left unset get the values a
// well-formed record would carry.
struct Record {
  uint32_t signature = kAlternateSignature;
  uint16_t versionNeeded = 0x00FF;  // plain FF 00: with the signature, the six marker bytes
  uint16_t flags = 0;
  uint16_t method = kMethodStored;
  uint16_t modTime = 0x6000;  // 12:00:00
  uint16_t modDate = 0x5A21;  // 2025-01-01
  std::optional<uint32_t> crc32;            // default: CRC-32 of `uncompressed`
  std::optional<uint32_t> compressedSize;   // default: size of `data`
  std::optional<uint32_t> uncompressedSize; // default: size of `uncompressed`
  std::optional<uint16_t> nameLength;       // default: size of `name`
  uint16_t extraLength = 0;
  std::string name;
  Bytes data;          // what follows the name (encryption header included)
  Bytes uncompressed;  // the entry's content, for the default CRC and size
};

// A stored record of `content` named `name`.
Record StoredRecord(const std::string& name, const std::string& content);

// Serialises the records back to back, plain.
Bytes BuildArchive(const std::vector<Record>& records);
// XOR 0xF0 of every byte: the stored form.
Bytes Scramble(const Bytes& plain);
// The marker scan needs at least 20 bytes before the archive; this is a stand-in image.
Bytes FakeStub(size_t size = 64);
// Stub bytes followed by the scrambled archive.
Bytes BuildPackage(const std::vector<Record>& records, const Bytes& stub = FakeStub());

uint32_t Crc32(const Bytes& data);
uint32_t Crc32(const std::string& data);
Bytes ToBytes(const std::string& s);

void WriteFile(const std::string& path, const Bytes& data);
Bytes ReadFile(const std::string& path);

}  // namespace sfxtest

// Hand-built archive records and packages for tests.
#include "tests/support/package_builder.h"

#include <zlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "archive/record.h"

namespace sfxtest {

// zlib's CRC-32, independent of the system's table-driven one.
uint32_t Crc32(const Bytes& data) {
  return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}
uint32_t Crc32(const std::string& data) { return Crc32(ToBytes(data)); }

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

Record StoredRecord(const std::string& name, const std::string& content) {
  Record r;
  r.name = name;
  r.data = ToBytes(content);
  r.uncompressed = r.data;
  return r;
}

Bytes BuildArchive(const std::vector<Record>& records) {
  Bytes out;
  for (const Record& r : records) {
    uint8_t h[kRecordHeaderSize];
    WriteLe32(h + RecordField::kSignature, r.signature);
    WriteLe16(h + RecordField::kVersionNeeded, r.versionNeeded);
    WriteLe16(h + RecordField::kFlags, r.flags);
    WriteLe16(h + RecordField::kMethod, r.method);
    WriteLe16(h + RecordField::kModTime, r.modTime);
    WriteLe16(h + RecordField::kModDate, r.modDate);
    WriteLe32(h + RecordField::kCrc32, r.crc32.value_or(Crc32(r.uncompressed)));
    WriteLe32(h + RecordField::kCompressedSize, r.compressedSize.value_or(static_cast<uint32_t>(r.data.size())));
    WriteLe32(h + RecordField::kUncompressedSize,
              r.uncompressedSize.value_or(static_cast<uint32_t>(r.uncompressed.size())));
    WriteLe16(h + RecordField::kNameLength, r.nameLength.value_or(static_cast<uint16_t>(r.name.size())));
    WriteLe16(h + RecordField::kExtraLength, r.extraLength);
    out.insert(out.end(), h, h + kRecordHeaderSize);
    out.insert(out.end(), r.name.begin(), r.name.end());
    out.insert(out.end(), r.data.begin(), r.data.end());
  }
  return out;
}

Bytes Scramble(const Bytes& plain) {
  Bytes out(plain);
  for (uint8_t& b : out) b ^= kArchiveScramble;
  return out;
}

Bytes FakeStub(size_t size) {
  Bytes stub(size);
  for (size_t i = 0; i < size; ++i) stub[i] = static_cast<uint8_t>("MZ-stand-in-image-"[i % 18]);
  return stub;
}

Bytes BuildPackage(const std::vector<Record>& records, const Bytes& stub) {
  Bytes out(stub);
  Bytes archive = Scramble(BuildArchive(records));
  out.insert(out.end(), archive.begin(), archive.end());
  return out;
}

void WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot write " + path);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace sfxtest

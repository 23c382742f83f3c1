// Hand-built archive records and packages for tests.
#include "tests/support/package_builder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace sfxtest {

static void Put16(Bytes& out, uint16_t v) {
  out.push_back(v & 0xFF);
  out.push_back(v >> 8);
}
static void Put32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back((v >> (8 * i)) & 0xFF);
}

// Bitwise CRC-32, independent of the system's table-driven one.
uint32_t Crc32(const Bytes& data) {
  uint32_t c = 0xFFFFFFFFu;
  for (uint8_t b : data) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
  }
  return ~c;
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
    Put32(out, r.signature);
    Put16(out, r.versionNeeded);
    Put16(out, r.flags);
    Put16(out, r.method);
    Put16(out, r.modTime);
    Put16(out, r.modDate);
    Put32(out, r.crc32.value_or(Crc32(r.uncompressed)));
    Put32(out, r.compressedSize.value_or(static_cast<uint32_t>(r.data.size())));
    Put32(out, r.uncompressedSize.value_or(static_cast<uint32_t>(r.uncompressed.size())));
    Put16(out, r.nameLength.value_or(static_cast<uint16_t>(r.name.size())));
    Put16(out, r.extraLength);
    out.insert(out.end(), r.name.begin(), r.name.end());
    out.insert(out.end(), r.data.begin(), r.data.end());
  }
  return out;
}

Bytes Scramble(const Bytes& plain) {
  Bytes out(plain);
  for (uint8_t& b : out) b ^= 0xF0;
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

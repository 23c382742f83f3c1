// Listing a package the way the stub walks it: FindArchiveStart for the archive's start,
// then ReadRecordHeader, ReadArchive for the name, and one absolute SeekArchive to the
// next record (start + 30 + NameLength + CompressedSize). The listing goes further than
// the stub in one respect only: it compares every step with the file's size, so that it
// can say where a damaged package stops making sense.
#include "tools/sfx_pack/lister.h"

#include <cstdio>
#include <vector>

#include "archive/record.h"
#include "launcher/locate.h"
#include "platform/platform.h"
#include "tools/sfx_pack/dos_time.h"
#include "tools/sfx_pack/pack_error.h"

namespace sfxpack {

namespace {

// Keeps ArchiveHandle open for one listing and closes it on every path.
class OpenArchive {
 public:
  explicit OpenArchive(const std::string& path) {
    ArchiveHandle = plat::OpenForReading(path.c_str());
    if (ArchiveHandle == plat::kInvalidFile) throw PackError(path, "cannot open package");
  }
  ~OpenArchive() {
    (void)plat::CloseFileHandle(ArchiveHandle);
    ArchiveHandle = plat::kInvalidFile;
  }
  OpenArchive(const OpenArchive&) = delete;
  OpenArchive& operator=(const OpenArchive&) = delete;
};

// Control bytes and the backslash as \xNN, so one record stays one line whatever its
// name holds; other bytes are written as they are.
std::string PrintableName(const std::vector<uint8_t>& name) {
  std::string text;
  for (uint8_t b : name) {
    if (b < 0x20 || b == 0x7F || b == '\\') {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", b);
      text += escape;
    } else {
      text += static_cast<char>(b);
    }
  }
  return text;
}

std::string MethodName(uint16_t method) {
  if (method == 0) return "stored";
  if (method == 8) return "deflate";
  return "method" + std::to_string(method);
}

std::string RecordLine(int64_t offset, const LocalRecordHeader& h, const std::vector<uint8_t>& name) {
  char fields[160];
  std::snprintf(fields, sizeof fields, "%10lld  %-8s  0x%04X  %10u  %12u  %08X  %s  ",
                static_cast<long long>(offset), MethodName(h.Method()).c_str(), h.Flags(),
                static_cast<uint32_t>(h.CompressedSize()), h.UncompressedSize(), h.Crc32(),
                FormatDosDateTime(h.ModDate(), h.ModTime()).c_str());
  return fields + PrintableName(name);
}

// Why ReadRecordHeader found no record at `at`.
std::string WhyNoRecord(int64_t at, int64_t fileSize) {
  int64_t left = fileSize - at;
  if (left <= 0) return "end of file";
  if (left < kRecordHeaderSize)
    return std::to_string(left) + " bytes left, too few for a record header";
  const uint8_t* s = CurrentEntry.header.raw;
  char text[64];
  std::snprintf(text, sizeof text, "no record signature (plain bytes %02X %02X %02X %02X)",
                s[0], s[1], s[2], s[3]);
  return text;
}

}  // namespace

bool ListPackage(const std::string& path, std::ostream& out) {
  OpenArchive open(path);
  uint32_t fileSize = 0;
  if (!plat::QueryFileSize(ArchiveHandle, &fileSize)) throw PackError(path, "cannot read package size");
  int32_t start = FindArchiveStart(path.c_str());
  if (start < 0) throw PackError(path, "no archive marker found: not a package, or a damaged one");
  SeekArchive(start, plat::kFromBeginning);
  if (SeekResult != start) throw PackError(path, "cannot seek to the archive");

  out << "archive offset: " << start << "\n";
  out << "    offset  method    flags   compressed  uncompressed  crc32     modified             name\n";
  int records = 0;
  int64_t at = start;
  std::string ending;
  bool clean = false;  // the records end exactly at the end of the file
  while (ending.empty()) {
    if (!ReadRecordHeader()) {
      clean = at >= fileSize;
      ending = WhyNoRecord(at, fileSize);
      break;
    }
    const LocalRecordHeader& header = CurrentEntry.header;
    std::vector<uint8_t> name(header.NameLength());
    uint32_t got = 0;
    ReadArchive(ArchiveHandle, name.data(), static_cast<uint32_t>(name.size()), &got);
    name.resize(got);
    out << RecordLine(at, header, name) << "\n";
    ++records;
    int64_t next = at + kRecordHeaderSize + header.NameLength() + header.CompressedSize();
    if (got < header.NameLength()) {
      ending = "the name of the record at " + std::to_string(at) + " is cut short by the end of file";
    } else if (header.CompressedSize() < 0) {
      ending = "the record at " + std::to_string(at) + " has a compressed size of 2 GiB or more";
    } else if (next > fileSize) {
      ending = "the record at " + std::to_string(at) + " runs " + std::to_string(next - fileSize) +
               " bytes past the end of the file";
    } else {
      SeekArchive(static_cast<int32_t>(next), plat::kFromBeginning);
      if (SeekResult != next) ending = "cannot seek to " + std::to_string(next);
      at = next;
    }
  }
  out << "end of records at offset " << at << ": " << ending << " (" << records
      << (records == 1 ? " record)\n" : " records)\n");
  return clean;
}

}  // namespace sfxpack

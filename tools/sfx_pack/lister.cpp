// Listing a package the way the stub walks it (RecordWalker), as an aligned table or as
// JSON for scripts.
#include "tools/sfx_pack/lister.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "tools/sfx_pack/dos_time.h"
#include "tools/sfx_pack/entry_names.h"
#include "tools/sfx_pack/record_walker.h"
#include "tools/sfx_pack/stub_texts.h"

namespace sfxpack {

namespace {

// One record as listed, before it is formatted.
struct ListedRecord {
  int64_t offset;
  LocalRecordHeader header;
  std::vector<uint8_t> name;
};

struct Listing {
  int64_t archiveOffset = 0;
  std::vector<ListedRecord> records;
  int64_t end = 0;
  std::string ending;
  ListEnd how;
  int64_t signatureSize = 0;
  std::optional<StubTexts> texts;
};

Listing ReadListing(const std::string& path) {
  RecordWalker walker(path);
  Listing listing;
  listing.archiveOffset = walker.archiveOffset();
  while (walker.Next()) listing.records.push_back({walker.offset(), walker.header(), walker.name()});
  listing.end = walker.end();
  listing.ending = walker.ending();
  listing.how = {walker.clean(), walker.cutShort()};
  listing.signatureSize = walker.signatureSize();
  std::vector<std::string> problems;  // verify reports them
  listing.texts = ReadStubTexts(path, listing.archiveOffset, problems);
  return listing;
}

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string MethodName(uint16_t method) {
  if (method == 0) return "stored";
  if (method == 8) return "deflate";
  return "method" + std::to_string(method);
}

// The table's columns; `right` aligns numbers to the right. The name comes last and is
// not padded.
struct Column {
  const char* title;
  bool right;
};
const Column kColumns[] = {{"offset", true},      {"method", false},       {"flags", false},
                           {"compressed", true},  {"uncompressed", true}, {"crc32", false},
                           {"modified", false},   {"name", false}};
constexpr size_t kColumnCount = sizeof kColumns / sizeof kColumns[0];

std::vector<std::string> RowOf(const ListedRecord& r) {
  const LocalRecordHeader& h = r.header;
  return {std::to_string(r.offset),
          MethodName(h.Method()),
          "0x" + Hex(h.Flags(), 4),
          std::to_string(h.CompressedSize()),
          std::to_string(h.UncompressedSize()),
          Hex(h.Crc32(), 8),
          FormatDosDateTime(h.ModDate(), h.ModTime()),
          PrintableName(ShownName(r.name, h.Flags()))};
}

void WriteRow(const std::vector<std::string>& cells, const std::vector<size_t>& widths, std::ostream& out) {
  std::string line;
  for (size_t c = 0; c < kColumnCount; ++c) {
    std::string pad(widths[c] - std::min(widths[c], cells[c].size()), ' ');
    if (c + 1 == kColumnCount) pad.clear();
    line += kColumns[c].right ? pad + cells[c] : cells[c] + pad;
    if (c + 1 < kColumnCount) line += "  ";
  }
  out << line << "\n";
}

std::string Ending(const Listing& listing) {
  size_t n = listing.records.size();
  return "end of records at offset " + std::to_string(listing.end) + ": " + listing.ending + " (" +
         std::to_string(n) + (n == 1 ? " record)" : " records)");
}

bool IsUtf8(const std::vector<uint8_t>& bytes) {
  for (size_t i = 0; i < bytes.size();) {
    uint8_t b = bytes[i];
    size_t more = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : 9;
    if (more == 9 || (more > 0 && b < 0xC2) || i + more >= bytes.size()) return false;
    for (size_t k = 1; k <= more; ++k)
      if ((bytes[i + k] >> 6) != 2) return false;
    i += more + 1;
  }
  return true;
}

std::string JsonString(const std::vector<uint8_t>& bytes) {
  bool utf8 = IsUtf8(bytes);
  std::string out = "\"";
  for (uint8_t b : bytes) {
    if (b == '"' || b == '\\') {
      out += '\\';
      out += static_cast<char>(b);
    } else if (b < 0x20 || b == 0x7F || (b >= 0x80 && !utf8)) {
      out += "\\u00" + Hex(b, 2);
    } else {
      out += static_cast<char>(b);
    }
  }
  return out + "\"";
}

std::string JsonString(const std::string& text) { return JsonString(std::vector<uint8_t>(text.begin(), text.end())); }

}  // namespace

std::vector<uint8_t> ShownName(const std::vector<uint8_t>& name, uint16_t flags) {
  std::string text = WindowsName(std::string(name.begin(), name.end()), flags);
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::string PrintableName(const std::vector<uint8_t>& name) {
  std::string text;
  for (uint8_t b : name) {
    if (b < 0x20 || b == 0x7F || b == '\\') text += "\\x" + Hex(b, 2);
    else text += static_cast<char>(b);
  }
  return text;
}

ListEnd ListPackage(const std::string& path, std::ostream& out) {
  Listing listing = ReadListing(path);
  std::vector<std::vector<std::string>> rows;
  std::vector<size_t> widths;
  for (const Column& column : kColumns) widths.push_back(std::string(column.title).size());
  for (const ListedRecord& record : listing.records) {
    rows.push_back(RowOf(record));
    for (size_t c = 0; c < kColumnCount; ++c) widths[c] = std::max(widths[c], rows.back()[c].size());
  }
  out << "archive offset: " << listing.archiveOffset << "\n";
  if (listing.texts)
    for (const std::string& line : DescribeTexts(*listing.texts)) out << line << "\n";
  std::vector<std::string> titles;
  for (const Column& column : kColumns) titles.push_back(column.title);
  WriteRow(titles, widths, out);
  for (const std::vector<std::string>& row : rows) WriteRow(row, widths, out);
  out << Ending(listing) << "\n";
  return listing.how;
}

ListEnd ListPackageJson(const std::string& path, std::ostream& out) {
  Listing listing = ReadListing(path);
  out << "{\"archiveOffset\": " << listing.archiveOffset << ", \"records\": [";
  for (size_t i = 0; i < listing.records.size(); ++i) {
    const ListedRecord& r = listing.records[i];
    const LocalRecordHeader& h = r.header;
    out << (i ? ",\n  " : "\n  ") << "{\"offset\": " << r.offset << ", \"name\": " << JsonString(ShownName(r.name, h.Flags()))
        << ", \"method\": " << h.Method() << ", \"flags\": " << h.Flags()
        << ", \"encrypted\": " << ((h.Flags() & kFlagEncrypted) ? "true" : "false")
        << ", \"compressedSize\": " << h.CompressedSize() << ", \"uncompressedSize\": " << h.UncompressedSize()
        << ", \"crc32\": \"" << Hex(h.Crc32(), 8) << "\", \"modified\": \""
        << FormatDosDateTime(h.ModDate(), h.ModTime()) << "\"}";
  }
  out << (listing.records.empty() ? "" : "\n") << "], \"end\": {\"offset\": " << listing.end
      << ", \"reason\": " << JsonString(listing.ending) << ", \"clean\": " << (listing.how.clean ? "true" : "false")
      << "}, \"signatureSize\": " << listing.signatureSize << ", \"texts\": ";
  if (listing.texts) {
    const StubTexts& t = *listing.texts;
    out << "{\"caption\": " << JsonString(ShowText(t.caption, false))
        << ", \"waitText\": " << JsonString(ShowText(t.waitText, false)) << ", \"contacts\": [";
    for (int i = 0; i < kContactCount; ++i) out << (i ? ", " : "") << JsonString(ShowText(t.contacts[i], false));
    out << "]}";
  } else {
    out << "null";
  }
  out << "}\n";
  return listing.how;
}

}  // namespace sfxpack

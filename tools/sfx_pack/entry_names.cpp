// Entry names as Windows reads them.
//
// The stub decodes names with DecodeEntryName, so WindowsName calls that very code. The
// readings on other code pages come from iconv, which knows the Windows code pages by
// the names "CP1252" and so on; a code page whose converter is missing is left out.
// Case folding takes the C.UTF-8 locale's upper case of each character, close to the
// table Windows keeps for its file systems.
#include "tools/sfx_pack/entry_names.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <algorithm>

#include "archive/names.h"
#include "archive/record.h"
#include "platform/byte_string.h"

namespace sfxpack {

namespace {

struct CodePage {
  const char* iconvName;
  const char* shown;
};

const CodePage kCommonCodePages[] = {
    {"CP1252", "Windows-1252 (Western European)"}, {"CP1250", "Windows-1250 (Central European)"},
    {"CP1251", "Windows-1251 (Cyrillic)"},         {"CP1253", "Windows-1253 (Greek)"},
    {"CP1254", "Windows-1254 (Turkish)"},          {"CP1257", "Windows-1257 (Baltic)"},
    {"CP932", "932 (Japanese)"},                    {"CP936", "936 (Simplified Chinese)"},
    {"CP949", "949 (Korean)"},                      {"CP950", "950 (Traditional Chinese)"},
};

enum class Decoded { kText, kNotText, kNoConverter };

// The bytes as UTF-8 through iconv.
Decoded Decode(const char* codePage, const std::string& bytes, std::string& out) {
  iconv_t converter = iconv_open("UTF-8", codePage);
  if (converter == reinterpret_cast<iconv_t>(-1)) return Decoded::kNoConverter;
  std::string input = bytes;
  out.assign(bytes.size() * 4 + 4, '\0');
  char* in = input.data();
  char* to = out.data();
  size_t inLeft = input.size(), outLeft = out.size();
  bool ok = iconv(converter, &in, &inLeft, &to, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
  iconv_close(converter);
  out.resize(out.size() - outLeft);
  if (!ok) out.clear();
  return ok ? Decoded::kText : Decoded::kNotText;
}

}  // namespace

std::string WindowsName(const std::string& bytes, uint16_t flags, bool* valid) {
  plat::ScopedByteString name;
  bool ok = name.Assign(bytes.data(), static_cast<uint32_t>(bytes.size())) && DecodeEntryName(flags, name);
  if (valid) *valid = ok;
  return ok ? std::string(name.Text(), name.length) : bytes;
}

uint16_t NameFlags(const std::string& name) {
  bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return ascii || !plat::IsValidUtf8(name.data(), static_cast<uint32_t>(name.size())) ? 0 : kFlagUtf8Name;
}

std::vector<CodePageReading> ReadOnCommonCodePages(const std::string& bytes) {
  std::vector<CodePageReading> readings;
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return readings;
  for (const CodePage& page : kCommonCodePages) {
    std::string text;
    if (Decode(page.iconvName, bytes, text) == Decoded::kNoConverter) continue;
    auto same = std::find_if(readings.begin(), readings.end(), [&](const CodePageReading& r) { return r.text == text; });
    if (same == readings.end()) readings.push_back({text, {page.shown}});
    else same->codePages.push_back(page.shown);
  }
  return readings;
}

std::string FoldCase(const std::string& utf8Name) {
  static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  std::string out;
  for (uint32_t i = 0; i < utf8Name.size();) {
    uint32_t at = i;
    int32_t c = plat::NextUtf8(utf8Name.data(), static_cast<uint32_t>(utf8Name.size()), &i);
    if (c < 0) {
      out.append(utf8Name, at, i - at);  // not UTF-8: kept as it is
      continue;
    }
    uint32_t upper = utf8 ? static_cast<uint32_t>(towupper_l(static_cast<wint_t>(c), utf8))
                          : static_cast<uint32_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
    char bytes[4];
    out.append(bytes, plat::EncodeUtf8(upper, bytes));
  }
  return out;
}

}  // namespace sfxpack

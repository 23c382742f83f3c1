// The stub's text block: UTF-8 options turned into Windows-1252 fields, and back.
//
// A text is decoded from UTF-8 character by character; each character is looked up in
// Windows-1252 (Latin-1 for 0xA0 to 0xFF and ASCII, a table for the 27 characters at
// 0x80 to 0x9F), and the first that has no byte there ends the run with a message naming
// it. The field is then written as its length byte and its bytes, zero-filled to its
// size. The whole stub is searched for the archive marker afterwards: the block must
// never make the stub's own bytes look like the start of an archive.
#include "tools/sfx_pack/stub_texts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "launcher/locate.h"
#include "tools/sfx_pack/package_checks.h"
#include "tools/sfx_pack/pack_error.h"

namespace sfxpack {

namespace {

// Windows-1252 bytes 0x80 to 0x9F; 0 where the code page has no character.
const uint16_t kHighControls[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

const char* const kContactOptions[kContactCount] = {"--contact-email", "--contact-web", "--contact-web2",
                                                    "--contact-email2", "--contact-web3"};

// Decodes one UTF-8 character at `i`, moving `i` past it; false for invalid UTF-8.
bool NextCodePoint(const std::string& text, size_t& i, uint32_t& code) {
  uint8_t b = static_cast<uint8_t>(text[i]);
  size_t more = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : 9;
  if (more == 9 || more > text.size() - i - 1) return false;
  code = more == 0 ? b : b & (0x3F >> more);
  for (size_t k = 1; k <= more; ++k) {
    uint8_t c = static_cast<uint8_t>(text[i + k]);
    if ((c >> 6) != 2) return false;
    code = (code << 6) | (c & 0x3F);
  }
  static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (code < kLeast[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
  i += more + 1;
  return true;
}

std::string Describe(uint32_t code, const std::string& utf8) {
  char text[32];
  std::snprintf(text, sizeof text, "U+%04X", code);
  return std::string(text) + (code >= 0x20 && code != 0x7F ? " '" + utf8 + "'" : "");
}

// The text in Windows-1252. `latin1Only`: the title and the wait text, which the wait
// window shows by widening each byte, allow no character from 0x80 to 0x9F.
std::string ToWindows1252(const std::string& text, const std::string& option, bool lineBreaks, bool latin1Only) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    size_t start = i;
    uint32_t code = 0;
    if (!NextCodePoint(text, i, code))
      throw PackError(option, "the text is not valid UTF-8 (at byte " + std::to_string(start + 1) + ")");
    std::string shown = text.substr(start, i - start);
    if (code == '\r' && lineBreaks && i < text.size() && text[i] == '\n') continue;  // CR LF: one break
    if ((code == '\n' || code == '\r') && lineBreaks) {
      out += '\r';
      continue;
    }
    if (code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0))
      throw PackError(option, "the text holds the control character " + Describe(code, shown) +
                                  (code == '\n' || code == '\r' ? "; only --wait-text takes line breaks" : ""));
    if (code < 0x100) {
      out += static_cast<char>(code);
      continue;
    }
    const uint16_t* found = std::find(kHighControls, kHighControls + 32, code);
    if (found == kHighControls + 32 || code > 0xFFFF)
      throw PackError(option, "the character " + Describe(code, shown) +
                                  " cannot be stored: the package's texts are in Windows-1252");
    if (latin1Only)
      throw PackError(option, "the character " + Describe(code, shown) +
                                  " cannot be shown in the wait window, which takes only characters up to U+00FF");
    out += static_cast<char>(0x80 + (found - kHighControls));
  }
  return out;
}

void WriteField(Bytes& stub, size_t at, size_t capacity, const std::string& text) {
  stub[at] = static_cast<uint8_t>(text.size());
  std::fill(stub.begin() + at + 1, stub.begin() + at + 1 + capacity, 0);
  std::copy(text.begin(), text.end(), stub.begin() + at + 1);
}

// The stored field at `at`; a length larger than the field is a problem and is cut.
std::string ReadField(const Bytes& image, size_t at, size_t capacity, const std::string& name, bool lineBreaks,
                      std::vector<std::string>& problems) {
  size_t length = image[at];
  if (length > capacity) {
    problems.push_back("the " + name + "'s length byte says " + std::to_string(length) + ", more than its " +
                       std::to_string(capacity) + " bytes");
    length = capacity;
  }
  std::string text(image.begin() + at + 1, image.begin() + at + 1 + length);
  for (char c : text) {
    uint8_t b = static_cast<uint8_t>(c);
    if ((b < 0x20 && !(lineBreaks && b == '\r')) || b == 0x7F) {
      problems.push_back("the " + name + " holds the control byte " + std::to_string(b));
      break;
    }
  }
  return text;
}

}  // namespace

bool TextOptions::Any() const {
  return title || waitText || std::any_of(contacts, contacts + kContactCount, [](const auto& c) { return c.has_value(); });
}

const char* ContactOption(int i) { return kContactOptions[i]; }

int64_t FindTextBlock(const Bytes& image) {
  const uint8_t* tag = reinterpret_cast<const uint8_t*>(kBrandingTag);
  auto first = std::search(image.begin(), image.end(), tag, tag + sizeof kBrandingTag);
  if (first == image.end()) return -1;
  if (image.end() - first < static_cast<std::ptrdiff_t>(sizeof(BrandingBlock))) return -1;
  if (std::search(first + 1, image.end(), tag, tag + sizeof kBrandingTag) != image.end()) return -2;
  return first - image.begin();
}

StubTexts ReadTextBlock(const Bytes& image, size_t at, std::vector<std::string>& problems) {
  StubTexts texts;
  texts.caption = ReadField(image, at + offsetof(BrandingBlock, captionLength), kCaptionCapacity, "caption", false,
                            problems);
  texts.waitText = ReadField(image, at + offsetof(BrandingBlock, waitTextLength), kWaitTextCapacity, "wait text",
                             true, problems);
  for (int i = 0; i < kContactCount; ++i)
    texts.contacts[i] = ReadField(image, at + offsetof(BrandingBlock, contacts) + i * sizeof(BrandingBlock::Contact),
                                  kContactCapacity, std::string(kContactOptions[i] + 2) + " line", false, problems);
  return texts;
}

void WriteTextBlock(Bytes& stub, const TextOptions& options, const std::string& stubPath) {
  int64_t found = FindTextBlock(stub);
  if (found < 0)
    throw PackError(stubPath, found == -1 ? "the stub has no text block, so --title, --wait-text and --contact-* "
                                            "cannot be used with it"
                                          : "the stub holds its text block's tag more than once");
  size_t at = static_cast<size_t>(found);
  struct Field {
    const std::optional<std::string>* text;
    const char* option;
    size_t offset, least, capacity;
    bool inWaitWindow;  // shown in the wait window too: Latin-1 only
    bool lineBreaks;
  };
  std::vector<Field> fields = {
      {&options.title, "--title", offsetof(BrandingBlock, captionLength), 1, kCaptionCapacity, true, false},
      {&options.waitText, "--wait-text", offsetof(BrandingBlock, waitTextLength), 1, kWaitTextCapacity, true, true}};
  for (int i = 0; i < kContactCount; ++i)
    fields.push_back({&options.contacts[i], kContactOptions[i],
                      offsetof(BrandingBlock, contacts) + i * sizeof(BrandingBlock::Contact), 0, kContactCapacity,
                      false, false});
  for (const Field& f : fields) {
    if (!f.text->has_value()) continue;
    std::string stored = ToWindows1252(**f.text, f.option, f.lineBreaks, f.inWaitWindow);
    if (stored.size() < f.least || stored.size() > f.capacity)
      throw PackError(f.option, "the text has " + std::to_string(stored.size()) + " characters; it takes " +
                                    (f.least ? "1 to " : "at most ") + std::to_string(f.capacity) +
                                    (f.lineBreaks ? " (a line break counts as one)" : ""));
    WriteField(stub, at + f.offset, f.capacity, stored);
  }
  const uint8_t marker[kArchiveMarkerSize] = {0xA6, 0x95, 0x9C, 0x2B, 0x0F, 0xF0};
  if (std::search(stub.begin() + std::min<size_t>(stub.size(), kMarkerScanStart), stub.end(), marker,
                  marker + kArchiveMarkerSize) != stub.end())
    throw PackError(stubPath, "the texts put the archive marker into the stub; change one of them");
}

std::string ShowText(const std::string& windows1252, bool markBreaks) {
  std::string out;
  for (char c : windows1252) {
    uint8_t b = static_cast<uint8_t>(c);
    uint32_t code = b < 0x80 || b >= 0xA0 ? b : kHighControls[b - 0x80];
    if (b == '\r' && markBreaks) out += "\\r";
    else if (code < 0x80) out += static_cast<char>(code);
    else if (code < 0x800) out += {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
    else
      out += {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
              static_cast<char>(0x80 | (code & 0x3F))};
  }
  return out;
}

std::vector<std::string> DescribeTexts(const StubTexts& texts) {
  std::string contacts;
  for (const std::string& line : texts.contacts) contacts += (contacts.empty() ? "" : ", ") + ShowText(line);
  return {"caption: " + ShowText(texts.caption), "wait text: " + ShowText(texts.waitText),
          "contact lines: " + contacts};
}

std::optional<StubTexts> ReadStubTexts(const std::string& package, int64_t stubSize,
                                       std::vector<std::string>& problems) {
  Bytes stub = ReadFileHead(package, static_cast<size_t>(std::max<int64_t>(stubSize, 0)));
  int64_t at = FindTextBlock(stub);
  if (at == -2) problems.push_back("the stub holds its text block's tag more than once");
  if (at < 0) return std::nullopt;
  return ReadTextBlock(stub, static_cast<size_t>(at), problems);
}

}  // namespace sfxpack

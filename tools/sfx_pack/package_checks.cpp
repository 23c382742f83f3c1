// What create warns about and verify reports, decided from the entries' names, flags and
// methods, and from the first bytes of the stub and the setup program.
//
// The stub's own decisions come from the stub's own code where it has one: a name is
// refused exactly when IsContainedName says so (device names included). What Windows
// does with a name the stub accepts (characters it does not allow, trailing dots and
// spaces, paths over 259 characters, case-blind names) is written out here, since the
// stand-in cannot show it.
#include "tools/sfx_pack/package_checks.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>

#include "archive/paths.h"
#include "archive/record.h"
#include "platform/byte_string.h"
#include "tools/sfx_pack/entry_names.h"

namespace sfxpack {

namespace {

constexpr uint16_t kMachineAmd64 = 0x8664;

// DOS and PE header fields read by IdentifyProgram.
namespace PeField {
constexpr size_t kDosSize = 0x40;
constexpr size_t kNewHeaderOffset = 0x3C;    // 4: file offset of "PE\0\0"
constexpr size_t kMachine = 4;               // 2, after the PE signature
constexpr size_t kOptionalHeader = 24;       // optional header after signature + file header
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr size_t kDirectoryCountPe32 = 92;   // 4: NumberOfRvaAndSizes
constexpr size_t kDirectoryCountPe32Plus = 108;
constexpr size_t kSecurityDirectory = 4;     // index of the certificate table
}  // namespace PeField

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Windows compares names without regard to case and takes "\" for "/".
std::string WindowsKey(const std::string& name) {
  std::string key = FoldCase(name);
  for (char& c : key) c = c == '\\' ? '/' : c;
  return key;
}

std::vector<std::string> Components(const std::string& name) {
  std::vector<std::string> parts(1);
  for (char c : name) {
    if (IsSeparator(c)) parts.emplace_back();
    else parts.back() += c;
  }
  return parts;
}

bool OnlyDotsAndSpaces(const std::string& component) {
  return !component.empty() && component.find_first_not_of(". ") == std::string::npos;
}

// Why IsContainedName refuses the name, in words.
std::string RefusalReason(const std::string& name) {
  if (IsSeparator(name[0])) return "it starts with " + Quoted(name.substr(0, 1)) + " (an absolute path)";
  if (name.find(':') != std::string::npos) return "it contains \":\" (a drive or a stream)";
  for (const std::string& part : Components(name)) {
    if (OnlyDotsAndSpaces(part) && part != ".")
      return "its component " + Quoted(part) + " leads to the parent folder on Windows";
    if (IsDeviceName(part.data(), static_cast<uint32_t>(part.size())))
      return "its component " + Quoted(part) + " is a device name on Windows (the data would go to the device)";
  }
  return "it could leave the stub's folder";
}

bool StubRefuses(const std::string& name) {
  plat::ScopedByteString text;
  if (!text.Assign(name.data(), static_cast<uint32_t>(name.size()))) return true;
  return !IsContainedName(text);
}

// A character Windows does not allow in a file name, or 0.
char ForbiddenCharacter(const std::string& name) {
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 1 && u < 0x20) || std::string("<>\"|?*").find(c) != std::string::npos) return c;
  }
  return 0;
}

std::string ShowCharacter(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u >= 0x20) return Quoted(std::string(1, c));
  char text[16];
  std::snprintf(text, sizeof text, "byte 0x%02X", u);
  return text;
}

Finding Make(Severity severity, const EntryFacts& e, const std::string& text, const std::string& code = "") {
  return {severity, e.where, text, code, e.record};
}

// A finding about the package as a whole.
Finding MakeGeneral(Severity severity, const std::string& text) { return {severity, "", text, "", 0}; }

// What Windows does with the components of a name the stub accepts.
void CheckComponents(const EntryFacts& e, std::vector<Finding>& out) {
  for (const std::string& part : Components(e.name)) {
    if (!part.empty() && part != "." && (part.back() == '.' || part.back() == ' ')) {
      out.push_back(Make(Severity::kWarning, e,
                         "the component " + Quoted(part) +
                             " ends in a dot or a space, which Windows drops from names"));
    }
  }
}

void CheckName(const EntryFacts& e, std::vector<Finding>& out) {
  const std::string stops = ": the stub shows it and unpacks nothing from this entry on";
  if (e.name.empty()) {
    out.push_back(Make(Severity::kFault, e, "the name is empty" + stops, "#SFXENC#"));
    return;
  }
  if (StubRefuses(e.name)) {
    out.push_back(Make(Severity::kFault, e,
                       "the stub refuses this name because " + RefusalReason(e.name) + stops, "#SFXENC#"));
    return;
  }
  if (IsSeparator(e.name.back())) {
    out.push_back(Make(Severity::kFault, e,
                       "the name ends with a separator: the stub makes the folder and cannot open it as a file",
                       "#SFXEAA#"));
  } else if (char c = ForbiddenCharacter(e.name)) {
    out.push_back(Make(Severity::kFault, e,
                       "the name contains " + ShowCharacter(c) +
                           ", which Windows does not allow in file names: the file cannot be created",
                       "#SFXEAA#"));
  }
  CheckComponents(e, out);
  size_t length = kTypicalDestinationLength + e.name.size();
  if (length > kMaxWindowsPath) {
    out.push_back(Make(Severity::kWarning, e,
                       "the name is " + std::to_string(e.name.size()) +
                           " characters long: under a typical temporary folder the path has " +
                           std::to_string(length) + ", more than the 259 Windows allows"));
  }
}

// A name without flag bit 11 is read in the ANSI code page of each user's machine.
void CheckCodePages(const EntryFacts& e, const std::string& bytes, std::vector<Finding>& out) {
  std::vector<CodePageReading> readings = ReadOnCommonCodePages(bytes);
  if (readings.size() < 2) return;
  std::string text = "the name has no UTF-8 flag (bit 11), so Windows reads its bytes in the ANSI code page of "
                     "the user's machine, and they read differently: ";
  for (size_t i = 0; i < readings.size(); ++i) {
    text += i ? "; " : "";
    text += readings[i].text.empty() ? "not as a name" : Quoted(readings[i].text);
    for (size_t k = 0; k < readings[i].codePages.size(); ++k)
      text += (k ? ", " : " on ") + readings[i].codePages[k];
  }
  out.push_back(Make(Severity::kWarning, e, text + "; sfx-pack create writes such names in UTF-8 with the flag"));
}

void CheckMethodAndEncryption(const EntryFacts& e, std::vector<Finding>& out) {
  if (e.encrypted) {
    out.push_back(Make(Severity::kFault, e,
                       "the entry is encrypted: the stub has no password and stops here, so this entry "
                       "and every later one are not unpacked (#SFXNRA# when no setup program came before)"));
  } else if (e.method != 0 && e.method != 8) {
    out.push_back(Make(Severity::kFault, e,
                       "compression method " + std::to_string(e.method) +
                           ": the stub knows only stored (0) and deflate (8), leaves an empty file and stops here",
                       "#SFXMCD#"));
  }
}

// Names that are one file to Windows, and names that are a file and a folder at once.
void CheckNameSet(const std::vector<EntryFacts>& entries, std::vector<Finding>& out) {
  std::map<std::string, const EntryFacts*> files, folders;
  for (const EntryFacts& e : entries) {
    std::string key = WindowsKey(e.name);
    for (size_t i = 0; i < key.size(); ++i)
      if (key[i] == '/' && i > 0) folders.emplace(key.substr(0, i), &e);
  }
  for (const EntryFacts& e : entries) {
    if (e.name.empty()) continue;
    std::string key = WindowsKey(e.name);
    auto [earlier, fresh] = files.emplace(key, &e);
    if (!fresh) {
      std::string same = earlier->second->name == e.name
                             ? "the name appears twice"
                             : "the name is the same file to Windows as " + Quoted(earlier->second->name);
      out.push_back(Make(Severity::kWarning, e, same + ": the later record replaces the earlier file"));
    }
    auto folder = folders.find(key);
    if (folder != folders.end()) {
      out.push_back(Make(Severity::kFault, e,
                         "the name is a file and also a folder of " + Quoted(folder->second->name) +
                             ": Windows cannot have both, so one of them cannot be created",
                         "#SFXEAA#"));
    }
  }
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string LastComponent(const std::string& name) { return Components(name).back(); }

// A program by its name: ".EXE" anywhere (what the stub looks for), or a last component
// ending in ".exe" in any case (what the maker may have meant).
bool LooksLikeProgram(const std::string& name) {
  return name.find(kInstallerMarker) != std::string::npos || EndsWith(WindowsKey(LastComponent(name)), ".EXE");
}

bool LooksLikeSetup(const std::string& name) {
  std::string base = WindowsKey(LastComponent(name));
  return base.compare(0, 5, "SETUP") == 0 || base.compare(0, 7, "INSTALL") == 0;
}

void CheckSetupChoice(const std::vector<EntryFacts>& entries, bool setupChosen, std::vector<Finding>& out) {
  int chosen = ChooseSetup(entries);
  std::vector<std::string> others;
  bool lowercase = false;
  for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
    const std::string& name = entries[i].name;
    if (i == chosen || !LooksLikeProgram(name)) continue;
    others.push_back(Quoted(name));
    lowercase = lowercase || name.find(kInstallerMarker) == std::string::npos;
  }
  std::string list;
  for (const std::string& other : others) list += (list.empty() ? "" : ", ") + other;
  const std::string capitals = "only \".EXE\" in capitals counts";
  if (chosen < 0) {
    std::string text = "no name contains \".EXE\": the stub unpacks the files, starts nothing and tells the "
                       "user where the files are";
    if (!others.empty()) text += "; " + list + " does not count, " + capitals + ": rename it in capitals";
    out.push_back(MakeGeneral(Severity::kWarning, text));
    return;
  }
  const EntryFacts& setup = entries[chosen];
  if (!EndsWith(setup.name, kInstallerMarker)) {
    out.push_back(Make(Severity::kWarning, setup,
                       "the stub starts this path, but \".EXE\" is only in a folder name or the middle of the "
                       "name: it is probably not a program"));
  }
  if (!setupChosen && !others.empty() && !LooksLikeSetup(setup.name)) {
    std::string text = "the stub starts this one, the first name containing \".EXE\", and not " + list;
    if (lowercase) text += " (" + capitals + ")";
    text += "; sfx-pack create --setup NAME puts the one you mean first";
    out.push_back(Make(Severity::kWarning, setup, text));
  }
}

}  // namespace

std::string FormatFinding(const Finding& finding) {
  std::string line = finding.severity == Severity::kFault ? "error: " : "warning: ";
  if (!finding.where.empty()) line += finding.where + ": ";
  line += finding.text;
  if (!finding.code.empty()) line += " (Error " + finding.code + ")";
  return line;
}

void SortFindings(std::vector<Finding>& findings) {
  auto place = [](const Finding& f) { return f.record == 0 ? INT32_MAX : f.record; };
  std::stable_sort(findings.begin(), findings.end(),
                   [&](const Finding& a, const Finding& b) { return place(a) < place(b); });
}

int ChooseSetup(const std::vector<EntryFacts>& entries) {
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i].name.find(kInstallerMarker) != std::string::npos) return static_cast<int>(i);
  return -1;
}

void CheckEntries(const std::vector<EntryFacts>& entries, bool setupChosen, std::vector<Finding>& out) {
  std::vector<EntryFacts> decoded;
  for (const EntryFacts& e : entries) {
    bool valid = true;
    decoded.push_back(e);
    decoded.back().name = WindowsName(e.name, e.flags, &valid);
    if (!valid) {
      out.push_back(Make(Severity::kFault, e,
                         "the name is marked as UTF-8 (flag bit 11) but is not valid UTF-8: the stub shows it "
                         "and unpacks nothing from this entry on",
                         "#SFXENC#"));
    } else {
      if ((e.flags & kFlagUtf8Name) == 0) CheckCodePages(e, e.name, out);
      CheckName(decoded.back(), out);
    }
    CheckMethodAndEncryption(e, out);
  }
  CheckNameSet(decoded, out);
  CheckSetupChoice(decoded, setupChosen, out);
}

ProgramKind IdentifyProgram(const std::vector<uint8_t>& head) {
  ProgramKind kind;
  size_t n = head.size();
  kind.elf = n >= 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
  kind.script = n >= 2 && head[0] == '#' && head[1] == '!';
  if (n < PeField::kDosSize || head[0] != 'M' || head[1] != 'Z') return kind;
  size_t pe = ReadLe32(head.data() + PeField::kNewHeaderOffset);
  if (pe > n || n - pe < PeField::kOptionalHeader + 2) return kind;
  const uint8_t* p = head.data() + pe;
  if (p[0] != 'P' || p[1] != 'E' || p[2] != 0 || p[3] != 0) return kind;
  kind.pe = true;
  kind.machine = ReadLe16(p + PeField::kMachine);
  const uint8_t* optional = p + PeField::kOptionalHeader;
  uint16_t magic = ReadLe16(optional);
  size_t countAt = magic == PeField::kMagicPe32 ? PeField::kDirectoryCountPe32
                   : magic == PeField::kMagicPe32Plus ? PeField::kDirectoryCountPe32Plus : 0;
  size_t directoryAt = countAt + 4 + 8 * PeField::kSecurityDirectory;
  if (countAt == 0 || n - pe - PeField::kOptionalHeader < directoryAt + 8) return kind;
  if (ReadLe32(optional + countAt) <= PeField::kSecurityDirectory) return kind;
  kind.securityOffset = ReadLe32(optional + directoryAt);
  kind.securitySize = ReadLe32(optional + directoryAt + 4);
  return kind;
}

std::vector<uint8_t> ReadFileHead(const std::string& path, size_t size) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> head(size);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(size));
  head.resize(in ? size : static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return head;
}

std::string DescribeProgram(const ProgramKind& kind) {
  if (kind.elf) return "ELF";
  if (kind.script) return "script";
  if (!kind.pe) return "not a program";
  if (kind.machine == kMachineI386) return "PE i386";
  if (kind.machine == kMachineAmd64) return "PE x86-64";
  char text[32];
  std::snprintf(text, sizeof text, "PE machine 0x%04X", kind.machine);
  return text;
}

void CheckSetupProgram(const std::string& where, int record, const ProgramKind& stub, const ProgramKind& setup,
                       std::vector<Finding>& out) {
  if (!stub.pe) return;  // the Linux stand-in starts whatever the file is
  if (!setup.pe) {
    out.push_back(Finding{Severity::kFault, where,
                       "the setup program is not a Windows program (no PE header): Windows cannot start it "
                       "and the user sees no message", "", record});
  } else if (setup.machine != kMachineI386) {
    out.push_back(Finding{Severity::kWarning, where,
                          "the setup program is " + DescribeProgram(setup) +
                              ": it does not start on 32-bit Windows, which the stub itself runs on",
                          "", record});
  }
}

}  // namespace sfxpack

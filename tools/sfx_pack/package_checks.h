// What create warns about and verify reports: names the stub or Windows cannot use, the
// choice of setup program, and Windows programs recognised by their headers.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "archive/extract.h"

namespace sfxpack {

// A fault means the stub would not unpack the package whole or would start nothing
// usable (verify fails); a warning is something the maker probably did not mean.
enum class Severity { kWarning, kFault };

struct Finding {
  Severity severity = Severity::kWarning;
  std::string where;  // "record 2 at offset 480, \"data/a.txt\"", an entry name, or ""
  std::string text;   // what is wrong and what the stub or Windows does with it
  std::string code;   // the stub's error code ("#SFXCRC#") when it shows a message
  int record = 0;     // the record it is about (1 for the first), 0 for the whole package
};

// Findings in the order of the records they are about, those about the whole package last.
void SortFindings(std::vector<Finding>& findings);

// "warning: WHERE: TEXT (Error #CODE#)" / "error: ...": one line per finding.
std::string FormatFinding(const Finding& finding);

// One entry as the checks see it, in the order of the records.
struct EntryFacts {
  std::string name;  // the record's name bytes up to a zero byte, which the stub decodes
  std::string where; // how messages name the entry
  int record = 0;    // its place in the package, 1 for the first
  bool encrypted = false;
  uint16_t method = 0;
  uint16_t flags = 0;  // the record's flags: bit 11 says the name is UTF-8
};

// A temporary folder of a typical Windows user (C:\Users\ plus a 20-letter user name,
// \AppData\Local\Temp\) with the stub's _I_\ appended: 53 characters.
inline constexpr size_t kTypicalDestinationLength = 53;
// Windows paths hold 259 characters and the terminating zero (MAX_PATH, 260).
inline constexpr size_t kMaxWindowsPath = 259;

// Index of the entry the stub would start (the first name containing ".EXE"), or -1.
// ".EXE" reads the same in every encoding of names, so the bytes tell.
int ChooseSetup(const std::vector<EntryFacts>& entries);

// Every check on the names and the set of entries, appended to `out`, on the names as
// the stub decodes them:
// - per name: not UTF-8 under flag bit 11 (#SFXENC#, the stub stops); without bit 11,
//   bytes outside ASCII that read differently on common ANSI code pages (the code pages
//   are named); empty or refused by the stub's IsContainedName (#SFXENC#, the stub stops),
//   a trailing separator or a character Windows does not allow in names (#SFXEAA#),
//   a device name (CON, NUL, COM1...), a component ending in a dot or a space, a name
//   too long under a typical temporary folder;
// - per entry: encrypted (the stub stops there), a method other than
//   stored and deflate (#SFXMCD#);
// - over the set: names that are the same to Windows (case of any letter, "\" for "/"), a name that
//   is both a file and a folder of another name (#SFXEAA#);
// - the setup program: none, ".EXE" only in a folder name or the middle of a name,
//   other programs beside the chosen one (`setupChosen`: the maker picked it with
//   --setup, so that is not reported).
void CheckEntries(const std::vector<EntryFacts>& entries, bool setupChosen, std::vector<Finding>& out);

inline constexpr uint16_t kMachineI386 = 0x014C;

// What the first bytes of a file say it is.
struct ProgramKind {
  bool pe = false;          // "MZ", and "PE\0\0" where the DOS header points
  bool elf = false;         // 7F 'E' 'L' 'F'
  bool script = false;      // "#!"
  uint16_t machine = 0;     // PE machine: 0x14C i386, 0x8664 x86-64, ...
  int64_t securityOffset = 0;  // PE: the certificate table (data directory 4), file offset
  int64_t securitySize = 0;
};
ProgramKind IdentifyProgram(const std::vector<uint8_t>& head);

// A stub the package's user can start: a PE image for i386 (Windows) or ELF (Linux).
inline bool IsStubProgram(const ProgramKind& kind) { return kind.elf || (kind.pe && kind.machine == kMachineI386); }

// The first `size` bytes of a file (fewer when it is shorter; none when it cannot be read).
inline constexpr size_t kProgramHeadSize = 65536;
std::vector<uint8_t> ReadFileHead(const std::string& path, size_t size = kProgramHeadSize);

// "PE i386", "PE x86-64", "ELF", "script", "not a program".
std::string DescribeProgram(const ProgramKind& kind);

// Checks the setup program's first bytes: a Windows stub needs a PE image for i386 (or
// one that 32-bit Windows runs); a Linux stub runs anything. Appended to `out`.
void CheckSetupProgram(const std::string& where, int record, const ProgramKind& stub, const ProgramKind& setup,
                       std::vector<Finding>& out);

}  // namespace sfxpack

// The program's entry flow.
//
// One straight sequence: the program's own path, the marker scan, the package file kept
// open for every archive read, the CRC table, the dialog template, the destination
// directory, the modal wait dialog (inside which everything is unpacked and the setup
// program is started), and a last message: nothing usable was unpacked, or everything
// was unpacked whole and there is no setup program. The caption and the three messages
// about an unusable package, which end in the package maker's contact lines, come from
// the package's text block.
#include "launcher/startup.h"

#include "archive/extract.h"
#include "archive/record.h"
#include "integrity/crc32.h"
#include "launcher/branding.h"
#include "launcher/dialog.h"
#include "launcher/locate.h"
#include "platform/byte_string.h"
#include "platform/platform.h"

char SelfPath[kSelfPathSize] = {};

namespace {

const char kNoTempDirText[] =
    "No puedo usar la carpeta temporal para descomprimir los archivos de instalaci\xF3n.\r\r"
    "No puc fer servir la carpeta temporal per descomprimir els arxius d'instal\xB7laci\xF3.\r\r"
    "Cannot use the temporary folder to uncompress installation archives.\r\rError #SFXETD#";
const char kCompletedText[] = "Instalaci\xF3n completada en\r\r";
const char kDestinationName[] = "_I_\\";
const char kAllNames[] = "*.*";
static_assert(sizeof kAllNames <= sizeof kDestinationName, "the search pattern must fit where the name goes");

// The name is cut after its 255th character, never inside one.
void TakeSelfPath() {
  char name[kModuleNameBufferSize];
  uint32_t length = plat::QuerySelfPath(name, sizeof name);
  uint32_t n = plat::Utf8PrefixLength(name, length, kSelfPathCharacters);
  for (uint32_t i = 0; i < n; ++i) SelfPath[i] = name[i];
  SelfPath[n] = 0;
}

// Nothing usable unpacked, or a setup program this run did not write whole (its create
// or write failed, its data was damaged): the package failed. Every file unpacked
// whole and no setup program: the completion. A setup program was started, or the
// extraction ended early and said why: nothing more to say.
void ReportOutcome(intptr_t dialogResult) {
  if (dialogResult == -1 || !ExtractedAny || (!InstallerPath.Empty() && !InstallerWritten)) {
    plat::ShowMessageBox(NothingUnpackedText(), PackageCaption());
  } else if (InstallerPath.Empty() && ExtractedWhole) {
    plat::ShowMessageBox(kCompletedText, TempDir, PackageCaption());
  }
}

}  // namespace

bool ComposeTempDir() {
  uint32_t n = plat::QueryTempPath(TempDir, kTempDirSize);
  if (n >= kTempDirSize) n = 0;
  TempDir[n] = 0;
  n = plat::TextLength(TempDir);
  if (n == 0) return false;
  uint32_t needed = plat::Utf16Units(TempDir, n) + (TempDir[n - 1] == '\\' ? 0 : 1) + sizeof kDestinationName - 1;
  if (needed > kTempDirCharacters) return false;
  if (TempDir[n - 1] != '\\') TempDir[n++] = '\\';
  // The folder must exist: one made here, for a path that names no folder, could sit at
  // a drive's root. "*.*" fits where "_I_\" goes, and finds "." in any existing folder.
  for (uint32_t i = 0; i < sizeof kAllNames; ++i) TempDir[n + i] = kAllNames[i];
  if (!plat::FindAnyMatch(TempDir)) return false;
  for (const char* p = kDestinationName; *p; ++p) TempDir[n++] = *p;
  TempDir[n] = 0;
  return true;
}

int RunPackage() {
  TakeSelfPath();
  ArchiveOffset = FindArchiveStart(SelfPath);
  if (ArchiveOffset == -1) {
    plat::ShowMessageBox(DamagedPackageText(), PackageCaption());
    return 0;
  }
  ArchiveHandle = plat::OpenForReading(SelfPath);
  if (ArchiveHandle == plat::kInvalidFile) {
    plat::ShowMessageBox(CannotOpenText(), PackageCaption());
    return 0;
  }
  if (!AllocateCrcTable()) {
    plat::ShowMessageBox(NothingUnpackedText(), PackageCaption());
    return 0;
  }
  BuildWaitDialogTemplate();
  if (!ComposeTempDir()) {
    plat::ShowMessageBox(kNoTempDirText, PackageCaption());
    return 0;
  }
  intptr_t result = plat::RunModalDialog(WaitDialogTemplate, WaitDialogProc);
  ReportOutcome(result);
  return 0;
}

// The program's entry flow.
//
// One straight sequence: the program's own path, the marker scan, the package file kept
// open for every archive read, the CRC table, the dialog template, the destination
// directory, the modal wait dialog (inside which everything is unpacked and the setup
// program is started), and a last message when nothing was unpacked or no setup
// program was found. The caption and the three messages about an unusable package,
// which end in the package maker's contact lines, come from the package's text block.
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

const char kCompletedText[] = "Instalaci\xF3n completada en\r\r";
const char kDestinationName[] = "_I_\\";

void TakeSelfPath() {
  char name[kModuleNameBufferSize];
  plat::QuerySelfPath(name, sizeof name);
  uint32_t n = 0;
  while (n < kSelfPathSize - 2 && name[n]) {
    SelfPath[n] = name[n];
    ++n;
  }
  SelfPath[n] = 0;
}

void ReportOutcome(intptr_t dialogResult) {
  if (dialogResult == -1 || !ExtractedAny) {
    plat::ShowMessageBox(NothingUnpackedText(), PackageCaption());
  } else if (InstallerPath.Empty()) {
    plat::ScopedByteString text;
    if (text.AppendText(kCompletedText) && text.AppendText(TempDir)) plat::ShowMessageBox(text.Text(), PackageCaption());
  }
}

}  // namespace

void ComposeTempDir() {
  uint32_t n = plat::QueryTempPath(TempDir, kTempDirSize);
  if (n >= kTempDirSize) n = 0;
  TempDir[n] = 0;
  n = plat::TextLength(TempDir);
  uint32_t needed = n + (n > 0 && TempDir[n - 1] == '\\' ? 0 : 1) + sizeof kDestinationName - 1;
  if (needed > kTempDirSize - 1) n = 0;  // no room: as if there were no temporary path
  if (n == 0 || TempDir[n - 1] != '\\') TempDir[n++] = '\\';
  for (const char* p = kDestinationName; *p; ++p) TempDir[n++] = *p;
  TempDir[n] = 0;
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
  ComposeTempDir();
  intptr_t result = plat::RunModalDialog(WaitDialogTemplate, WaitDialogProc);
  ReportOutcome(result);
  return 0;
}

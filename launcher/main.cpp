// Program entry of the stub (minimal until the start-up sequence lands).
#include "archive/record.h"
#include "integrity/crc32.h"
#include "launcher/locate.h"
#include "platform/platform.h"

int main() {
  char self[261];
  plat::QuerySelfPath(self, sizeof self);
  if (FindArchiveStart(self) < 0) plat::ShowMessageBox("no archive", "sfx");
  return 0;
}

// The program's global state reset to what a fresh process has, between runs in one
// process (the extraction tests and the whole-package fuzz target).
#pragma once

#include "archive/extract.h"
#include "archive/record.h"
#include "launcher/dialog.h"
#include "platform/platform.h"

namespace sfxtest {

// Closes the package's handle and releases the setup program's path, which the program
// keeps for its lifetime.
inline void ResetProgramState() {
  if (ArchiveHandle != plat::kInvalidFile) (void)plat::CloseFileHandle(ArchiveHandle);
  ArchiveHandle = plat::kInvalidFile;
  DialogWindow = 0;
  ExtractionPending = true;
  StartPosted = false;
  ExtractedAny = false;
  InstallerPath.Release();
  CurrentEntry = {};
}

}  // namespace sfxtest

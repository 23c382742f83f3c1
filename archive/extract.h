// The extraction loop: every record of the archive written under TempDir.
#pragma once

#include <stdint.h>

#include "platform/byte_string.h"
#include "platform/platform.h"

// TempDir holds at most 255 characters (UTF-16 units), in UTF-8.
inline constexpr uint32_t kTempDirCharacters = 255;
inline constexpr uint32_t kTempDirSize = kTempDirCharacters * plat::kUtf8BytesPerUnit + 1;

// The first output path holding this, in capitals, is the setup program.
extern const char kInstallerMarker[5];  // ".EXE"

// The destination directory, zero-terminated UTF-8, ending in "\".
extern char TempDir[kTempDirSize];
// True once the loop has created an output file (cleared again for a damaged package).
extern bool ExtractedAny;
// The first output path containing ".EXE": the setup program to start.
extern plat::ByteString InstallerPath;
// True when this run created InstallerPath's file and wrote it whole; only then may it
// be started (an older copy left by another run, or a cut-short one, must not be).
extern bool InstallerWritten;
// True when the loop reached the end of the archive with every record unpacked whole.
extern bool ExtractedWhole;
// The records whose files this run created, wrote whole and closed.
extern uint32_t RecordsUnpacked;

// Writes every entry of the archive at ArchiveOffset of ArchiveHandle under TempDir and
// reports every problem in a message box. The outcome is left in ExtractedAny,
// InstallerPath, InstallerWritten and ExtractedWhole.
void ExtractArchive();

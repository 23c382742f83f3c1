// Finding where the archive begins inside the program's own file.
#pragma once

#include <stdint.h>

// The archive starts with these six bytes (in file order A6 95 9C 2B 0F F0): the
// alternate record signature and the two bytes after it, as stored.
inline constexpr int kArchiveMarkerSize = 6;
inline constexpr int32_t kMarkerScanStart = 20;
inline constexpr uint32_t kMarkerScanBlock = 4096;

// The marker as the program keeps it: reversed, so that the program's own image never
// holds the six bytes in file order and the scan cannot stop on its own data.
extern const uint8_t ArchiveMarker[kArchiveMarkerSize];

// File offset of the first marker occurrence that begins at or after offset 20 of the
// named file; -1 when there is none, or when the file cannot be opened, measured or read.
[[nodiscard]] int32_t FindArchiveStart(const char* fileName);

// Copying a stored (method 0) entry's data from the archive to its output file.
#pragma once

#include <stdint.h>

// The values are those of the archive's EntryData, which passes them on as they are.
enum class [[nodiscard]] CopyResult : uint8_t {
  kDone = 0,         // the entry's bytes were read to their end or to the archive's end
  kNoMemory = 2,     // the chunk buffer could not be allocated; nothing was read or written
  kCutShort = 3,     // the archive ended (or a read failed) before the entry's last byte
  kWriteFailed = 5,  // a write failed or fell short; the copy stopped there
};

inline constexpr int32_t kStoredChunkSize = 32768;

// Copies CurrentEntry.RemainingCount bytes from the archive position to
// CurrentEntry.OutputHandle in chunks of at most 32,768 bytes, decrypting them when the
// entry is encrypted, and folds every byte written into RunningCrc. A write that fails or
// takes fewer bytes than it was given ends the copy.
CopyResult CopyStoredEntry();

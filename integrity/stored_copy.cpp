// Copying a stored entry: read a chunk through the read layer, decrypt it in place when
// the entry is encrypted, write it, and fold what the write accepted into the entry's
// CRC. A read that delivers nothing ends the copy: the archive ended early, and the entry
// is cut short, which is told even where no CRC-32 would find it (flag bit 3). A write
// that fails or is short ends it too, as its own result: the data may be fine, but the
// disk did not take it.
#include "integrity/stored_copy.h"

#include "archive/record.h"
#include "integrity/cipher.h"
#include "integrity/crc32.h"
#include "platform/byte_string.h"

CopyResult CopyStoredEntry() {
  int32_t remaining = CurrentEntry.RemainingCount;
  int32_t chunk = remaining < kStoredChunkSize ? remaining : kStoredChunkSize;
  // A negative count copies nothing; the buffer's size is then of no consequence.
  plat::ScopedBuffer buffer(static_cast<size_t>(chunk > 0 ? chunk : 0) + 2);
  if (!buffer) return CopyResult::kNoMemory;
  bool encrypted = (CurrentEntry.header.Flags() & kFlagEncrypted) != 0;
  while (CurrentEntry.RemainingCount > 0) {
    int32_t want = CurrentEntry.RemainingCount < kStoredChunkSize ? CurrentEntry.RemainingCount
                                                                  : kStoredChunkSize;
    uint32_t got = 0;
    ReadArchive(ArchiveHandle, buffer.get(), static_cast<uint32_t>(want), &got);
    if (got == 0) {
      CurrentEntry.RemainingCount = 0;
      return CopyResult::kCutShort;
    }
    CurrentEntry.RemainingCount -= static_cast<int32_t>(got);
    if (encrypted) DecryptBuffer(buffer.get(), got);
    uint32_t written = 0;
    bool ok = plat::WriteBytes(CurrentEntry.OutputHandle, buffer.get(), got, &written);
    if (!ok || written != got) return CopyResult::kWriteFailed;
    CrcUpdateBuffer(buffer.get(), static_cast<int32_t>(got), CurrentEntry.RunningCrc);
  }
  return CopyResult::kDone;
}

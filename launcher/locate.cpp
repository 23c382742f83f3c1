// The marker scan: one forward pass over the file in 4096-byte blocks, from offset 20.
//
// The match index carries over from block to block, so a marker that straddles two
// blocks is found. When a byte breaks a partial match it is compared again with the
// marker's first byte: the marker's first byte occurs nowhere else in it, so that one
// comparison is all that restarting a match can need, and "A6 A6 95 9C 2B 0F F0" is
// found at its second byte.
#include "launcher/locate.h"

#include "platform/platform.h"

const uint8_t ArchiveMarker[kArchiveMarkerSize] = {0xF0, 0x0F, 0x2B, 0x9C, 0x95, 0xA6};

// Marker byte i (1 to 6, in file order).
static inline uint8_t MarkerByte(int i) { return ArchiveMarker[kArchiveMarkerSize - i]; }

int32_t FindArchiveStart(const char* fileName) {
  plat::FileHandle file = plat::OpenForReading(fileName);
  if (file == plat::kInvalidFile) return -1;
  int32_t result = -1;
  uint32_t size = 0;
  uint8_t block[kMarkerScanBlock];
  if (plat::QueryFileSize(file, &size) &&
      plat::SeekFile(file, kMarkerScanStart, plat::kFromBeginning) == kMarkerScanStart) {
    uint32_t position = kMarkerScanStart;  // file offset of the byte under comparison
    int i = 1;
    // Offsets stay below 2 GiB: the archive's positions are signed 32-bit values.
    if (size > 0x7FFFFFFFu) size = 0x7FFFFFFFu;
    while (position < size && result < 0) {
      uint32_t n = 0;
      if (!plat::ReadBytes(file, block, kMarkerScanBlock, &n) || n == 0 || n > kMarkerScanBlock) break;
      for (uint32_t k = 0; k < n && position < size; ++k, ++position) {
        uint8_t b = block[k];
        if (b == MarkerByte(i)) {
          if (i == kArchiveMarkerSize) {
            result = static_cast<int32_t>(position - (kArchiveMarkerSize - 1));
            break;
          }
          ++i;
        } else {
          i = b == MarkerByte(1) ? 2 : 1;
        }
      }
    }
  }
  (void)plat::CloseFileHandle(file);
  return result;
}

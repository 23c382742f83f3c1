// Bit input and output window of the deflate decoder: refills, byte hand-out, flushes.
#include "inflate/bits.h"

#include "archive/record.h"
#include "integrity/cipher.h"
#include "integrity/crc32.h"
#include "platform/platform.h"

uint8_t* InputBuffer = nullptr;
uint16_t InputPos = 0;
int32_t InputFill = 0;
uint32_t BitBuffer = 0;
uint16_t BitCount = 0;
uint16_t PastEndBits = 0;
uint8_t* SlideWindow = nullptr;
uint16_t WindowPos = 0;
bool WindowWriteFailed = false;

const uint16_t MaskBits[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F,
                               0x003F, 0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF,
                               0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

// A refill asks for the smaller of RemainingCount and one chunk. RemainingCount is not
// lowered here but by NextByte for every byte handed out, so at each refill it is
// exactly what is left of the entry and no read ever goes past the entry's data.
// Decryption runs once per chunk, in place, so the per-byte path stays a load.
int32_t RefillInput() {
  int32_t remaining = CurrentEntry.RemainingCount;
  uint32_t want = remaining < static_cast<int32_t>(kInputChunkSize)
                      ? static_cast<uint32_t>(remaining > 0 ? remaining : 0)
                      : kInputChunkSize;
  uint32_t got = 0;
  ReadArchive(ArchiveHandle, InputBuffer, want, &got);
  InputFill = static_cast<int32_t>(got);
  if ((CurrentEntry.header.Flags() & kFlagEncrypted) != 0) DecryptBuffer(InputBuffer, got);
  InputPos = 0;
  if (InputFill == 0) {
    CurrentEntry.RemainingCount = 0;
    return -1;
  }
  return InputBuffer[InputPos++];
}

int32_t NextByte() {
  if (CurrentEntry.RemainingCount <= 0) return -1;
  int32_t c = FetchInputByte();
  CurrentEntry.RemainingCount -= 1;
  return c;
}

void FlushWindow(uint32_t count) {
  uint32_t written = 0;
  if (!plat::WriteBytes(CurrentEntry.OutputHandle, SlideWindow, count, &written) || written != count)
    WindowWriteFailed = true;
  CrcUpdateBuffer(SlideWindow, static_cast<int32_t>(count), CurrentEntry.RunningCrc);
}

// CRC-32 of the ZIP application note (reflected polynomial 0xEDB88320) on raw registers.
//
// The operations neither preset the register nor complement the result: callers preset
// 0xFFFFFFFF and complement at the end where they need the published value.
#pragma once

#include <stdint.h>

// 256 entries of the byte-at-a-time table, followed by the seven tables of the
// eight-bytes-at-a-time step. Allocated and built once at start-up, never freed.
extern uint32_t* CrcTable;

// Allocates CrcTable and fills it (BuildCrcTable); false when memory runs out.
[[nodiscard]] bool AllocateCrcTable();

// Fills the allocated CrcTable.
void BuildCrcTable();

// One byte step: CrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8).
[[nodiscard]] inline uint32_t CrcUpdateByte(uint8_t b, uint32_t crc) {
  return CrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

// Folds `length` bytes into the register; a length of zero or less changes nothing.
void CrcUpdateBuffer(const uint8_t* data, int32_t length, uint32_t& crc);

// The traditional PKWARE stream cipher of ZIP entries: keys, keystream, header check.
#pragma once

#include <stdint.h>

#include "platform/byte_string.h"

struct CipherKeyState {
  uint32_t Key0;
  uint32_t Key1;
  uint32_t Key2;
};

// The one set of keys of the process, shared by the header check and the entry's data.
extern CipherKeyState CipherKeys;

// Keys from a password: the three constants, then one update per password byte.
void InitCipherKeys(const plat::ByteString& password);

// Advances the keys over one plain byte.
void UpdateCipherKeys(uint8_t plain);

// The next keystream byte; the keys do not change.
[[nodiscard]] uint8_t DecryptByte();

// Decrypts `count` bytes in place, each before it is fed back into the keys.
void DecryptBuffer(uint8_t* data, uint32_t count);

// Decrypts the n-byte encryption header from buffer[n..2n) into buffer[0..n) and tells
// whether its last byte is the expected check byte: the high byte of dosTime when flags
// bit 3 is set, else the high byte of storedCrc. An empty password answers false and
// leaves the keys alone; otherwise the keys end advanced over the n header bytes.
[[nodiscard]] bool CheckEncryptionHeader(uint8_t* buffer, uint8_t n, uint16_t flags,
                                         uint32_t storedCrc, uint16_t dosTime,
                                         const plat::ByteString& password);

// The traditional PKWARE stream cipher (ZIP application note, "traditional encryption").
//
// Key0 and Key2 are CRC-32 registers; Key1 is a linear congruential generator fed by
// the low byte of Key0. The keystream byte comes from the low 16 bits of Key2, and every
// plain byte, never the stored one, advances the keys.
#include "integrity/cipher.h"

#include "integrity/crc32.h"

CipherKeyState CipherKeys = {0, 0, 0};

void InitCipherKeys(const plat::ByteString& password) {
  // Field by field: a braced value would be kept as a template in initialised data.
  CipherKeys.Key0 = 0x12345678u;
  CipherKeys.Key1 = 0x23456789u;
  CipherKeys.Key2 = 0x34567890u;
  for (uint32_t i = 0; i < password.length; ++i) UpdateCipherKeys(static_cast<uint8_t>(password.data[i]));
}

void UpdateCipherKeys(uint8_t plain) {
  CipherKeys.Key0 = CrcUpdateByte(plain, CipherKeys.Key0);
  CipherKeys.Key1 = (CipherKeys.Key1 + (CipherKeys.Key0 & 0xFF)) * 134775813u + 1;
  CipherKeys.Key2 = CrcUpdateByte(static_cast<uint8_t>(CipherKeys.Key1 >> 24), CipherKeys.Key2);
}

uint8_t DecryptByte() {
  uint32_t t = (CipherKeys.Key2 & 0xFFFF) | 2;
  return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

void DecryptBuffer(uint8_t* data, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t plain = data[i] ^ DecryptByte();
    UpdateCipherKeys(plain);
    data[i] = plain;
  }
}

bool CheckEncryptionHeader(uint8_t* buffer, uint8_t n, uint16_t flags, uint32_t storedCrc,
                           uint16_t dosTime, const plat::ByteString& password) {
  if (password.Empty()) return false;
  InitCipherKeys(password);
  for (uint8_t i = 0; i < n; ++i) {
    uint8_t plain = buffer[n + i] ^ DecryptByte();
    UpdateCipherKeys(plain);
    buffer[i] = plain;
  }
  uint8_t check = buffer[n - 1];
  uint8_t expected = (flags & 0x0008) ? static_cast<uint8_t>(dosTime >> 8)
                                      : static_cast<uint8_t>(storedCrc >> 24);
  return check == expected;
}

// The traditional cipher's header check. (The decryption of what zip and 7z encrypted
// is read back through the system by the ZIP writers' tests.)
#include <gtest/gtest.h>

#include "archive/record.h"
#include "integrity/cipher.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"

namespace {

using sfxtest::Bytes;

class CipherTest : public sfxtest::PlatformTest {};

// A header encrypted with `writer`, its last plain byte `check`, is checked with `reader`
// against a CRC-32 of 0xAB...... and a time of 0xCD..: the check byte is the time's high
// byte with flag bit 3, the CRC's otherwise. Right or wrong, the keys end advanced over
// the decrypted header; an empty password answers no and leaves them alone.
TEST_F(CipherTest, HeaderCheck) {
  struct Case { const char* what; std::string writer, reader; uint16_t flags; uint8_t check; bool accepted; };
  const std::string longPassword = std::string(299, 'x') + "y";
  const Case cases[] = {
      {"check byte from the CRC", "pw", "pw", 0x0001, 0xAB, true},
      {"the time's byte where the CRC's is due", "pw", "pw", 0x0001, 0xCD, false},
      {"check byte from the time", "pw", "pw", 0x0009, 0xCD, true},
      {"the CRC's byte where the time's is due", "pw", "pw", 0x0009, 0xAB, false},
      {"wrong password", "pw", "wrong", 0x0001, 0xAB, false},
      {"a long password", longPassword, longPassword, 0x0001, 0xAB, true},
      {"its last byte missing", longPassword, longPassword.substr(0, 299), 0x0001, 0xAB, false},
      {"empty password", "pw", "", 0x0001, 0xAB, false},
  };
  for (const Case& c : cases) {
    plat::ScopedByteString writer, reader;
    ASSERT_TRUE(writer.AppendText(c.writer.c_str()));
    ASSERT_TRUE(reader.AppendText(c.reader.c_str()));
    Bytes buffer(24);
    InitCipherKeys(writer);
    for (int i = 0; i < 12; ++i) {
      uint8_t plain = i == 11 ? c.check : static_cast<uint8_t>(i * 7);
      buffer[12 + i] = plain ^ DecryptByte();
      UpdateCipherKeys(plain);
    }
    CipherKeys = {1, 2, 3};
    EXPECT_EQ(CheckEncryptionHeader(buffer.data(), 12, c.flags, 0xAB000000u, 0xCD00, reader), c.accepted) << c.what;
    CipherKeyState after = CipherKeys;
    CipherKeys = {1, 2, 3};
    if (!c.reader.empty()) InitCipherKeys(reader);
    for (int i = 0; i < 12 && !c.reader.empty(); ++i) UpdateCipherKeys(buffer[i]);
    EXPECT_TRUE(after.Key0 == CipherKeys.Key0 && after.Key1 == CipherKeys.Key1 && after.Key2 == CipherKeys.Key2)
        << c.what;
    if (c.writer == c.reader) EXPECT_EQ(buffer[11], c.check) << c.what;  // decrypted into the first half
  }
}

}  // namespace

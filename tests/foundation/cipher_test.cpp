// The traditional cipher: the decryption of what Debian's zip encrypted, and the header
// check's rules.
#include <gtest/gtest.h>

#include <cstdlib>

#include "archive/record.h"
#include "integrity/cipher.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using sfxtest::Bytes;

class CipherTest : public sfxtest::PlatformTest {
 protected:
  sfxtest::TempDir dir_;
};

// Runs Debian's zip with traditional encryption and returns the first local record.
struct ZipEntry { uint16_t flags, modTime; uint32_t crc; Bytes data; };
ZipEntry EncryptWithZip(const std::string& dir, const std::string& content, bool streamed) {
  sfxtest::WriteFile(dir + "/plain.txt", sfxtest::ToBytes(content));
  std::string cmd = "cd '" + dir + "' && rm -f out.zip && " +
                    (streamed ? std::string("cat plain.txt | zip -q -0 -fz- -P 's3cret' - - > out.zip")
                              : std::string("zip -q -0 -P 's3cret' out.zip plain.txt"));
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  Bytes zip = sfxtest::ReadFile(dir + "/out.zip");
  EXPECT_GE(zip.size(), 30u);
  ZipEntry e;
  e.flags = ReadLe16(&zip[RecordField::kFlags]);
  e.modTime = ReadLe16(&zip[RecordField::kModTime]);
  e.crc = ReadLe32(&zip[RecordField::kCrc32]);
  uint32_t size = ReadLe32(&zip[RecordField::kCompressedSize]);
  size_t start = kRecordHeaderSize + ReadLe16(&zip[RecordField::kNameLength]) +
                 ReadLe16(&zip[RecordField::kExtraLength]);
  // With a data descriptor (flag bit 3) the local sizes and CRC may be left at 0.
  if (size == 0) size = static_cast<uint32_t>(content.size() + 12);
  if (e.crc == 0) e.crc = sfxtest::Crc32(content);
  EXPECT_LE(start + size, zip.size());
  if (start + size > zip.size()) return e;
  e.data.assign(zip.begin() + start, zip.begin() + start + size);
  return e;
}

TEST_F(CipherTest, DecryptsWhatZipEncrypted) {
  const std::string content = "The quick brown fox jumps over the lazy dog, twice over.\n";
  for (bool streamed : {false, true}) {
    ZipEntry e = EncryptWithZip(dir_.path(), content, streamed);
    ASSERT_EQ(e.flags & kFlagEncrypted, kFlagEncrypted) << "zip did not encrypt";
    Bytes buffer(24);
    std::copy(e.data.begin(), e.data.begin() + 12, buffer.begin() + 12);
    plat::ScopedByteString password;
    ASSERT_TRUE(password.AppendText("s3cret"));
    ASSERT_TRUE(CheckEncryptionHeader(buffer.data(), 12, e.flags, e.crc, e.modTime, password));
    Bytes body(e.data.begin() + 12, e.data.end());
    DecryptBuffer(body.data(), static_cast<uint32_t>(body.size()));
    EXPECT_EQ(std::string(body.begin(), body.end()), content) << (streamed ? "streamed" : "file");
  }
}

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

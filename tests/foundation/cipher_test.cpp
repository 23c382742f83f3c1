// The traditional cipher: checked against entries that Debian's zip encrypted, and the
// header check's rules.
#include <gtest/gtest.h>

#include <cstdlib>

#include "archive/record.h"
#include "integrity/cipher.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using sfxtest::Bytes;

plat::ByteString Password(const char* text) {
  plat::ByteString s;
  EXPECT_TRUE(s.AppendText(text));
  return s;
}

class CipherTest : public sfxtest::PlatformTest {
 protected:
  void TearDown() override {
    password_.Release();
    PlatformTest::TearDown();
  }
  plat::ByteString password_;
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
  e.flags = ReadLe16(&zip[6]);
  e.modTime = ReadLe16(&zip[10]);
  e.crc = ReadLe32(&zip[14]);
  uint32_t size = ReadLe32(&zip[18]);
  uint16_t nameLength = ReadLe16(&zip[26]), extraLength = ReadLe16(&zip[28]);
  size_t start = 30 + nameLength + extraLength;
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
    ASSERT_EQ(e.flags & 1, 1) << "zip did not encrypt";
    Bytes buffer(24);
    std::copy(e.data.begin(), e.data.begin() + 12, buffer.begin() + 12);
    password_.Release();
    password_ = Password("s3cret");
    ASSERT_TRUE(CheckEncryptionHeader(buffer.data(), 12, e.flags, e.crc, e.modTime, password_));
    Bytes body(e.data.begin() + 12, e.data.end());
    DecryptBuffer(body.data(), static_cast<uint32_t>(body.size()));
    EXPECT_EQ(std::string(body.begin(), body.end()), content) << (streamed ? "streamed" : "file");
  }
}

TEST_F(CipherTest, WrongPasswordFailsTheCheckButStillAdvancesTheKeys) {
  ZipEntry e = EncryptWithZip(dir_.path(), "data", false);
  Bytes buffer(24);
  std::copy(e.data.begin(), e.data.begin() + 12, buffer.begin() + 12);
  password_ = Password("wrong");
  // A wrong password passes one time in 256: this one is known not to.
  EXPECT_FALSE(CheckEncryptionHeader(buffer.data(), 12, e.flags, e.crc, e.modTime, password_));
  CipherKeyState afterCheck = CipherKeys;
  InitCipherKeys(password_);
  CipherKeyState initial = CipherKeys;
  for (int i = 0; i < 12; ++i) UpdateCipherKeys(buffer[i]);
  EXPECT_EQ(afterCheck.Key0, CipherKeys.Key0);
  EXPECT_EQ(afterCheck.Key2, CipherKeys.Key2);
  EXPECT_NE(initial.Key0, CipherKeys.Key0);
}

TEST_F(CipherTest, EmptyPasswordAnswersNoAndLeavesTheKeys) {
  CipherKeys = {1, 2, 3};
  Bytes buffer(24, 0x55);
  plat::ByteString empty;
  EXPECT_FALSE(CheckEncryptionHeader(buffer.data(), 12, 0, 0, 0, empty));
  EXPECT_EQ(CipherKeys.Key0, 1u);
  EXPECT_EQ(CipherKeys.Key1, 2u);
  EXPECT_EQ(CipherKeys.Key2, 3u);
}

// Encrypts a header whose last plain byte is `check`, as a writer would.
Bytes EncryptHeader(const plat::ByteString& password, uint8_t check) {
  InitCipherKeys(password);
  Bytes out(12);
  for (int i = 0; i < 12; ++i) {
    uint8_t plain = i == 11 ? check : static_cast<uint8_t>(i * 7);
    out[i] = plain ^ DecryptByte();
    UpdateCipherKeys(plain);
  }
  return out;
}

TEST_F(CipherTest, CheckByteComesFromTheTimeWithFlagBit3ElseFromTheCrc) {
  password_ = Password("pw");
  struct Case { uint16_t flags; uint8_t check; bool accepted; };
  const uint32_t crc = 0xAB000000u;
  const uint16_t time = 0xCD00;
  const Case cases[] = {{0x0001, 0xAB, true}, {0x0001, 0xCD, false}, {0x0009, 0xCD, true}, {0x0009, 0xAB, false}};
  for (const Case& c : cases) {
    Bytes buffer(24);
    Bytes header = EncryptHeader(password_, c.check);
    std::copy(header.begin(), header.end(), buffer.begin() + 12);
    EXPECT_EQ(CheckEncryptionHeader(buffer.data(), 12, c.flags, crc, time, password_), c.accepted)
        << std::hex << c.flags << " " << int(c.check);
    EXPECT_EQ(buffer[11], c.check);  // the decrypted header lands in the first half
  }
}

TEST_F(CipherTest, LongPasswordsFeedEveryByte) {
  std::string text(300, 'x');
  text[299] = 'y';
  password_ = Password(text.c_str());
  InitCipherKeys(password_);
  CipherKeyState all = CipherKeys;
  plat::ByteString shorter = Password(text.substr(0, 299).c_str());
  InitCipherKeys(shorter);
  UpdateCipherKeys('y');
  EXPECT_EQ(all.Key0, CipherKeys.Key0);
  EXPECT_EQ(all.Key1, CipherKeys.Key1);
  EXPECT_EQ(all.Key2, CipherKeys.Key2);
  shorter.Release();
}

}  // namespace

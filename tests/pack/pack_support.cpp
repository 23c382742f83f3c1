// Helpers of the package tool's tests.
#include "tests/pack/pack_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "integrity/cipher.h"
#include "integrity/crc32.h"
#include "inflate/inflate.h"
#include "integrity/stored_copy.h"
#include "launcher/locate.h"
#include "platform/platform.h"
#include "tests/support/platform_fixture.h"

namespace sfxtest {

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs one of the system's data routines (CopyStoredEntry or Inflate) on the current
// record into a file and reads the file back; `runningCrc` gets the routine's CRC-32.
template <typename Routine>
Bytes DecodeThroughSystem(Routine routine, const std::string& scratch, uint32_t& runningCrc) {
  std::string path = scratch + "/entry";
  CurrentEntry.OutputHandle = plat::CreateOutputFile(path.c_str());
  EXPECT_NE(CurrentEntry.OutputHandle, plat::kInvalidFile);
  CurrentEntry.RunningCrc = 0xFFFFFFFFu;
  routine();
  EXPECT_TRUE(plat::CloseFileHandle(CurrentEntry.OutputHandle));
  runningCrc = ~CurrentEntry.RunningCrc;
  return ReadFile(path);
}

// Moves to the record's data the way the extraction loop does: for an encrypted entry
// the encryption header is read and checked (which primes the cipher keys), and
// RemainingCount is what follows it.
void EnterEntryData(const ReadBackEntry& entry, const plat::ByteString& key) {
  const LocalRecordHeader& h = entry.header;
  SeekArchive(entry.offset + kRecordHeaderSize + h.NameLength(), plat::kFromBeginning);
  CurrentEntry.RemainingCount = h.CompressedSize();
  if ((h.Flags() & kFlagEncrypted) == 0) return;
  uint8_t check[2 * kEncryptionHeaderSize];
  uint32_t got = 0;
  ReadArchive(ArchiveHandle, check, kEncryptionHeaderSize, &got);
  std::copy(check, check + kEncryptionHeaderSize, check + kEncryptionHeaderSize);
  EXPECT_TRUE(CheckEncryptionHeader(check, kEncryptionHeaderSize, h.Flags(), h.Crc32(), h.ModTime(), key))
      << entry.name << ": the password's check byte does not match";
  CurrentEntry.RemainingCount -= kEncryptionHeaderSize;
}

// The entry's data through zlib: read, decrypted by the system's cipher, inflated.
Bytes InflateWithZlib(const ReadBackEntry& entry) {
  Bytes compressed(static_cast<size_t>(std::max(CurrentEntry.RemainingCount, 0)));
  uint32_t got = 0;
  ReadArchive(ArchiveHandle, compressed.data(), static_cast<uint32_t>(compressed.size()), &got);
  EXPECT_EQ(got, compressed.size());
  if ((entry.header.Flags() & kFlagEncrypted) != 0) DecryptBuffer(compressed.data(), got);
  return InflateRaw(compressed, entry.header.UncompressedSize());
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& directory) {
  static int serial = 0;
  std::string base = std::filesystem::temp_directory_path().string() + "/sfx-pack-run-" +
                     std::to_string(::getpid()) + "-" + std::to_string(++serial);
  std::string outPath = base + ".out", errPath = base + ".err";
  pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(directory.c_str()) != 0) ::_exit(126);
    if (!std::freopen("/dev/null", "r", stdin) || !std::freopen(outPath.c_str(), "w", stdout) ||
        !std::freopen(errPath.c_str(), "w", stderr))
      ::_exit(126);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  CommandResult result;
  int status = 0;
  if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  result.out = ReadText(outPath);
  result.err = ReadText(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return result;
}

CommandResult RunPack(const std::vector<std::string>& args, const std::string& directory) {
  std::vector<std::string> argv{SFX_PACK_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv, directory);
}

bool HaveProgram(const std::string& name) {
  return RunCommand({"sh", "-c", "command -v " + name}).status == 0;
}

Bytes InflateRaw(const Bytes& compressed, size_t expectedSize) {
  Bytes out(expectedSize + 1);
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
  z.next_in = const_cast<Bytef*>(compressed.data());
  z.avail_in = static_cast<uInt>(compressed.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  int rc = inflate(&z, Z_FINISH);
  EXPECT_EQ(rc, Z_STREAM_END) << "raw deflate stream does not end where it should";
  EXPECT_EQ(z.avail_in, 0u) << "bytes left after the deflate stream";
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

std::vector<ReadBackEntry> ReadPackageBack(const std::string& package, const std::string& scratch,
                                           const std::string& password) {
  if (!CrcTable) EXPECT_TRUE(AllocateCrcTable());
  std::vector<ReadBackEntry> entries;
  int32_t start = FindArchiveStart(package.c_str());
  EXPECT_GE(start, 20) << package;
  if (start < 0) return entries;
  plat::ScopedByteString key;
  EXPECT_TRUE(key.Assign(password.data(), static_cast<uint32_t>(password.size())));
  OpenedArchive open(package);
  SeekArchive(start, plat::kFromBeginning);
  while (ReadRecordHeader()) {
    ReadBackEntry entry;
    entry.offset = SeekResult;
    entry.header = CurrentEntry.header;
    entry.name.resize(entry.header.NameLength());
    uint32_t got = 0;
    ReadArchive(ArchiveHandle, reinterpret_cast<uint8_t*>(entry.name.data()),
                entry.header.NameLength(), &got);
    EXPECT_EQ(got, entry.header.NameLength());
    EnterEntryData(entry, key);
    if (entry.header.Method() == 0) {
      entry.content = DecodeThroughSystem([] { (void)CopyStoredEntry(); }, scratch, entry.systemCrc);
    } else {
      entry.content = InflateWithZlib(entry);
      EnterEntryData(entry, key);
      Bytes decoded = DecodeThroughSystem([] { EXPECT_EQ(Inflate(), InflateResult::kOk); }, scratch,
                                          entry.systemCrc);
      EXPECT_EQ(decoded, entry.content) << entry.name << ": the system's decoder disagrees with zlib";
    }
    entries.push_back(std::move(entry));
    const LocalRecordHeader& h = entries.back().header;
    SeekArchive(entries.back().offset + kRecordHeaderSize + h.NameLength() + h.CompressedSize(),
                plat::kFromBeginning);
  }
  return entries;
}

Bytes FakePe(uint16_t machine, uint32_t securityOffset, uint32_t securitySize) {
  Bytes pe(512, 0);
  auto put = [&pe](size_t at, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) pe[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  pe[0] = 'M';
  pe[1] = 'Z';
  put(0x3C, 0x80, 4);                    // where the PE header is
  put(0x80, 0x00004550u, 4);             // "PE\0\0"
  put(0x84, machine, 2);
  put(0x80 + 24, 0x10B, 2);              // PE32 optional header
  put(0x80 + 24 + 92, 16, 4);            // NumberOfRvaAndSizes
  put(kFakePeSecurityEntry, securityOffset, 4);
  put(kFakePeSecurityEntry + 4, securitySize, 4);
  return pe;
}

void WriteTree(const std::string& root, const std::vector<std::pair<std::string, Bytes>>& files) {
  for (const auto& [name, content] : files) {
    std::filesystem::path path = std::filesystem::path(root) / name;
    std::filesystem::create_directories(path.parent_path());
    WriteFile(path.string(), content);
  }
}

std::string ToString(const Bytes& data) { return std::string(data.begin(), data.end()); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

Bytes FakeElf(size_t size) {
  Bytes stub = FakeStub(size);
  const uint8_t magic[] = {0x7F, 'E', 'L', 'F'};
  std::copy(magic, magic + 4, stub.begin());
  return stub;
}

Bytes Noise(size_t size, uint32_t seed) {
  Bytes data(size);
  for (uint8_t& b : data) b = static_cast<uint8_t>((seed = seed * 69069u + 1u) >> 24);
  return data;
}

}  // namespace sfxtest

// Helpers of the package tool's tests.
#include "tests/pack/pack_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "archive/entry_data.h"
#include "integrity/cipher.h"
#include "integrity/crc32.h"
#include "launcher/locate.h"
#include "platform/platform.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace sfxtest {

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& directory) {
  TempDir files;
  ProcessOutcome outcome = RunProcess(argv[0], std::vector<std::string>(argv.begin() + 1, argv.end()), directory,
                                      {}, 600, files / "out", files / "err");
  CommandResult result;
  if (outcome.exited) result.status = outcome.exitCode;
  result.out = ToString(ReadFile(files / "out"));
  result.err = ToString(ReadFile(files / "err"));
  return result;
}

CommandResult RunPack(const std::vector<std::string>& args, const std::string& directory) {
  std::vector<std::string> argv{SFX_PACK_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv, directory);
}

void ExpectOneLineError(const CommandResult& r, int status, const std::string& words) {
  EXPECT_EQ(r.status, status) << r.err;
  std::vector<std::string> errors;
  for (const std::string& line : Lines(r.err))
    if (line.rfind("sfx-pack: warning: ", 0) != 0) errors.push_back(line);
  ASSERT_EQ(errors.size(), 1u) << r.err;
  EXPECT_EQ(errors[0].rfind("sfx-pack: ", 0), 0u) << r.err;
  EXPECT_NE(errors[0].find(words), std::string::npos) << "expected \"" << words << "\" in: " << r.err;
}

bool HaveProgram(const std::string& name) {
  return RunCommand({"sh", "-c", "command -v " + name}).status == 0;
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
    const LocalRecordHeader& h = entry.header;
    entry.name.resize(h.NameLength());
    uint32_t got = 0;
    ReadArchive(ArchiveHandle, reinterpret_cast<uint8_t*>(entry.name.data()), h.NameLength(), &got);
    EXPECT_EQ(got, h.NameLength());
    // As the extraction loop does: an encrypted entry's header is read and checked (which
    // primes the cipher keys), then the system's data step writes the entry to a file.
    if ((h.Flags() & kFlagEncrypted) != 0) {
      uint8_t check[2 * kEncryptionHeaderSize];
      ReadArchive(ArchiveHandle, check, kEncryptionHeaderSize, &got);
      std::copy(check, check + kEncryptionHeaderSize, check + kEncryptionHeaderSize);
      EXPECT_TRUE(CheckEncryptionHeader(check, kEncryptionHeaderSize, h.Flags(), h.Crc32(), h.ModTime(), key))
          << entry.name << ": the password's check byte does not match";
    }
    std::string path = scratch + "/entry";
    CurrentEntry.OutputHandle = plat::CreateOutputFile(path.c_str());
    EXPECT_EQ(WriteEntryData(), EntryData::kWhole) << entry.name;
    EXPECT_TRUE(plat::CloseFileHandle(CurrentEntry.OutputHandle));
    entry.systemCrc = ~CurrentEntry.RunningCrc;
    entry.content = ReadFile(path);
    SeekArchive(entry.offset + kRecordHeaderSize + h.NameLength() + h.CompressedSize(), plat::kFromBeginning);
    entries.push_back(std::move(entry));
  }
  return entries;
}

Bytes FakePe(uint16_t machine, uint32_t securityOffset, uint32_t securitySize) {
  Bytes pe(512, 0);
  pe[0] = 'M';
  pe[1] = 'Z';
  WriteLe32(&pe[0x3C], 0x80);              // where the PE header is
  WriteLe32(&pe[0x80], 0x00004550u);       // "PE\0\0"
  WriteLe16(&pe[0x84], machine);
  WriteLe16(&pe[0x80 + 24], 0x10B);        // PE32 optional header
  WriteLe32(&pe[0x80 + 24 + 92], 16);      // NumberOfRvaAndSizes
  WriteLe32(&pe[0x80 + 24 + 96 + 4 * 8], securityOffset);  // directory 4: the certificate table
  WriteLe32(&pe[0x80 + 24 + 96 + 4 * 8 + 4], securitySize);
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
  Bytes stub = ToBytes("\x7F" "ELF");
  stub.resize(size, 'x');
  return stub;
}

Bytes Noise(size_t size, uint32_t seed) {
  Bytes data(size);
  for (uint8_t& b : data) b = static_cast<uint8_t>((seed = seed * 69069u + 1u) >> 24);
  return data;
}

}  // namespace sfxtest

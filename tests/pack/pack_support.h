// Helpers of the package tool's tests: running programs, stand-in programs and files, and
// reading a package back through the system's own reader.
#pragma once

#include <gtest/gtest.h>
#include <stdint.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "archive/entry_data.h"
#include "archive/record.h"
#include "integrity/cipher.h"
#include "integrity/crc32.h"
#include "platform/platform.h"
#include "tests/inflate/corpus.h"
#include "tests/support/package_builder.h"
#include "tests/support/platform_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"
#include "tools/sfx_pack/record_walker.h"

namespace sfxtest {

inline std::string ToString(const Bytes& data) { return std::string(data.begin(), data.end()); }

// The lines of a text, without their line feeds.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct CommandResult {
  int status = -1;  // exit status, or -1 when the command did not exit normally
  std::string out;
  std::string err;
};

// Runs `argv` (no shell interpretation of the arguments) in `directory`, standard input
// from /dev/null, and collects its exit status and output.
inline CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& directory = ".") {
  TempDir files;
  ProcessOutcome outcome = RunProcess(argv[0], std::vector<std::string>(argv.begin() + 1, argv.end()), directory,
                                      {}, 600, files / "out", files / "err");
  CommandResult result;
  if (outcome.exited) result.status = outcome.exitCode;
  result.out = ToString(ReadFile(files / "out"));
  result.err = ToString(ReadFile(files / "err"));
  return result;
}

// Runs build/host/sfx-pack with the arguments.
inline CommandResult RunPack(std::vector<std::string> args, const std::string& directory = ".") {
  args.insert(args.begin(), SFX_PACK_PATH);
  return RunCommand(args, directory);
}

// A failure is one line on standard error, "sfx-pack: ...", holding `words`, and the
// exit status `status`; warnings about the inputs may come before it.
inline void ExpectOneLineError(const CommandResult& r, int status, const std::string& words) {
  EXPECT_EQ(r.status, status) << r.err;
  std::vector<std::string> errors;
  for (const std::string& line : Lines(r.err))
    if (line.rfind("sfx-pack: warning: ", 0) != 0) errors.push_back(line);
  ASSERT_EQ(errors.size(), 1u) << r.err;
  EXPECT_EQ(errors[0].rfind("sfx-pack: ", 0), 0u) << r.err;
  EXPECT_NE(errors[0].find(words), std::string::npos) << "expected \"" << words << "\" in: " << r.err;
}

// True when a program of that name is on PATH.
inline bool HaveProgram(const std::string& name) {
  return RunCommand({"sh", "-c", "command -v " + name}).status == 0;
}

// One record as the stub reads it, with its content recovered.
struct ReadBackEntry {
  int32_t offset = 0;              // of the record header in the package
  LocalRecordHeader header{};
  std::string name;
  Bytes content;                   // after decryption and inflation
  uint32_t systemCrc = 0;          // CRC-32 of what the system's data step wrote
};

// Walks the records with the tool's RecordWalker (the stub's FindArchiveStart,
// ReadRecordHeader, ReadArchive and SeekArchive). As the extraction loop does, an
// encrypted entry's header is read and checked with `password` (which primes the cipher
// keys); then the system's data step, WriteEntryData, writes each entry into a file
// under `scratch`. Any failure, or records that do not end cleanly, is a test failure.
inline std::vector<ReadBackEntry> ReadPackageBack(const std::string& package, const std::string& scratch,
                                                  const std::string& password = "") {
  if (!CrcTable) EXPECT_TRUE(AllocateCrcTable());
  std::vector<ReadBackEntry> entries;
  plat::ScopedByteString key;
  EXPECT_TRUE(key.Assign(password.data(), static_cast<uint32_t>(password.size())));
  sfxpack::RecordWalker walker(package);
  while (walker.Next()) {
    const LocalRecordHeader& h = walker.header();
    ReadBackEntry entry{static_cast<int32_t>(walker.offset()), h, ToString(walker.name())};
    if ((h.Flags() & kFlagEncrypted) != 0) {
      uint8_t check[2 * kEncryptionHeaderSize];
      uint32_t got = 0;
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
    entries.push_back(std::move(entry));
  }
  EXPECT_TRUE(walker.clean()) << package << ": " << walker.ending();
  return entries;
}

// The first 512 bytes of a PE image for `machine` (0x14C i386, 0x8664 x86-64): DOS
// header, "PE\0\0", file header, PE32 optional header with 16 data directories, the
// certificate table (directory 4) at `securityOffset`, `securitySize`.
inline Bytes FakePe(uint16_t machine = 0x14C, uint32_t securityOffset = 0, uint32_t securitySize = 0) {
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

// A stand-in Linux stub: the four bytes of an ELF file's magic and filler, so that
// create takes it for a program.
inline Bytes FakeElf(size_t size) {
  Bytes stub = ToBytes("\x7F" "ELF");
  stub.resize(size, 'x');
  return stub;
}

// Writes each file (relative path -> content) under `root`, making folders as needed.
inline void WriteTree(const std::string& root, const std::vector<std::pair<std::string, Bytes>>& files) {
  for (const auto& [name, content] : files) {
    std::filesystem::create_directories(std::filesystem::path(root + "/" + name).parent_path());
    WriteFile(root + "/" + name, content);
  }
}

// Pseudo-random bytes, which deflate cannot shrink.
using inflatetest::RandomBytes;

}  // namespace sfxtest

// Helpers of the package tool's tests: running programs, and reading a package back
// through the system's own reader.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "archive/record.h"
#include "tests/support/package_builder.h"

namespace sfxtest {

struct CommandResult {
  int status = -1;  // exit status, or -1 when the command did not exit normally
  std::string out;
  std::string err;
};

// Runs `argv` (no shell interpretation of the arguments) in `directory`, standard input
// from /dev/null, and collects its exit status and output.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& directory = ".");

// Runs build/host/sfx-pack with the arguments.
CommandResult RunPack(const std::vector<std::string>& args, const std::string& directory = ".");

// A failure is one line on standard error, "sfx-pack: ...", holding `words`, and the
// exit status `status`; warnings about the inputs may come before it.
void ExpectOneLineError(const CommandResult& r, int status, const std::string& words);

// True when a program of that name is on PATH.
bool HaveProgram(const std::string& name);

// One record as the stub reads it, with its content recovered.
struct ReadBackEntry {
  int32_t offset = 0;              // of the record header in the package
  LocalRecordHeader header{};
  std::string name;
  Bytes content;                   // after decryption and inflation
  uint32_t systemCrc = 0;          // CRC-32 of what the system's data step wrote
};

// Finds the archive with FindArchiveStart and walks the records with ReadRecordHeader,
// ReadArchive and SeekArchive. Encrypted entries are checked with CheckEncryptionHeader
// and `password`; then each entry goes through the system's data step, WriteEntryData,
// into a file under `scratch`. Any failure is a test failure.
std::vector<ReadBackEntry> ReadPackageBack(const std::string& package, const std::string& scratch,
                                           const std::string& password = "");

// The first 512 bytes of a PE image for `machine` (0x14C i386, 0x8664 x86-64): DOS
// header, "PE\0\0", file header, PE32 optional header with 16 data directories, the
// certificate table (directory 4) at `securityOffset`, `securitySize`.
Bytes FakePe(uint16_t machine = 0x14C, uint32_t securityOffset = 0, uint32_t securitySize = 0);

// A stand-in Linux stub: the four bytes of an ELF file's magic and filler,
// so that create takes it for a program.
Bytes FakeElf(size_t size);

// Writes each file (relative path -> content) under `root`, making folders as needed.
void WriteTree(const std::string& root, const std::vector<std::pair<std::string, Bytes>>& files);

// `size` pseudo-random bytes, which deflate cannot shrink.
Bytes Noise(size_t size, uint32_t seed);

std::string ToString(const Bytes& data);
// The lines of a text, without their line feeds.
std::vector<std::string> Lines(const std::string& text);

}  // namespace sfxtest

// Running Inflate over compressed bytes stored the way the archive stores them.
#include "tests/inflate/inflate_driver.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "archive/record.h"
#include "platform/platform.h"

namespace inflatetest {

namespace {

void WriteScrambled(std::ofstream& out, const uint8_t* data, size_t size) {
  std::string chunk(size, '\0');
  for (size_t i = 0; i < size; ++i) chunk[i] = static_cast<char>(data[i] ^ kArchiveScramble);
  out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
}

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

StoredEntry::StoredEntry(const std::string& dir, const uint8_t* data, size_t size, const Bytes& trailer)
    : dir_(dir), path_(dir + "/entry.bin"), size_(size) {
  std::ofstream out(path_, std::ios::binary | std::ios::trunc);
  WriteScrambled(out, data, size);
  WriteScrambled(out, trailer.data(), trailer.size());
  if (!out) throw std::runtime_error("cannot write " + path_);
}

StoredEntry::~StoredEntry() { unlink(path_.c_str()); }

DecodeOutcome StoredEntry::Decode(const DecodeOptions& options) {
  DecodeOutcome outcome;
  std::string outputPath = options.keepOutput ? dir_ + "/output.bin" : "/dev/null";
  ArchiveHandle = plat::OpenForReading(path_.c_str());
  if (ArchiveHandle == plat::kInvalidFile) throw std::runtime_error("cannot open " + path_);
  plat::FileHandle output = plat::CreateOutputFile(outputPath.c_str());
  if (output == plat::kInvalidFile) throw std::runtime_error("cannot create " + outputPath);

  CurrentEntry = {};
  CurrentEntry.header.raw[RecordField::kFlags] = static_cast<uint8_t>(options.flags);
  CurrentEntry.header.raw[RecordField::kFlags + 1] = static_cast<uint8_t>(options.flags >> 8);
  CurrentEntry.RemainingCount =
      options.remainingCount >= 0 ? options.remainingCount : static_cast<int32_t>(size_);
  CurrentEntry.OutputHandle = output;
  CurrentEntry.RunningCrc = 0xFFFFFFFFu;
  outcome.result = Inflate();
  outcome.crc = CurrentEntry.RunningCrc;
  outcome.remaining = CurrentEntry.RemainingCount;
  int32_t pos = plat::SeekFile(ArchiveHandle, 0, plat::kFromCurrent);
  outcome.archivePos = pos < 0 ? 0 : static_cast<uint64_t>(pos);

  (void)plat::CloseFileHandle(output);
  (void)plat::CloseFileHandle(ArchiveHandle);
  ArchiveHandle = plat::kInvalidFile;
  CurrentEntry.OutputHandle = plat::kInvalidFile;
  if (options.keepOutput) {
    outcome.output = ReadWholeFile(outputPath);
    unlink(outputPath.c_str());
  }
  return outcome;
}

DecodeOutcome DecodeEntry(const std::string& dir, const Bytes& data, const DecodeOptions& options) {
  StoredEntry entry(dir, data.data(), data.size(), options.trailer);
  return entry.Decode(options);
}

ScratchDir::ScratchDir() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/sfx-inflate-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace inflatetest

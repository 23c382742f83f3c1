// Running Inflate over compressed bytes stored the way the archive stores them.
#include "tests/inflate/inflate_driver.h"

#include <stdio.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#include "archive/record.h"
#include "platform/platform.h"
#include "platform/testing.h"

namespace inflatetest {

namespace {

void AppendScrambled(Bytes& out, const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) out.push_back(data[i] ^ kArchiveScramble);
}

// Whole files on the store the stand-in layer uses: memory files or the file system.
void WriteWholeFile(const std::string& path, const Bytes& data) {
  if (plat::testing::MemoryFilesOn()) {
    if (!plat::testing::PutMemoryFile(path, data)) throw std::runtime_error("cannot store " + path);
    return;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes ReadWholeFile(const std::string& path) {
  if (plat::testing::MemoryFilesOn()) {
    const Bytes* bytes = plat::testing::MemoryFile(path);
    return bytes ? *bytes : Bytes();
  }
  std::ifstream in(path, std::ios::binary);
  in.seekg(0, std::ios::end);
  Bytes out(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return out;
}

}  // namespace

StoredEntry::StoredEntry(const std::string& dir, const uint8_t* data, size_t size, const Bytes& trailer)
    : dir_(dir), path_(dir + "/entry.bin"), size_(size) {
  Bytes stored;
  stored.reserve(size + trailer.size());
  AppendScrambled(stored, data, size);
  AppendScrambled(stored, trailer.data(), trailer.size());
  WriteWholeFile(path_, stored);
}

// Memory files stay until the next run replaces them.
StoredEntry::~StoredEntry() {
  if (!plat::testing::MemoryFilesOn()) unlink(path_.c_str());
}

DecodeOutcome StoredEntry::Decode(const DecodeOptions& options) {
  DecodeOutcome outcome;
  bool discard = !options.keepOutput && !plat::testing::MemoryFilesOn();
  std::string outputPath = discard ? "/dev/null" : dir_ + "/output.bin";
  ArchiveHandle = plat::OpenForReading(path_.c_str());
  if (ArchiveHandle == plat::kInvalidFile) throw std::runtime_error("cannot open " + path_);
  plat::FileHandle output = plat::CreateOutputFile(outputPath.c_str());
  if (output == plat::kInvalidFile) throw std::runtime_error("cannot create " + outputPath);

  CurrentEntry = {};  // flags 0: not encrypted
  CurrentEntry.RemainingCount = static_cast<int32_t>(size_);
  CurrentEntry.OutputHandle = output;
  CurrentEntry.RunningCrc = 0xFFFFFFFFu;
  outcome.result = Inflate();
  outcome.crc = CurrentEntry.RunningCrc;
  int32_t pos = plat::SeekFile(ArchiveHandle, 0, plat::kFromCurrent);
  outcome.archivePos = pos < 0 ? 0 : static_cast<uint64_t>(pos);

  (void)plat::CloseFileHandle(output);
  (void)plat::CloseFileHandle(ArchiveHandle);
  ArchiveHandle = plat::kInvalidFile;
  CurrentEntry.OutputHandle = plat::kInvalidFile;
  if (options.keepOutput) outcome.output = ReadWholeFile(outputPath);
  if (!discard && !plat::testing::MemoryFilesOn()) unlink(outputPath.c_str());
  return outcome;
}

DecodeOutcome DecodeEntry(const std::string& dir, const Bytes& data, const DecodeOptions& options) {
  StoredEntry entry(dir, data.data(), data.size(), options.trailer);
  return entry.Decode(options);
}

}  // namespace inflatetest

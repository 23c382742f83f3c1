// Fuzz target: arbitrary bytes as a whole package, run by the program's own entry flow
// (marker scan, extraction loop, setup-program launch, clean-up, last message) through
// the stand-in layer with its files in memory, and with faults the input chooses.
//
// Input: four control bytes, then the package file. Bits of byte 0:
//   0x01 output writes fail once (byte 1 + 256 * byte 2) bytes were accepted
//   0x02 output-file creation number (byte 3 & 7) + 1 fails
//   0x04 creations of paths that contain ".EXE" fail, as for a locked file
//   0x08 TempDir holds a setup program from an earlier run, SETUP.EXE (unless 0x80)
//   0x10 the first file deletion fails
//   0x20 every output-file close fails
//   0x40 reads deliver at most (byte 3 >> 3) + 1 bytes each
//   0x80 a file already has the destination folder's name
//
// The promises, each checked as the run goes or after it; a broken one aborts:
// - nothing is created or changed outside TempDir;
// - every step of the extraction loop moves forward (each record is found by a seek
//   past the previous record's start), so every run ends;
// - every failed creation, failed or short write, and failed decoding of an output file
//   is told in a message with that file's path as caption;
// - a setup program is started only from a file this run created and wrote whole;
// - every heap block the system allocated is released.
// Record k of the archive is the one behind output-file creation k: the loop creates
// one file per record, in order, until it stops.
#include <stddef.h>
#include <stdint.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/extract.h"
#include "fuzz/require.h"
#include "archive/record.h"
#include "integrity/crc32.h"
#include "launcher/startup.h"
#include "platform/testing.h"
#include "tests/extraction/program_state.h"
#include "tests/inflate/inflate_driver.h"

namespace {

using Bytes = std::vector<uint8_t>;
using plat::testing::Recorded;

constexpr size_t kControlSize = 4;
constexpr char kPackagePath[] = "/pkg/package.exe";
constexpr char kTempPath[] = "/tmp\\";
constexpr char kDestination[] = "/tmp/_I_";      // TempDir as a POSIX path
constexpr char kStaleProgram[] = "/tmp/_I_/SETUP.EXE";
constexpr char kScratch[] = "/decode";           // where records are decoded again

// Whether `path` ("\" or "/" separated) is `folder` or below it, once ".", ".." and
// empty components are resolved.
bool Inside(std::string path, const std::string& folder) {
  std::replace(path.begin(), path.end(), '\\', '/');
  std::string p = std::filesystem::path("/" + path).lexically_normal().generic_string();
  return p.compare(0, folder.size(), folder) == 0 && (p.size() == folder.size() || p[folder.size()] == '/');
}

// A record as the loop reads it, with what its output file must hold.
struct Record {
  std::string path;      // TempDir + name, with every "/" as "\"
  bool ascii = true;     // the name is ASCII, which reaches the path unconverted
  bool decoded = true;    // stored or deflated: a method the system decodes
  bool failed = false;   // its data cannot be written whole: a message must tell so
  Bytes content;         // the file's bytes when it is written whole
};

// Up to `count` plain bytes of the package from `at`: as many as it holds.
Bytes Plain(const Bytes& package, size_t at, size_t count) {
  Bytes out;
  for (size_t i = at; i < package.size() && i - at < count; ++i) out.push_back(package[i] ^ kArchiveScramble);
  return out;
}

// Record k behind creation k: parsed from ArchiveOffset the way the loop steps, and
// decoded again on its own (stored: the bytes; deflate: Inflate through the driver).
std::vector<Record> RecordsBehindCreations(const Bytes& package, size_t creations) {
  std::vector<Record> records;
  int64_t at = ArchiveOffset;
  while (records.size() < creations) {
    Require(at >= 0 && at + kRecordHeaderSize <= static_cast<int64_t>(package.size()), "records line up");
    LocalRecordHeader h;
    Bytes header = Plain(package, static_cast<size_t>(at), kRecordHeaderSize);
    std::copy(header.begin(), header.end(), h.raw);
    Record r;
    r.decoded = h.Method() == kMethodStored || h.Method() == kMethodDeflate;
    size_t nameStart = static_cast<size_t>(at) + kRecordHeaderSize;
    Bytes nameBytes = Plain(package, nameStart, h.NameLength());
    std::string name(nameBytes.begin(), nameBytes.end());
    r.ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    r.path = (std::string(TempDir) + name).c_str();  // the system's path ends at a zero byte
    std::replace(r.path.begin(), r.path.end(), '/', '\\');
    int32_t size = h.CompressedSize();
    Bytes data = size < 0 ? Bytes{} : Plain(package, nameStart + h.NameLength(), static_cast<size_t>(size));
    bool checked = (h.Flags() & kFlagCheckByteFromTime) == 0;
    // A stored entry cut by the package's end is damaged unless its CRC-32 vouches for
    // the bytes that did arrive; a deflate stream says itself where it ends.
    bool cut = size < 0 || data.size() < static_cast<size_t>(size);
    r.failed = size < 0 || (cut && h.Method() == kMethodStored && !checked);
    uint32_t crc = ~static_cast<uint32_t>(crc32_z(0, data.data(), data.size()));
    if (h.Method() == kMethodDeflate) {
      // (Encrypted records end the loop before their file is created.)
      inflatetest::DecodeOutcome decoded = inflatetest::DecodeEntry(kScratch, data);
      r.failed = r.failed || decoded.result != InflateResult::kOk;
      r.content = std::move(decoded.output);
      crc = decoded.crc;
    } else {
      r.content = std::move(data);
    }
    if (checked && ~crc != h.Crc32()) r.failed = true;
    records.push_back(std::move(r));
    at += kRecordHeaderSize + h.NameLength() + int64_t{size};
  }
  return records;
}

plat::testing::FaultPlan PlanFor(const uint8_t* control) {
  plat::testing::FaultPlan plan;
  plan.quietMessageBoxes = true;
  plan.overrideSelfPath = true;
  plan.selfPath = kPackagePath;
  plan.overrideTempPath = true;
  plan.tempPath = kTempPath;
  if (control[0] & 0x01) plan.writeFailsAfterBytes = control[1] + 256 * control[2];
  if (control[0] & 0x02) plan.createFailsAtCall = (control[3] & 7) + 1;
  if (control[0] & 0x04) plan.createFailsForPath = ".EXE";
  if (control[0] & 0x10) plan.removeFileFailsTimes = 1;
  if (control[0] & 0x20) plan.everyOutputCloseFails = true;
  if (control[0] & 0x40) plan.readChunkLimit = (control[3] >> 3) + 1;
  return plan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kControlSize) return -1;  // not kept in the corpus
  if (!CrcTable) Require(AllocateCrcTable(), "CRC table");
  const uint8_t* control = data;
  Bytes package(data + kControlSize, data + size);

  plat::testing::UseMemoryFiles();
  Require(plat::testing::PutMemoryFile(kPackagePath, package) && plat::testing::PutMemoryDirectory("/tmp"),
          "the package in memory");
  if (control[0] & 0x80)
    Require(plat::testing::PutMemoryFile(kDestination, {}), "a file in the way");
  else if (control[0] & 0x08)
    Require(plat::testing::PutMemoryFile(kStaleProgram, {'M', 'Z', 0}), "a stale program");
  std::vector<std::string> before = plat::testing::MemoryTree();

  plat::testing::Install(PlanFor(control));
  int64_t live = Recorded().liveAllocations;
  int32_t lastRecordSeek = -1;
  plat::testing::OnSeek([&](const plat::testing::SeekCall& seek) {
    if (seek.file != ArchiveHandle || seek.method != plat::kFromBeginning) return;
    Require(seek.distance > lastRecordSeek, "every step of the loop moves forward");
    lastRecordSeek = seek.distance;
  });
  size_t messageBound = package.size() / kRecordHeaderSize + 8;
  plat::testing::OnMessageBox([&](const plat::testing::MessageBoxCall&) {
    Require(Recorded().messageBoxes.size() <= messageBound, "every run ends");
  });

  (void)RunPackage();
  plat::testing::OnSeek(nullptr);
  plat::testing::OnMessageBox(nullptr);
  sfxtest::ResetProgramState();
  Require(Recorded().liveAllocations == live, "every heap block released");

  // Nothing outside TempDir: every path there was there before, the package unchanged.
  for (const std::string& path : plat::testing::MemoryTree())
    if (!Inside(path, kDestination))
      Require(std::find(before.begin(), before.end(), path) != before.end(), "nothing created outside TempDir");
  const Bytes* after = plat::testing::MemoryFile(kPackagePath);
  Require(after && *after == package, "the package is left as it was");

  // The run's trace is kept; the records are decoded again through the layer without
  // the run's faults.
  const plat::testing::Trace trace = Recorded();
  plat::testing::Reset();
  for (const auto& c : trace.creates)
    if (c.file != plat::kInvalidFile) Require(Inside(c.path, kDestination), "nothing created outside TempDir");
  std::vector<Record> records = RecordsBehindCreations(package, trace.creates.size());

  auto told = [&](const std::string& path) {
    const auto& boxes = trace.messageBoxes;
    return std::any_of(boxes.begin(), boxes.end(), [&](const auto& m) { return m.caption == path; });
  };
  std::vector<bool> shortWrite(records.size(), false);
  for (size_t k = 0; k < records.size(); ++k) {
    const plat::testing::CreateCall& c = trace.creates[k];
    std::string path = c.path;
    std::replace(path.begin(), path.end(), '/', '\\');
    // A short read cuts a record's name (the loop reads it once), and names beyond ASCII
    // are converted on their way into the path: those are not compared.
    Require(path == records[k].path || !records[k].ascii || (control[0] & 0x40), "records line up");
    if (c.file == plat::kInvalidFile) {
      Require(told(c.path), "a failed creation is told");
      continue;
    }
    for (const auto& w : trace.writes)
      if (w.file == c.file && w.written < w.asked) shortWrite[k] = true;
    if (shortWrite[k]) Require(told(c.path), "a failed write is told");
    if (records[k].decoded && records[k].failed) Require(told(c.path), "a failed decoding is told");
  }

  for (const auto& start : trace.starts) {
    size_t k = records.size();
    for (size_t i = 0; i < records.size(); ++i)
      if (trace.creates[i].file != plat::kInvalidFile && trace.creates[i].path == start.application) k = i;
    Require(k < records.size(), "the setup program was created by this run");
    Require(records[k].decoded && !records[k].failed && !shortWrite[k] && start.image == records[k].content,
            "the setup program was written whole");
  }
  return 0;
}

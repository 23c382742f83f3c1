// Writing a package: the stub copied byte for byte, then the records, every archive byte
// stored XOR 0xF0.
//
// A record is the 30-byte local header, the name and the entry's bytes (for an
// encrypted entry its 12-byte encryption header comes first, counted in
// CompressedSize). ExtraLength is always 0: the stub never reads an extra field. The
// first record carries the alternate signature 'V' 'e' 'l' 0xDB and VersionNeeded
// 0x00FF, so the archive's first six stored bytes are the marker A6 95 9C 2B 0F F0.
#include "tools/sfx_pack/package_writer.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "archive/record.h"
#include "launcher/locate.h"
#include "tools/sfx_pack/pack_error.h"

namespace sfxpack {

std::string SystemReason() { return std::strerror(errno); }

namespace {

// The temporary file being written, for the signal handler: Ctrl-C, SIGTERM or SIGHUP
// while a package is written removes it, then ends the process as the signal would
// have. Only async-signal-safe calls are made in the handler.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
char gTempPath[4096];
struct sigaction gPreviousActions[3];

extern "C" void RemoveTempAndDie(int signal) {
  if (gTempPath[0] != 0) ::unlink(gTempPath);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Called with the temporary file's path once it exists, and with "" once it is gone or
// renamed. A signal that was ignored when the writer began stays ignored.
void GuardTempFile(const std::string& path) {
  if (path.empty()) {
    for (size_t i = 0; i < 3; ++i) ::sigaction(kCleanupSignals[i], &gPreviousActions[i], nullptr);
    gTempPath[0] = 0;
    return;
  }
  if (path.size() >= sizeof gTempPath) return;  // such a path cannot have been created
  std::memcpy(gTempPath, path.c_str(), path.size() + 1);
  struct sigaction action{};
  action.sa_handler = RemoveTempAndDie;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < 3; ++i) {
    ::sigaction(kCleanupSignals[i], nullptr, &gPreviousActions[i]);
    if (gPreviousActions[i].sa_handler != SIG_IGN) ::sigaction(kCleanupSignals[i], &action, nullptr);
  }
}

// Creates the temporary file from the mkstemp template `path` and guards it. The
// cleanup signals are held back from before the file exists until the handler knows its
// path: one arriving in between would end the process and leave the file behind.
int CreateGuardedTempFile(std::string& path) {
  sigset_t cleanup, previous;
  sigemptyset(&cleanup);
  for (int signal : kCleanupSignals) sigaddset(&cleanup, signal);
  ::pthread_sigmask(SIG_BLOCK, &cleanup, &previous);
  int fd = ::mkstemp(path.data());
  if (fd >= 0) GuardTempFile(path);
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return fd;
}

Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PackError(path, "cannot open: " + SystemReason());
  Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw PackError(path, "read failed");
  return data;
}

}  // namespace

void CheckEntryName(const std::string& name, const std::string& origin) {
  if (name.empty()) throw PackError(origin, "entry name is empty");
  if (name.size() > 0xFFFF)
    throw PackError(origin, "entry name is " + std::to_string(name.size()) +
                                " bytes long; a record holds at most 65535");
  if (name.find('\0') != std::string::npos)
    throw PackError(origin, "entry name contains a zero byte");
}

int64_t PackageWriter::CheckStub(const std::string& stubPath) {
  struct stat info{};
  if (::stat(stubPath.c_str(), &info) != 0) throw PackError(stubPath, "cannot open stub: " + SystemReason());
  if (!S_ISREG(info.st_mode)) throw PackError(stubPath, "stub is not a regular file");
  if (info.st_size < kMinStubSize)
    throw PackError(stubPath, "stub is " + std::to_string(info.st_size) +
                                  " bytes; it must be at least 20 (the marker scan starts there)");
  if (info.st_size >= kMaxPackageSize) throw PackError(stubPath, "stub is 2 GiB or larger");
  int32_t marker = FindArchiveStart(stubPath.c_str());
  if (marker >= 0)
    throw PackError(stubPath, "stub already contains the archive marker at offset " +
                                  std::to_string(marker) + " (is it a package?)");
  return info.st_size;
}

PackageWriter::PackageWriter(const std::string& stubPath, const std::string& outputPath, int64_t maxSize,
                             const std::function<void(Bytes&)>& editStub)
    : stubPath_(stubPath), outputPath_(outputPath), maxSize_(maxSize) {
  CheckStub(stubPath);
  struct stat info{};
  if (::stat(stubPath.c_str(), &info) != 0) throw PackError(stubPath, "cannot open stub: " + SystemReason());
  Bytes stub = ReadWholeFile(stubPath);
  if (editStub) editStub(stub);
  stubMode_ = info.st_mode & 07777;

  tempPath_ = outputPath + ".tmp-XXXXXX";
  int fd = CreateGuardedTempFile(tempPath_);
  if (fd < 0) {
    tempPath_.clear();
    throw PackError(outputPath, "cannot create a file beside the output: " + SystemReason());
  }
  file_ = ::fdopen(fd, "wb");
  // The destructor does not run for a constructor that throws, so the temporary file is
  // removed here when the stub cannot be written.
  if (file_ == nullptr || std::fwrite(stub.data(), 1, stub.size(), file_) != stub.size()) {
    std::string reason = SystemReason();
    if (file_ == nullptr) ::close(fd);
    Discard();
    throw PackError(outputPath, "write failed: " + reason);
  }
  stubSize_ = position_ = static_cast<int64_t>(stub.size());
}

PackageWriter::~PackageWriter() { Discard(); }

void PackageWriter::Discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (tempPath_.empty()) return;
  ::unlink(tempPath_.c_str());
  tempPath_.clear();
  GuardTempFile("");
}

void PackageWriter::WriteScrambled(const uint8_t* data, size_t size) {
  scratch_.assign(data, data + size);
  for (uint8_t& b : scratch_) b ^= kArchiveScramble;
  if (std::fwrite(scratch_.data(), 1, scratch_.size(), file_) != scratch_.size())
    throw PackError(outputPath_, "write failed: " + SystemReason());
  position_ += static_cast<int64_t>(size);
}

void PackageWriter::Add(const PackEntry& entry, const std::string& origin) {
  CheckEntryName(entry.name, origin);
  if (!names_.insert(entry.name).second)
    throw PackError(origin, "the name \"" + entry.name + "\" is already in the package");
  int64_t recordSize = kRecordHeaderSize + static_cast<int64_t>(entry.name.size()) +
                       static_cast<int64_t>(entry.data.size());
  if (position_ + recordSize > maxSize_)
    throw PackError(origin, "the package would reach 2 GiB; positions in it are signed 32-bit");

  using namespace RecordField;
  uint8_t header[kRecordHeaderSize] = {};
  bool first = records_ == 0;
  WriteLe32(header + kSignature, first ? kAlternateSignature : kLocalSignature);
  WriteLe16(header + kVersionNeeded, first ? kFirstVersionNeeded : entry.versionNeeded);
  WriteLe16(header + kFlags, entry.flags);
  WriteLe16(header + kMethod, entry.method);
  WriteLe16(header + kModTime, entry.modTime);
  WriteLe16(header + kModDate, entry.modDate);
  WriteLe32(header + kCrc32, entry.crc32);
  WriteLe32(header + kCompressedSize, static_cast<uint32_t>(entry.data.size()));
  WriteLe32(header + kUncompressedSize, entry.uncompressedSize);
  WriteLe16(header + kNameLength, static_cast<uint16_t>(entry.name.size()));
  WriteLe16(header + kExtraLength, 0);
  WriteScrambled(header, sizeof header);
  WriteScrambled(reinterpret_cast<const uint8_t*>(entry.name.data()), entry.name.size());
  WriteScrambled(entry.data.data(), entry.data.size());
  ++records_;
}

void PackageWriter::Commit() {
  if (records_ == 0) throw PackError(outputPath_, "nothing to pack: no entries");
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) throw PackError(outputPath_, "write failed: " + SystemReason());
  int32_t found = FindArchiveStart(tempPath_.c_str());
  if (found != stubSize_)
    throw PackError(outputPath_, "the written package's archive is found at offset " +
                                     std::to_string(found) + " instead of " +
                                     std::to_string(stubSize_));
  if (::chmod(tempPath_.c_str(), stubMode_) != 0)
    throw PackError(outputPath_, "cannot set permissions: " + SystemReason());
  if (::rename(tempPath_.c_str(), outputPath_.c_str()) != 0)
    throw PackError(outputPath_, "cannot rename the finished package into place: " + SystemReason());
  tempPath_.clear();
  GuardTempFile("");
}

}  // namespace sfxpack

// The extraction loop: read a record, build its path under TempDir, create the
// directories and the file, hand the data to the stored copy or the decoder, verify it,
// give the file the entry's DOS time, close it, and seek to the next record.
//
// Each record is found by one absolute seek from the previous record's start, so the
// loop does not depend on how much of an entry the copy or the decoder consumed. Every
// step moves forward: a record whose size would send the seek back to itself or before
// it (a size of 2 GiB or more) is a damaged entry, whether or not its file was created.
// The loop ends at the first position that holds no record, or early on an empty or
// refused name, an encrypted entry (there is no password), a directory that cannot be
// created, an unknown method, a damaged entry, or a write the disk did not take; files
// written before an early end stay. After a damaged entry or a failed write neither the
// package nor the unpacked files can be trusted: the setup program is not started, so
// the outcome is cleared.
#include "archive/extract.h"

#include "archive/entry_data.h"
#include "archive/names.h"
#include "archive/paths.h"
#include "archive/record.h"
#include "integrity/cipher.h"
#include "launcher/branding.h"
#include "platform/platform.h"

char TempDir[kTempDirSize] = {};
bool ExtractedAny = false;
plat::ByteString InstallerPath;
bool InstallerWritten = false;
bool ExtractedWhole = false;
uint32_t RecordsUnpacked = 0;

const char kInstallerMarker[5] = ".EXE";

namespace {

const char kSeekFailedText[] = "Error localizando el instalador\r\rError #SFXELI#";
const char kBadNameText[] = "Error al extraer el nombre de un componente.\r\rError #SFXENC#";
const char kNoDirectoryCaption[] = "No puedo crear directorio";
const char kCreateFailedText[] = "Error al abrir el archivo\r\rError #SFXEAA#";
const char kUnknownMethodText[] = "Compresi\xF3n desconocida.\r\rArchivo da\xF1" "ado.\r\rError #SFXMCD#";
const char kCloseFailedText[] = "Error al cerrar el archivo\r\rError #SFXECA#";
const char kDamagedText[] = "Archivo da\xF1" "ado.\r\rError #SFXCRC#";
const char kWriteFailedText[] = "Error al escribir el archivo\r\rError #SFXEEA#";

constexpr uint32_t kNameBufferSize = 258;

// What handling one record leaves the loop to do: go on after a record unpacked whole,
// go on after one whose file could not be created or closed, or stop.
enum class [[nodiscard]] Next : uint8_t { kWhole, kIncomplete, kStop };

// How one record's output file ended: the data step's outcomes, then two of the file's.
enum class [[nodiscard]] Outcome : uint8_t {
  kWhole,          // created, written whole, its data checked, closed
  kUnknownMethod,  // reported; the extraction ends
  kNoMemory,       // these three: the data is damaged, cut short, its size impossible,
  kBroken,         // or it could not be checked
  kCrcMismatch,
  kWriteFailed,    // the file system did not take all of the data
  kNotCreated,     // the file could not be created (reported)
  kNotClosed,      // the close failed (reported)
};
constexpr bool SameValue(Outcome a, EntryData b) { return static_cast<int>(a) == static_cast<int>(b); }
static_assert(SameValue(Outcome::kWhole, EntryData::kWhole) &&
              SameValue(Outcome::kUnknownMethod, EntryData::kUnknownMethod) &&
              SameValue(Outcome::kNoMemory, EntryData::kNoMemory) && SameValue(Outcome::kBroken, EntryData::kBroken) &&
              SameValue(Outcome::kCrcMismatch, EntryData::kCrcMismatch) &&
              SameValue(Outcome::kWriteFailed, EntryData::kWriteFailed));

// Two paths of the same file: equal but for the case of ASCII letters.
bool SameFileName(const plat::ByteString& a, const plat::ByteString& b) {
  if (a.length != b.length) return false;
  for (uint32_t i = 0; i < a.length; ++i) {
    uint8_t x = a.data[i], y = b.data[i];
    if (x >= 'a' && x <= 'z') x = static_cast<uint8_t>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<uint8_t>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// The record's name, read into a buffer that grows for names longer than usual.
class NameBuffer {
 public:
  ~NameBuffer() { plat::Release(buffer_); }
  [[nodiscard]] bool Read(uint16_t length, plat::ByteString& name) {
    if (length > capacity_ || !buffer_) {
      plat::Release(buffer_);
      capacity_ = length > kNameBufferSize ? length : kNameBufferSize;
      buffer_ = static_cast<uint8_t*>(plat::Allocate(capacity_));
      if (!buffer_) return false;
    }
    uint32_t got = 0;
    ReadArchiveWhole(buffer_, length, &got);
    // Bytes the archive did not deliver read as zero: the name ends there.
    for (uint32_t i = got; i < length; ++i) buffer_[i] = 0;
    return BufferToString(buffer_, length, name);
  }

 private:
  uint8_t* buffer_ = nullptr;
  uint32_t capacity_ = 0;
};

// Reads the 12-byte encryption header and checks it against ArchivePassword. Without a
// password the answer is no, and the extraction ends at this entry.
bool AcceptEncryptionHeader() {
  const LocalRecordHeader& h = CurrentEntry.header;
  plat::ScopedBuffer buffer(2 * kEncryptionHeaderSize);
  if (!buffer) return false;
  uint32_t got = 0;
  ReadArchiveWhole(buffer.get(), kEncryptionHeaderSize, &got);
  if (got != kEncryptionHeaderSize) return false;
  for (int i = 0; i < kEncryptionHeaderSize; ++i) buffer.get()[kEncryptionHeaderSize + i] = buffer.get()[i];
  if (ArchivePassword.Empty()) return false;
  return CheckEncryptionHeader(buffer.get(), kEncryptionHeaderSize, h.Flags(), h.Crc32(), h.ModTime(),
                               ArchivePassword);
}

// FullPath = TempDir + name, with the directories it needs. False after the message.
bool PrepareDestination(const plat::ByteString& entryName, plat::ByteString& fullPath) {
  uint32_t length = StringLength(TempDir);
  if (length + 2 <= kTempDirSize) EnsureTrailingBackslash(TempDir);
  if (!BufferToString(reinterpret_cast<const uint8_t*>(TempDir), StringLength(TempDir), fullPath) ||
      !fullPath.AppendString(entryName))
    return false;
  if (PathExists(fullPath.data)) return true;  // turns "/" into "\" in place
  plat::ScopedByteString dirPart;
  if (!DirectoryPart(fullPath, dirPart)) return false;
  CreateDirectoryChain(dirPart);
  if (dirPart.Empty() || !PathExists(dirPart.data)) {
    plat::ShowMessageBox("", dirPart.Text(), kNoDirectoryCaption);
    return false;
  }
  return true;
}

// After a damaged entry or a failed write the files cannot be trusted: the extraction
// ends, and the outcome is cleared so that nothing is started.
Next EndUntrusted(const char* text, const plat::ByteString& fullPath) {
  plat::ShowMessageBox(text, fullPath.Text());
  ExtractedAny = false;
  InstallerPath.Release();
  InstallerWritten = false;
  return Next::kStop;
}

// Everything from the record's name to its closed output file.
Next ExtractRecord(NameBuffer& names) {
  const LocalRecordHeader& h = CurrentEntry.header;
  plat::ScopedByteString entryName;
  if (!names.Read(h.NameLength(), entryName) || entryName.Empty() || !DecodeEntryName(h.Flags(), entryName) ||
      !IsContainedName(entryName)) {
    plat::ShowMessageBox(kBadNameText, PackageCaption());
    return Next::kStop;
  }
  if ((h.Flags() & kFlagEncrypted) && !AcceptEncryptionHeader()) {
    // There is no password, so this entry and every one after it stay packed. Without a
    // setup program found before it the package has nothing usable to offer: the outcome
    // then says that nothing could be unpacked rather than ending without a word.
    if (InstallerPath.Empty()) ExtractedAny = false;
    return Next::kStop;
  }

  plat::ScopedByteString fullPath;
  if (!PrepareDestination(entryName, fullPath)) return Next::kStop;
  CurrentEntry.OutputHandle = plat::CreateOutputFile(fullPath.Text());
  // The setup program is chosen before the file is known to exist; it is started only
  // when this run wrote it whole.
  bool isInstaller = false;
  if (InstallerPath.Empty() && fullPath.Find(kInstallerMarker, sizeof kInstallerMarker - 1) >= 0) {
    isInstaller = InstallerPath.Assign(fullPath.data, fullPath.length);
    if (!isInstaller) InstallerPath.Release();
  }
  Outcome outcome = Outcome::kNotCreated;
  if (CurrentEntry.OutputHandle == plat::kInvalidFile) {
    plat::ShowMessageBox(kCreateFailedText, fullPath.Text());
    // Created files meet an impossible size in WriteEntryData; this one would make the
    // next seek land on this record again, or before it.
    if (h.CompressedSize() < 0) outcome = Outcome::kBroken;
  } else {
    ExtractedAny = true;
    outcome = static_cast<Outcome>(WriteEntryData());
    if (outcome == Outcome::kUnknownMethod) plat::ShowMessageBox(kUnknownMethodText, PackageCaption());
    (void)plat::SetDosFileTime(CurrentEntry.OutputHandle, h.ModDate(), h.ModTime());
    if (!plat::CloseFileHandle(CurrentEntry.OutputHandle)) {
      plat::ShowMessageBox(kCloseFailedText, fullPath.Text());
      if (outcome == Outcome::kWhole) outcome = Outcome::kNotClosed;
    }
    CurrentEntry.OutputHandle = plat::kInvalidFile;
  }
  if (isInstaller) InstallerWritten = outcome == Outcome::kWhole;
  // A later record of the same file (Windows names ignore case) replaces what was
  // written: the setup program is whole only if that record wrote it whole too.
  else if (InstallerWritten && outcome != Outcome::kNotCreated && SameFileName(fullPath, InstallerPath))
    InstallerWritten = outcome == Outcome::kWhole;
  switch (outcome) {
    case Outcome::kWhole:
      return Next::kWhole;
    case Outcome::kNotCreated:
    case Outcome::kNotClosed:
      return Next::kIncomplete;
    case Outcome::kNoMemory:
    case Outcome::kBroken:
    case Outcome::kCrcMismatch:
      return EndUntrusted(kDamagedText, fullPath);
    case Outcome::kWriteFailed:
      return EndUntrusted(kWriteFailedText, fullPath);
    case Outcome::kUnknownMethod:
      break;
  }
  return Next::kStop;
}

}  // namespace

void ExtractArchive() {
  InstallerWritten = false;
  ExtractedWhole = false;
  RecordsUnpacked = 0;
  SeekArchive(ArchiveOffset, plat::kFromBeginning);
  if (SeekResult == -1) {
    plat::ShowMessageBox(kSeekFailedText, PackageCaption());
    return;
  }
  NameBuffer names;
  bool whole = true;
  for (;;) {
    if (!ReadRecordHeader()) {
      ExtractedWhole = whole;
      return;
    }
    int32_t recordStart = SeekResult;
    Next step = ExtractRecord(names);
    if (step == Next::kStop) return;
    if (step == Next::kWhole) ++RecordsUnpacked;
    whole = whole && step == Next::kWhole;
    // The record's size is not negative here, so the next position lies after its name.
    const LocalRecordHeader& h = CurrentEntry.header;
    int64_t next = int64_t{recordStart} + kRecordHeaderSize + h.NameLength() + h.CompressedSize();
    if (next <= INT32_MAX) SeekArchive(static_cast<int32_t>(next), plat::kFromBeginning);
    if (next > INT32_MAX || SeekResult == -1) {
      // Without the position there is no telling where the next record starts.
      plat::ShowMessageBox(kSeekFailedText, PackageCaption());
      return;
    }
  }
}

// The create command: every input looked at and every name checked before the output is
// begun, then one record per entry.
#include "tools/sfx_pack/pack_create.h"

#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <set>

#include "archive/record.h"
#include "tools/sfx_pack/entry_names.h"
#include "tools/sfx_pack/entry_pool.h"
#include "tools/sfx_pack/pack_error.h"

namespace sfxpack {

namespace {

int64_t FileSize(const std::string& path) {
  struct stat info{};
  if (::stat(path.c_str(), &info) != 0) throw PackError(path, "cannot read: " + SystemReason());
  return info.st_size;
}

// The plain content of a ZIP entry, when it can be had without a password.
bool ZipEntryContent(ZipArchive& zip, const ZipEntry& entry, Bytes& content) {
  if ((entry.flags & kFlagEncrypted) != 0) return false;
  PackEntry packed = zip.MakePackEntry(entry);
  if (packed.method == kMethodStored) {
    content = std::move(packed.data);
    return true;
  }
  return InflateBuffer(packed.data, packed.uncompressedSize, content);
}

// A stub must be a program the package's user can start: a PE image for i386 (the
// Windows stub) or an ELF file (the Linux stub). Anything else would make a package
// that starts nothing; --force takes it all the same (tests use stand-in images).
void CheckStubIsAProgram(const std::string& stub) {
  ProgramKind kind = IdentifyProgram(ReadFileHead(stub));
  if (IsStubProgram(kind)) return;
  throw PackError(stub, "the stub is " + DescribeProgram(kind) +
                            ": create needs a Windows program for i386 (PE) or a Linux program (ELF); give "
                            "--force to use it all the same");
}

// The output must not be one of the files read: it is replaced only at the end, but a
// package made from itself, or a stub or ZIP overwritten by the package, is a mistake.
void CheckOutputIsNoInput(const CreateOptions& options) {
  for (const std::string* input : {&options.stub, &options.fromZip})
    if (!input->empty() && SameFile(*input, options.output))
      throw PackError(*input, "is also the output; give another --output");
}

}  // namespace

PackagePlan::PackagePlan(const CreateOptions& options) : options_(options) {
  CheckOutputIsNoInput(options);
  std::vector<InputFile> files = CollectInputs(options.inputs, options.output, findings_);
  PackageWriter::CheckStub(options.stub);
  if (!options.force) CheckStubIsAProgram(options.stub);
  if (options.texts.Any()) {  // refused texts stop create before anything is written
    Bytes stub = ReadFileHead(options.stub, static_cast<size_t>(FileSize(options.stub)));
    WriteTextBlock(stub, options.texts, options.stub);
  }
  if (!options.fromZip.empty()) zip_ = std::make_unique<ZipArchive>(options.fromZip);
  if (zip_) {
    for (const ZipEntry& entry : zip_->entries()) {
      if (IsDirectoryEntry(entry)) continue;
      zip_->CheckSupported(entry);
      entries_.push_back({entry.name, options.fromZip, {}, &entry, static_cast<int64_t>(entry.compressedSize)});
    }
  }
  for (const InputFile& file : files) entries_.push_back({file.name, file.path, file, nullptr, FileSize(file.path)});

  std::set<std::string> seen;
  for (const PlannedEntry& entry : entries_) {
    CheckEntryName(entry.name, entry.origin);
    if (!seen.insert(entry.name).second)
      throw PackError(entry.origin, "two inputs give the name \"" + entry.name + "\"");
  }
  MoveSetupFirst();

  // The package's size is known before compression when nothing is compressed: ZIP
  // entries are copied as they are and --store stores every file. Otherwise this is
  // the least it can be, and the writer refuses the record that crosses the limit.
  bool stored = options.level == kStoreLevel;
  int64_t least = PackageWriter::CheckStub(options.stub);
  for (const PlannedEntry& entry : entries_)
    least += kRecordHeaderSize + static_cast<int64_t>(entry.name.size()) + (entry.zip || stored ? entry.size : 0);
  if (least > options.maxPackageSize)
    throw PackError(options.output, "the package would reach 2 GiB; positions in it are signed 32-bit");

  std::vector<EntryFacts> facts;
  for (const PlannedEntry& entry : entries_) {
    bool encrypted = entry.zip && (entry.zip->flags & kFlagEncrypted) != 0;
    uint16_t method = entry.zip ? entry.zip->method : kMethodStored;
    uint16_t flags = entry.zip ? entry.zip->flags : NameFlags(entry.name);
    std::string where = "\"";
    where.append(WindowsName(entry.name, flags)).append("\"");
    facts.push_back({entry.name, where, static_cast<int>(facts.size()) + 1, encrypted, method, flags});
  }
  CheckEntries(facts, !options.setup.empty(), findings_);
  CheckSetupHeaders();
  SortFindings(findings_);
}

void PackagePlan::MoveSetupFirst() {
  if (options_.setup.empty()) return;
  const std::string& name = options_.setup;
  if (name.find(kInstallerMarker) == std::string::npos)
    throw PackError("--setup " + name, "the stub starts only a name that contains \".EXE\" in capitals; "
                                       "rename the file");
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const PlannedEntry& e) { return e.name == name; });
  if (it == entries_.end())
    throw PackError("--setup " + name, "no input gives this name (names are as 'sfx-pack list' shows them, "
                                       "with \"/\")");
  std::rotate(entries_.begin(), it, it + 1);
}

// The setup program's first bytes against the stub's: a Windows stub needs a PE image.
void PackagePlan::CheckSetupHeaders() {
  std::vector<EntryFacts> names;
  for (const PlannedEntry& entry : entries_) names.push_back({entry.name, "", 0, false, 0});
  int chosen = ChooseSetup(names);
  if (chosen < 0) return;
  const PlannedEntry& setup = entries_[chosen];
  Bytes head;
  if (setup.zip) {
    if (!ZipEntryContent(*zip_, *setup.zip, head)) return;
    head.resize(std::min(head.size(), kProgramHeadSize));
  } else {
    head = ReadFileHead(setup.file.path);
  }
  ProgramKind stub = IdentifyProgram(ReadFileHead(options_.stub));
  CheckSetupProgram("\"" + setup.name + "\"", chosen + 1, stub, IdentifyProgram(head), findings_);
}

int64_t PackagePlan::totalInput() const {
  int64_t total = 0;
  for (const PlannedEntry& entry : entries_) total += entry.size;
  return total;
}

CreateSummary WritePackage(const PackagePlan& plan, const EntryWritten& onEntry, const EntryStarting& onStart) {
  const CreateOptions& options = plan.options();
  const std::vector<PlannedEntry>& entries = plan.entries();
  PackageWriter writer(options.stub, options.output, options.maxPackageSize, [&](Bytes& stub) {
    if (options.texts.Any()) WriteTextBlock(stub, options.texts, options.stub);
  });
  // The ZIP is one open file: its entries are read one at a time.
  std::mutex zipMutex;
  EntryPool pool(entries.size(), options.jobs, [&](size_t i) {
    const PlannedEntry& entry = entries[i];
    if (!entry.zip) return MakeFileEntry(entry.file, options.level);
    std::lock_guard<std::mutex> lock(zipMutex);
    return plan.zip()->MakePackEntry(*entry.zip);
  });
  int64_t done = 0, total = plan.totalInput();
  for (const PlannedEntry& entry : entries) {
    if (onStart) onStart(entry.name, done, total);
    PackEntry packed = pool.TakeNext();
    writer.Add(packed, entry.origin);
    done += entry.size;
    if (onEntry) onEntry(packed, done, total);
  }
  writer.Commit();
  return {writer.records(), writer.stubSize(), writer.size()};
}

CreateSummary CreatePackage(const CreateOptions& options) { return WritePackage(PackagePlan(options)); }

}  // namespace sfxpack

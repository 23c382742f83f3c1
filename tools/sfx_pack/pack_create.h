// The create command: inputs and a ZIP's entries planned, checked, then written.
#pragma once

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/sfx_pack/deflate.h"
#include "tools/sfx_pack/entry_pool.h"
#include "tools/sfx_pack/file_inputs.h"
#include "tools/sfx_pack/package_checks.h"
#include "tools/sfx_pack/package_writer.h"
#include "tools/sfx_pack/stub_texts.h"
#include "tools/sfx_pack/zip_reader.h"

namespace sfxpack {

struct CreateOptions {
  std::string stub;                  // the stub's path (see ResolveStub)
  std::string output;
  std::string fromZip;               // empty: no ZIP
  int level = kDefaultLevel;         // kStoreLevel stores every file
  std::vector<std::string> inputs;   // files and directories
  std::string setup;                 // --setup: the entry to put first, or empty
  bool force = false;                // --force: take a stub that is no program
  bool strict = false;               // --strict: warnings are errors (main refuses)
  int jobs = DefaultJobs();          // threads compressing entries
  TextOptions texts;                 // the package's own caption, wait text, contact lines
  int64_t maxPackageSize = kMaxPackageSize;
};

// One entry of the package to be, in record order: a file, or an entry of the ZIP.
struct PlannedEntry {
  std::string name;
  std::string origin;              // the file or the ZIP, for messages
  InputFile file;                  // when zip is null
  const ZipEntry* zip = nullptr;
  int64_t size = 0;                // bytes read for it: the file's size or the ZIP data's
};

// Everything create decides before it writes: the entries in record order (the ZIP's
// first, then the inputs', the --setup entry moved to the front), and the findings of
// CheckEntries and of the setup program's headers, to be shown as warnings.
class PackagePlan {
 public:
  // Looks at every input and the ZIP's central directory. Throws PackError for a name
  // given twice, a --setup NAME that no input gives or that holds no ".EXE", and a
  // package that would reach the size limit even with every file stored.
  explicit PackagePlan(const CreateOptions& options);

  const CreateOptions& options() const { return options_; }
  const std::vector<PlannedEntry>& entries() const { return entries_; }
  const std::vector<Finding>& findings() const { return findings_; }
  ZipArchive* zip() const { return zip_.get(); }
  int64_t totalInput() const;

 private:
  void MoveSetupFirst();
  void CheckSetupHeaders();

  CreateOptions options_;
  std::unique_ptr<ZipArchive> zip_;
  std::vector<PlannedEntry> entries_;
  std::vector<Finding> findings_;
};

struct CreateSummary {
  int records = 0;
  int64_t archiveOffset = 0;
  int64_t packageSize = 0;
};

// Told of every entry once its record is written: the entry, its uncompressed size,
// and the input bytes done so far of all.
using EntryWritten = std::function<void(const PackEntry& entry, int64_t done, int64_t total)>;

// Told before each entry is read: its name, and the input bytes done so far of all.
using EntryStarting = std::function<void(const std::string& name, int64_t done, int64_t total)>;

// Writes the planned package. The output appears only once it is complete and checked.
// Throws PackError naming the file at fault.
CreateSummary WritePackage(const PackagePlan& plan, const EntryWritten& onEntry = {},
                           const EntryStarting& onStart = {});

// PackagePlan, then WritePackage: the findings are not shown.
CreateSummary CreatePackage(const CreateOptions& options);

}  // namespace sfxpack

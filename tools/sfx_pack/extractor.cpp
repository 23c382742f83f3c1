// Unpacking a package with the stub's own code: the marker scan, the read layer and the
// extraction loop run exactly as in the stub, with the destination set to the folder the
// user chose instead of the temporary directory, and without the wait dialog or the
// setup program's start.
#include "tools/sfx_pack/extractor.h"

#include <string.h>

#include <filesystem>
#include <system_error>

#include "archive/extract.h"
#include "archive/record.h"
#include "integrity/crc32.h"
#include "launcher/locate.h"
#include "platform/platform.h"
#include "tools/sfx_pack/pack_error.h"
#include "tools/sfx_pack/record_walker.h"

namespace sfxpack {

ExtractSummary ExtractPackage(const std::string& package, const std::string& directory) {
  // The destination ends in a separator, as the stub's own does.
  std::string destination = directory.empty() ? "." : directory;
  if (destination.back() != '/' && destination.back() != '\\') destination += '\\';
  if (plat::Utf16Units(destination.data(), static_cast<uint32_t>(destination.size())) > kTempDirCharacters)
    throw PackError(directory, "path too long: the destination holds at most " +
                                   std::to_string(kTempDirCharacters - 1) + " characters");
  ExtractSummary summary;
  {
    RecordWalker walker(package);
    while (walker.Next()) {
    }
    summary.records = walker.index();
    summary.recordsReachEnd = walker.clean();
    summary.recordsEnding = "at offset " + std::to_string(walker.end()) + " (" + walker.ending() + ")";
  }
  // The stub's directory chain takes a path of one or two characters for a drive or a
  // root that exists (its destination is always a long absolute path), so a short
  // relative DIR such as "x" is made here first, once the package is known to be one.
  std::error_code error;
  std::filesystem::create_directories(directory.empty() ? "." : directory, error);
  if (error) throw PackError(directory, "cannot create the folder: " + error.message());
  ArchiveOffset = FindArchiveStart(package.c_str());
  if (ArchiveOffset < 0) throw PackError(package, "no archive marker found (not a package?)");
  if (!AllocateCrcTable()) throw PackError(package, "out of memory");
  ArchiveHandle = plat::OpenForReading(package.c_str());
  if (ArchiveHandle == plat::kInvalidFile) throw PackError(package, SystemReason());
  memcpy(TempDir, destination.c_str(), destination.size() + 1);
  // The outcome of an earlier run in this process must not count for this one.
  ExtractedAny = false;
  InstallerPath.Release();
  ExtractArchive();
  (void)plat::CloseFileHandle(ArchiveHandle);
  ArchiveHandle = plat::kInvalidFile;
  summary.extractedAny = ExtractedAny;
  summary.installer = InstallerPath.Text();
  summary.installerWritten = InstallerWritten;
  summary.extractedWhole = ExtractedWhole;
  summary.entries = static_cast<int>(RecordsUnpacked);
  return summary;
}

}  // namespace sfxpack

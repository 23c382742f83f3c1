// The create command: check every input, then write the records and commit the package.
#include "tools/sfx_pack/pack_create.h"

#include <memory>

#include "tools/sfx_pack/file_inputs.h"
#include "tools/sfx_pack/package_writer.h"
#include "tools/sfx_pack/zip_reader.h"

namespace sfxpack {

CreateSummary CreatePackage(const CreateOptions& options) {
  std::vector<InputFile> files = CollectInputs(options.inputs);
  std::unique_ptr<ZipArchive> zip;
  if (!options.fromZip.empty()) zip = std::make_unique<ZipArchive>(options.fromZip);

  PackageWriter writer(options.stub, options.output);
  if (zip) {
    for (const ZipEntry& entry : zip->entries())
      if (!IsDirectoryEntry(entry)) writer.Add(zip->MakePackEntry(entry), options.fromZip);
  }
  for (const InputFile& file : files) writer.Add(MakeFileEntry(file, options.level), file.path);
  writer.Commit();
  return {writer.records(), writer.stubSize()};
}

}  // namespace sfxpack

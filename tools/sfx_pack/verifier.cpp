// The verify command. Each record's data goes through the extraction loop's own data step
// (WriteEntryData: the stored copy or the decoder, then the CRC-32 check). The output is
// /dev/null, so nothing is written; only the setup program goes to a temporary file,
// whose first bytes tell whether Windows can start it.
#include "tools/sfx_pack/verifier.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>

#include "archive/record.h"
#include "archive/entry_data.h"
#include "integrity/crc32.h"
#include "platform/platform.h"
#include "tools/sfx_pack/lister.h"
#include "tools/sfx_pack/pack_error.h"
#include "tools/sfx_pack/record_walker.h"
#include "tools/sfx_pack/stub_texts.h"

namespace sfxpack {

namespace {

constexpr char kNullDevice[] = "/dev/null";

// A temporary file for the setup program's data, removed when it goes out of scope.
class ScratchFile {
 public:
  ScratchFile() {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir && *dir ? dir : "/tmp") + "/sfx-pack-verify-XXXXXX";
    int fd = ::mkstemp(path_.data());
    if (fd < 0) throw PackError(path_, "cannot create a temporary file: " + SystemReason());
    ::close(fd);
  }
  ~ScratchFile() { ::unlink(path_.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string Hex8(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

// The name the stub uses: the bytes read, cut before the first zero byte.
std::string StubName(const std::vector<uint8_t>& bytes) {
  std::string name(bytes.begin(), bytes.end());
  return name.substr(0, name.find('\0'));
}

// Runs the stub's data routine for the current record into `sink`. Returns false with a
// finding when the data is damaged.
bool CheckEntryData(const LocalRecordHeader& h, const std::string& where, int record, const std::string& sink,
                    std::vector<Finding>& findings) {
  CurrentEntry.OutputHandle = plat::CreateOutputFile(sink.c_str());
  if (CurrentEntry.OutputHandle == plat::kInvalidFile) throw PackError(sink, "cannot open for writing");
  EntryData result = WriteEntryData();
  (void)plat::CloseFileHandle(CurrentEntry.OutputHandle);
  CurrentEntry.OutputHandle = plat::kInvalidFile;
  if (result == EntryData::kNoMemory) throw PackError(where, "out of memory while decoding");
  if (result == EntryData::kWriteFailed) throw PackError(sink, "cannot write the setup program's data: " + SystemReason());
  const std::string stops = ": the stub shows it, stops here and starts nothing";
  if (result == EntryData::kBroken) {
    const char* what = h.Method() == kMethodStored ? "the data is cut short by the end of the file"
                                                   : "the deflate stream is damaged";
    findings.push_back({Severity::kFault, where, what + stops, "#SFXCRC#", record});
    return false;
  }
  uint32_t crc = ~CurrentEntry.RunningCrc;
  if (crc == h.Crc32()) return true;
  std::string mismatch = "the data does not match its CRC-32 (the record says " + Hex8(h.Crc32()) +
                         ", the data gives " + Hex8(crc) + ")";
  if ((h.Flags() & kFlagCheckByteFromTime) == 0)
    findings.push_back({Severity::kFault, where, mismatch + stops, "#SFXCRC#", record});
  else
    findings.push_back({Severity::kFault, where,
                        mismatch + "; the stub does not compare it for this entry (flag bit 3) and would "
                                   "install the damaged file",
                        "", record});
  return false;
}

// A record's line for --verbose.
std::string RecordLine(const std::string& where, const LocalRecordHeader& h, const std::string& status) {
  std::string method = h.Method() == kMethodStored ? "stored" : h.Method() == kMethodDeflate ? "deflate"
                                                                 : "method " + std::to_string(h.Method());
  return where + ": " + method + ", " + std::to_string(h.CompressedSize()) + " bytes, CRC-32 " +
         Hex8(h.Crc32()) + ": " + status;
}

}  // namespace

int VerifyReport::Count(Severity severity) const {
  int n = 0;
  for (const Finding& f : findings) n += f.severity == severity;
  return n;
}

VerifyReport VerifyPackage(const std::string& path, const ProgressCallback& progress) {
  if (!AllocateCrcTable()) throw PackError(path, "out of memory");
  RecordWalker walker(path);
  VerifyReport report;
  report.archiveOffset = walker.archiveOffset();
  report.fileSize = walker.fileSize();
  ProgramKind stub = IdentifyProgram(walker.head());
  report.stub = DescribeProgram(stub);
  if (!IsStubProgram(stub))
    report.findings.push_back({Severity::kFault, "",
                               "the stub is " + report.stub +
                                   ": neither a Windows program for i386 (PE) nor a Linux program (ELF), so the "
                                   "package cannot be started",
                               "", 0});

  std::vector<std::string> problems;
  if (std::optional<StubTexts> texts = ReadStubTexts(path, walker.archiveOffset(), problems))
    report.textLines = DescribeTexts(*texts);
  for (const std::string& problem : problems)
    report.findings.push_back({Severity::kFault, "", "the stub's text block is damaged: " + problem, "", 0});

  std::vector<EntryFacts> entries;
  std::vector<Finding> dataFindings;
  ScratchFile setupData;
  bool damagedRecord = false;
  while (walker.Next()) {
    const LocalRecordHeader& h = walker.header();
    EntryFacts facts;
    facts.name = StubName(walker.name());
    facts.flags = h.Flags();
    facts.where = "record " + std::to_string(walker.index()) + " at offset " + std::to_string(walker.offset()) +
                  ", \"" + PrintableName(ShownName(walker.name(), h.Flags())) + "\"";
    facts.record = walker.index();
    facts.encrypted = (h.Flags() & kFlagEncrypted) != 0;
    facts.method = h.Method();
    if (facts.name.size() < walker.name().size())
      dataFindings.push_back({Severity::kWarning, facts.where,
                              "the name holds a zero byte: the stub uses only the bytes before it, \"" +
                                  PrintableName(std::vector<uint8_t>(facts.name.begin(), facts.name.end())) + "\"",
                              "", facts.record});
    bool isSetup = ChooseSetup(entries) < 0 && facts.name.find(kInstallerMarker) != std::string::npos;
    std::string status = "ok";
    if (progress) progress(walker.offset() - walker.archiveOffset(), walker.fileSize() - walker.archiveOffset());
    bool decodable = !facts.encrypted && (h.Method() == kMethodStored || h.Method() == kMethodDeflate);
    if (walker.lastOne()) {
      // The stub takes a size of 2 GiB or more for damage at once; other damage it
      // meets as data that runs out, which the decoding below shows as the stub sees it.
      damagedRecord = true;
      status = "damaged";
      dataFindings.push_back({Severity::kFault, facts.where,
                              walker.damage() + ": the package is cut short or damaged, and the stub cannot "
                                                "unpack this entry whole",
                              h.CompressedSize() < 0 ? "#SFXCRC#" : "", facts.record});
      if (decodable && h.CompressedSize() >= 0)
        (void)CheckEntryData(h, facts.where, facts.record, kNullDevice, dataFindings);
    } else if (!decodable) {
      status = "not decoded (see below)";
    } else if (!CheckEntryData(h, facts.where, facts.record, isSetup ? setupData.path() : kNullDevice, dataFindings)) {
      status = "damaged";
    } else if (isSetup) {
      ProgramKind setup = IdentifyProgram(ReadFileHead(setupData.path()));
      report.setupKind = DescribeProgram(setup);
      CheckSetupProgram(facts.where, facts.record, stub, setup, dataFindings);
    }
    if (status == "ok" && decodable && (h.Flags() & kFlagCheckByteFromTime) != 0)
      dataFindings.push_back({Severity::kWarning, facts.where,
                              "the stub does not compare this entry's CRC-32 (flag bit 3): a file damaged on "
                              "the way would be installed without a message; sfx-pack create writes every "
                              "record with the bit cleared",
                              "", facts.record});
    if (isSetup) report.setup = PrintableName(ShownName(walker.name(), h.Flags()));
    report.recordLines.push_back(RecordLine(facts.where, h, status));
    entries.push_back(std::move(facts));
  }
  report.records = walker.index();
  report.signatureSize = walker.signatureSize();

  CheckEntries(entries, false, report.findings);
  report.findings.insert(report.findings.end(), dataFindings.begin(), dataFindings.end());
  if (!walker.clean() && !damagedRecord) {
    report.findings.push_back(
        {Severity::kFault, "",
         "the records end at offset " + std::to_string(walker.end()) + " (" + walker.ending() + "), " +
             std::to_string(walker.fileSize() - walker.end()) +
             " bytes before the end of the file: a damaged record header, or data added after the "
             "package; the stub unpacks nothing from there",
         "", 0});
  }
  SortFindings(report.findings);
  return report;
}

}  // namespace sfxpack

// sfx-pack: makes packages (a stub followed by its archive), checks, lists and unpacks them.
#include <exception>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "tools/sfx_pack/extractor.h"
#include "tools/sfx_pack/help_text.h"
#include "tools/sfx_pack/lister.h"
#include "tools/sfx_pack/pack_create.h"
#include "tools/sfx_pack/pack_error.h"
#include "tools/sfx_pack/progress.h"
#include "tools/sfx_pack/stub_locator.h"
#include "tools/sfx_pack/verifier.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // an input, the output or the package is at fault
constexpr int kExitUsage = 2;   // the command line is at fault

// A mistake on the command line; the message goes with a pointer to the help.
struct UsageError {
  std::string message;
  std::string command;
};

// The options every command takes, and the command's own arguments.
struct Invocation {
  bool quiet = false;
  bool verbose = false;
  bool help = false;
  std::string command;
  std::vector<std::string> args;
};

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

// Takes the options of every command out of the arguments, wherever they stand before a
// "--"; the first other word is the command.
Invocation ParseInvocation(const std::vector<std::string>& all) {
  Invocation call;
  bool optionsEnded = false;
  for (const std::string& arg : all) {
    if (optionsEnded) {
      call.args.push_back(arg);
      continue;
    }
    if (arg == "-q" || arg == "--quiet") call.quiet = true;
    else if (arg == "-v" || arg == "--verbose") call.verbose = true;
    else if (IsHelp(arg)) call.help = true;
    else if (call.command.empty() && arg == "--version") call.command = arg;
    else if (call.command.empty()) call.command = arg;
    else {
      optionsEnded = arg == "--";
      call.args.push_back(arg);
    }
  }
  if (call.quiet && call.verbose) throw UsageError{"--quiet and --verbose cannot be combined", ""};
  return call;
}

// "--name VALUE" or "--name=VALUE": true when `args[i]` is the option, with the value
// in `value` and `i` moved past it.
bool TakeOption(const std::vector<std::string>& args, size_t& i, const std::string& name, std::string& value,
                const std::string& command) {
  const std::string& arg = args[i];
  if (arg.compare(0, name.size(), name) != 0) return false;
  if (arg.size() == name.size()) {
    if (i + 1 >= args.size()) throw UsageError{name + " needs a value", command};
    value = args[++i];
    return true;
  }
  if (arg[name.size()] != '=') return false;
  value = arg.substr(name.size() + 1);
  return true;
}

int ParseJobs(const std::string& text) {
  bool digits = !text.empty() && text.size() <= 3 && text.find_first_not_of("0123456789") == std::string::npos;
  int jobs = digits ? std::stoi(text) : 0;
  if (jobs < 1 || jobs > sfxpack::kMaxJobs)
    throw UsageError{"--jobs must be a number from 1 to " + std::to_string(sfxpack::kMaxJobs) + ", not '" + text + "'",
                     "create"};
  return jobs;
}

int ParseLevel(const std::string& text) {
  bool digits = !text.empty() && text.size() <= 2 && text.find_first_not_of("0123456789") == std::string::npos;
  int level = digits ? std::stoi(text) : -1;
  if (level < sfxpack::kStoreLevel || level > sfxpack::kMaxLevel)
    throw UsageError{"--level must be a number from 0 to 12, not '" + text + "'", "create"};
  return level;
}

// --contact-email, --contact-web and the others: true when `args[i]` is one of them.
bool TakeContactOption(const std::vector<std::string>& args, size_t& i, sfxpack::TextOptions& texts) {
  std::string value;
  for (int c = 0; c < kContactCount; ++c) {
    // "--contact-web" is a prefix of "--contact-web2": the option must end at the name or "=".
    const std::string name = sfxpack::ContactOption(c);
    const std::string& arg = args[i];
    if (arg != name && arg.rfind(name + "=", 0) != 0) continue;
    TakeOption(args, i, name, value, "create");
    texts.contacts[c] = value;
    return true;
  }
  return false;
}

// Only the arguments before "--" are options; a lone "-" or any word is an operand.
bool IsOperand(const std::string& arg, bool optionsEnded) {
  return optionsEnded || arg.empty() || arg[0] != '-' || arg == "-";
}

sfxpack::CreateOptions ParseCreate(const std::vector<std::string>& args, std::string& stubChoice) {
  sfxpack::CreateOptions options;
  bool store = false, level = false, optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (IsOperand(arg, optionsEnded)) {
      options.inputs.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (TakeOption(args, i, "--stub", value, "create")) {
      if (value.empty()) throw UsageError{"--stub needs a value", "create"};
      stubChoice = value;
    } else if (TakeOption(args, i, "--output", value, "create")) {
      options.output = value;
    } else if (TakeOption(args, i, "--setup", value, "create")) {
      options.setup = value;
    } else if (TakeOption(args, i, "--from-zip", value, "create")) {
      if (!options.fromZip.empty()) throw UsageError{"--from-zip can be given once", "create"};
      options.fromZip = value;
    } else if (TakeOption(args, i, "--level", value, "create")) {
      options.level = ParseLevel(value);
      level = true;
    } else if (arg == "--store") {
      options.level = sfxpack::kStoreLevel;
      store = true;
    } else if (TakeOption(args, i, "--jobs", value, "create")) {
      options.jobs = ParseJobs(value);
    } else if (TakeOption(args, i, "--title", value, "create")) {
      options.texts.title = value;
    } else if (TakeOption(args, i, "--wait-text", value, "create")) {
      options.texts.waitText = value;
    } else if (TakeContactOption(args, i, options.texts)) {
    } else if (arg == "--force") {
      options.force = true;
    } else if (arg == "--strict") {
      options.strict = true;
    } else {
      throw UsageError{"unknown option '" + arg + "'", "create"};
    }
  }
  if (store && level) throw UsageError{"--store and --level cannot be combined", "create"};
  if (options.output.empty()) throw UsageError{"--output OUT is required", "create"};
  if (options.inputs.empty() && options.fromZip.empty())
    throw UsageError{"nothing to pack: give INPUT files or --from-zip ZIP", "create"};
  return options;
}

std::string Plural(long long n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// Create writes the package all the same after warnings; with --strict they are errors
// and nothing is written.
void PrintWarnings(const std::vector<sfxpack::Finding>& findings, bool strict) {
  for (sfxpack::Finding finding : findings) {
    finding.severity = strict ? sfxpack::Severity::kFault : sfxpack::Severity::kWarning;
    std::cerr << "sfx-pack: " << sfxpack::FormatFinding(finding) << "\n";
  }
}

int RunCreate(const Invocation& call) {
  std::string stubChoice;
  sfxpack::CreateOptions options = ParseCreate(call.args, stubChoice);
  options.stub = sfxpack::ResolveStub(stubChoice);
  if (call.verbose) std::cout << "stub: " << options.stub << "\n";
  sfxpack::PackagePlan plan(options);
  PrintWarnings(plan.findings(), options.strict);
  if (options.strict && !plan.findings().empty())
    throw sfxpack::PackError(options.output, Plural(static_cast<long long>(plan.findings().size()), "problem") +
                                                 " above; nothing written (--strict)");

  sfxpack::ProgressBar progress(stderr, !call.quiet && sfxpack::ProgressBar::IsTerminal(stderr));
  sfxpack::CreateSummary summary = sfxpack::WritePackage(
      plan, [&](const sfxpack::PackEntry& entry, int64_t done, int64_t total) {
        progress.Update(done, total, entry.name);
        if (!call.verbose) return;
        progress.Finish();
        std::cout << "added " << entry.name << ": "
                  << (entry.method == kMethodDeflate ? "deflate " : "stored ") << entry.uncompressedSize
                  << " -> " << entry.data.size() << " bytes\n";
      },
      [&](const std::string& name, int64_t done, int64_t total) { progress.Update(done, total, name); });
  progress.Finish();
  if (!call.quiet) {
    std::cout << "sfx-pack: wrote " << options.output << ": " << Plural(summary.records, "record") << ", "
              << Plural(summary.packageSize, "byte") << ", archive at offset " << summary.archiveOffset << "\n";
  }
  return kExitOk;
}

// The operands of a command whose only options are flags: `flag` is set when the one
// flag it takes (if any) is given; any other option is refused.
std::vector<std::string> Operands(const Invocation& call, const std::string& flagName, bool* flag) {
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (const std::string& arg : call.args) {
    if (IsOperand(arg, optionsEnded)) operands.push_back(arg);
    else if (arg == "--") optionsEnded = true;
    else if (flag != nullptr && arg == flagName) *flag = true;
    else throw UsageError{"unknown option '" + arg + "'", call.command};
  }
  return operands;
}

int RunList(const Invocation& call) {
  bool json = false;
  std::vector<std::string> operands = Operands(call, "--json", &json);
  if (operands.size() != 1) throw UsageError{"list takes exactly one PACKAGE", "list"};
  sfxpack::ListEnd end =
      json ? sfxpack::ListPackageJson(operands[0], std::cout) : sfxpack::ListPackage(operands[0], std::cout);
  if (end.clean) return kExitOk;
  std::cout.flush();
  std::cerr << "sfx-pack: " << operands[0] << ": "
            << (end.cutShort ? "the file is cut short: it ends inside a record (an incomplete download or copy?)"
                             : "the records end before the end of the file")
            << "\n";
  return kExitFailed;
}

int RunVerify(const Invocation& call) {
  std::vector<std::string> operands = Operands(call, "", nullptr);
  if (operands.size() != 1) throw UsageError{"verify takes exactly one PACKAGE", "verify"};
  const std::string& path = operands[0];
  sfxpack::ProgressBar progress(stderr, !call.quiet && sfxpack::ProgressBar::IsTerminal(stderr));
  sfxpack::VerifyReport report =
      sfxpack::VerifyPackage(path, [&](int64_t done, int64_t total) { progress.Update(done, total, path); });
  progress.Finish();
  if (call.verbose)
    for (const std::string& line : report.recordLines) std::cout << line << "\n";
  for (const sfxpack::Finding& finding : report.findings) std::cout << sfxpack::FormatFinding(finding) << "\n";
  int faults = report.Count(sfxpack::Severity::kFault);
  int warnings = report.Count(sfxpack::Severity::kWarning);
  if (!call.quiet) {
    for (const std::string& line : report.textLines) std::cout << line << "\n";
    std::cout << path << ": " << Plural(report.records, "record") << " from offset " << report.archiveOffset
              << ", stub " << report.stub << ", setup program "
              << (report.setup.empty() ? "none" : report.setup + (report.setupKind.empty() ? "" : " (" + report.setupKind + ")"));
    if (report.signatureSize > 0) std::cout << ", signed";
    std::cout << ": " << (faults ? Plural(faults, "error") : "OK") << (warnings ? ", " + Plural(warnings, "warning") : "")
              << "\n";
  }
  if (faults == 0) return kExitOk;
  std::cout.flush();
  std::cerr << "sfx-pack: " << path << ": " << Plural(faults, "error")
            << ": the stub would not unpack this package whole or would start nothing usable\n";
  return kExitFailed;
}

// A path of this machine as the user writes it: the stub's "\\" separators as "/".
std::string LocalPath(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

// "extract DIR PACKAGE" is a likely slip: say which argument is wrong.
void CheckExtractOrder(const std::string& package, const std::string& directory) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::is_directory(package, error))
    throw UsageError{"'" + package + "' is a folder: the PACKAGE comes first, then the DIR to unpack into" +
                         (fs::is_regular_file(directory, error) ? " (are the two swapped?)" : ""),
                     "extract"};
  if (fs::exists(directory, error) && !fs::is_directory(directory, error))
    throw UsageError{"'" + directory + "' is not a folder: give the DIR to unpack into after the PACKAGE", "extract"};
}

int RunExtract(const Invocation& call) {
  std::vector<std::string> operands = Operands(call, "", nullptr);
  if (operands.size() != 2) throw UsageError{"extract takes PACKAGE and DIR", "extract"};
  const std::string& package = operands[0];
  CheckExtractOrder(package, operands[1]);
  sfxpack::ExtractSummary summary = sfxpack::ExtractPackage(package, operands[1]);
  bool whole = summary.extractedWhole && summary.extractedAny && summary.entries == summary.records &&
               summary.recordsReachEnd;
  if (whole) {
    if (!call.quiet) {
      std::cout << "sfx-pack: extracted " << package << " into " << operands[1] << "\n";
      if (!summary.installer.empty())
        std::cout << "setup program: " << LocalPath(summary.installer) << "\n";
      else
        std::cout << "setup program: none (no path contains \".EXE\")\n";
    }
    return kExitOk;
  }
  std::cout.flush();
  std::string why = !summary.extractedAny ? "the stub would have unpacked nothing"
                    : summary.entries < summary.records
                        ? "the extraction ended early: " + std::to_string(summary.entries) + " of " +
                              Plural(summary.records, "record") + " unpacked into " + operands[1]
                    : !summary.recordsReachEnd
                        ? "the extraction ended early: the records end " + summary.recordsEnding +
                              ", before the end of the file"
                        : "the stub would have reported problems";
  if (!summary.installer.empty() && !summary.installerWritten)
    why += "; the setup program " + LocalPath(summary.installer) + " was not written whole, so the stub would start nothing";
  std::cerr << "sfx-pack: " << package << ": " << why << "\n";
  return kExitFailed;
}

int Run(const std::vector<std::string>& args) {
  Invocation call = ParseInvocation(args);
  if (call.command == "help") {  // "sfx-pack help COMMAND" is "sfx-pack COMMAND --help"
    call.command = call.args.empty() ? "" : call.args[0];
    call.help = true;
  }
  if (call.command == "--version") {
    std::cout << "sfx-pack " << SFX_PACK_VERSION << "\n";
    return kExitOk;
  }
  const sfxpack::CommandHelp* help = call.command.empty() ? &sfxpack::ToolHelp()
                                                          : sfxpack::FindCommandHelp(call.command);
  if (help == nullptr) throw UsageError{"unknown command '" + call.command + "'", ""};
  if (call.help) {
    std::cout << sfxpack::RenderHelp(*help);
    return kExitOk;
  }
  if (call.command.empty()) throw UsageError{"no command given", ""};
  if (call.command == "create") return RunCreate(call);
  if (call.command == "list") return RunList(call);
  if (call.command == "verify") return RunVerify(call);
  return RunExtract(call);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return Run(args);
  } catch (const UsageError& e) {
    std::string help = e.command.empty() ? "sfx-pack --help" : "sfx-pack " + e.command + " --help";
    std::cerr << "sfx-pack: " << e.message << " (see '" << help << "')\n";
    return kExitUsage;
  } catch (const sfxpack::PackError& e) {
    std::cerr << "sfx-pack: " << e.what() << "\n";
  } catch (const std::bad_alloc&) {
    std::cerr << "sfx-pack: out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << "sfx-pack: " << e.what() << "\n";
  }
  return kExitFailed;
}

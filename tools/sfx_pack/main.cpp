// sfx-pack: makes packages (a stub followed by its archive) and lists what they hold.
#include <exception>
#include <new>
#include <iostream>
#include <string>
#include <vector>

#include "tools/sfx_pack/extractor.h"
#include "tools/sfx_pack/lister.h"
#include "tools/sfx_pack/pack_create.h"
#include "tools/sfx_pack/pack_error.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // an input, the output or the package is at fault
constexpr int kExitUsage = 2;   // the command line is at fault

const char kToolHelp[] =
    "Usage: sfx-pack COMMAND [ARGS]\n"
    "Makes self-extracting packages: a stub program followed by its archive.\n"
    "\n"
    "Commands:\n"
    "  create   write a package from files, directories or a ZIP file\n"
    "  list     list the records of a package\n"
    "  extract  unpack a package into a folder with the stub's own code\n"
    "\n"
    "Options:\n"
    "  --help     show this text ('sfx-pack COMMAND --help' for a command)\n"
    "  --version  show the version\n";

const char kCreateHelp[] =
    "Usage: sfx-pack create --stub STUB --output OUT [--store | --level N]\n"
    "                       [--from-zip ZIP] [INPUT...]\n"
    "Writes OUT: the bytes of STUB followed by one record per file.\n"
    "\n"
    "  --stub STUB      the stub program; refused when it already holds an archive\n"
    "  --output OUT     the package to write; it appears only once complete\n"
    "  --store          store the files without compression\n"
    "  --level N        deflate level 1 (fastest) to 12 (smallest, the default);\n"
    "                   0 is the same as --store. A file that deflate does not\n"
    "                   shrink is stored.\n"
    "  --from-zip ZIP   copy the entries of an ordinary ZIP file as they are\n"
    "                   (stored, deflate, traditional encryption); they come first,\n"
    "                   before any INPUT. Directory entries are dropped; ZIP64 and\n"
    "                   other methods are refused.\n"
    "\n"
    "Names: a file is stored under its file name; a directory contributes every file\n"
    "below it under its own name (data/a.txt); a directory given as \".\" contributes\n"
    "its files at the top level. Separators are \"/\". Empty directories are left out.\n"
    "Times are the files' modification times in local time, as DOS date and time.\n";

const char kListHelp[] =
    "Usage: sfx-pack list PACKAGE\n"
    "Prints the archive's offset, one line per record (offset, method, flags,\n"
    "compressed and uncompressed size, CRC-32, date and time, name) and where the\n"
    "record sequence ended. Exit status 1 when it ends before the end of the file.\n";

const char kExtractHelp[] =
    "Usage: sfx-pack extract PACKAGE DIR\n"
    "Unpacks PACKAGE into DIR exactly as the stub would unpack it into its folder\n"
    "under the temporary directory, with the stub's own code, and starts nothing.\n"
    "DIR is created as needed. Messages the stub would show are written to standard\n"
    "error. Prints the setup program the stub would start. Exit status 1 when the\n"
    "stub would have shown any message or unpacked nothing.\n"
    "\n"
    "Example: sfx-pack extract build/hello.exe /tmp/check\n";

// A mistake on the command line; the message goes with a pointer to the help.
struct UsageError {
  std::string message;
  std::string command;
};

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

// "--name VALUE" or "--name=VALUE": true when `args[i]` is the option, with the value
// in `value` and `i` moved past it.
bool TakeOption(const std::vector<std::string>& args, size_t& i, const std::string& name,
                std::string& value) {
  const std::string& arg = args[i];
  if (arg.compare(0, name.size(), name) != 0) return false;
  if (arg.size() == name.size()) {
    if (i + 1 >= args.size()) throw UsageError{name + " needs a value", "create"};
    value = args[++i];
    return true;
  }
  if (arg[name.size()] != '=') return false;
  value = arg.substr(name.size() + 1);
  return true;
}

int ParseLevel(const std::string& text) {
  bool digits = !text.empty() && text.size() <= 2 &&
                text.find_first_not_of("0123456789") == std::string::npos;
  int level = digits ? std::stoi(text) : -1;
  if (level < sfxpack::kStoreLevel || level > sfxpack::kMaxLevel)
    throw UsageError{"--level must be a number from 0 to 12, not '" + text + "'", "create"};
  return level;
}

sfxpack::CreateOptions ParseCreate(const std::vector<std::string>& args) {
  sfxpack::CreateOptions options;
  bool store = false, level = false, optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      options.inputs.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (TakeOption(args, i, "--stub", value)) {
      options.stub = value;
    } else if (TakeOption(args, i, "--output", value)) {
      options.output = value;
    } else if (TakeOption(args, i, "--from-zip", value)) {
      if (!options.fromZip.empty()) throw UsageError{"--from-zip can be given once", "create"};
      options.fromZip = value;
    } else if (TakeOption(args, i, "--level", value)) {
      options.level = ParseLevel(value);
      level = true;
    } else if (arg == "--store") {
      options.level = sfxpack::kStoreLevel;
      store = true;
    } else {
      throw UsageError{"unknown option '" + arg + "'", "create"};
    }
  }
  if (store && level) throw UsageError{"--store and --level cannot be combined", "create"};
  if (options.stub.empty()) throw UsageError{"--stub STUB is required", "create"};
  if (options.output.empty()) throw UsageError{"--output OUT is required", "create"};
  if (options.inputs.empty() && options.fromZip.empty())
    throw UsageError{"nothing to pack: give INPUT files or --from-zip ZIP", "create"};
  return options;
}

int RunCreate(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (IsHelp(arg)) {
      std::cout << kCreateHelp;
      return kExitOk;
    }
  }
  sfxpack::CreateOptions options = ParseCreate(args);
  sfxpack::CreateSummary summary = sfxpack::CreatePackage(options);
  std::cout << "sfx-pack: wrote " << options.output << ": " << summary.records
            << (summary.records == 1 ? " record" : " records") << ", archive at offset "
            << summary.archiveOffset << "\n";
  return kExitOk;
}

int RunList(const std::vector<std::string>& args) {
  if (!args.empty() && IsHelp(args[0])) {
    std::cout << kListHelp;
    return kExitOk;
  }
  if (args.size() != 1) throw UsageError{"list takes exactly one PACKAGE", "list"};
  if (sfxpack::ListPackage(args[0], std::cout)) return kExitOk;
  std::cout.flush();
  std::cerr << "sfx-pack: " << args[0] << ": the records end before the end of the file\n";
  return kExitFailed;
}

int RunExtract(const std::vector<std::string>& args) {
  if (!args.empty() && IsHelp(args[0])) {
    std::cout << kExtractHelp;
    return kExitOk;
  }
  if (args.size() != 2) throw UsageError{"extract takes PACKAGE and DIR", "extract"};
  sfxpack::ExtractSummary summary = sfxpack::ExtractPackage(args[0], args[1]);
  std::cout << "sfx-pack: extracted " << args[0] << " into " << args[1] << "\n";
  if (!summary.installer.empty())
    std::cout << "setup program: " << summary.installer << "\n";
  else if (summary.extractedAny)
    std::cout << "setup program: none (no path contains \".EXE\")\n";
  if (summary.messages == 0 && summary.extractedAny) return kExitOk;
  std::cout.flush();
  std::cerr << "sfx-pack: " << args[0] << ": "
            << (summary.extractedAny ? "the stub would have reported problems (see above)"
                                     : "the stub would have unpacked nothing")
            << "\n";
  return kExitFailed;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError{"no command given", ""};
  const std::string& command = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (IsHelp(command)) {
    std::cout << kToolHelp;
    return kExitOk;
  }
  if (command == "--version") {
    std::cout << "sfx-pack " << SFX_PACK_VERSION << "\n";
    return kExitOk;
  }
  if (command == "create") return RunCreate(rest);
  if (command == "list") return RunList(rest);
  if (command == "extract") return RunExtract(rest);
  throw UsageError{"unknown command '" + command + "'", ""};
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

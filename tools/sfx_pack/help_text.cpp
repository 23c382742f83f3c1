// The help of sfx-pack and its two renderings: terminal text and man(7) markup.
//
// Every text here is written once. Descriptions are wrapped for an 80-column terminal;
// the man page lets troff fill them again, so a line break inside a paragraph means
// nothing there. Text lines that start with "." or "'" and every backslash and hyphen
// are escaped for troff.
#include "tools/sfx_pack/help_text.h"

#include <sstream>

namespace sfxpack {

namespace {

const CommandHelp kTool = {
    "",
    "make, check and list self-extracting installation packages",
    "sfx-pack [--quiet | --verbose] COMMAND [ARGS]\n"
    "sfx-pack --help | --version | COMMAND --help",
    "A package is one Windows program: the stub sfx-stub.exe followed by an archive of\n"
    "an installation's files. Started by a user, it unpacks the files into _I_ under the\n"
    "user's temporary folder and starts the first file whose path contains \".EXE\" (in\n"
    "capitals), the setup program.\n"
    "\n"
    "Exit status: 0 when the command did its work, 1 when an input, the output or the\n"
    "package is at fault (the message names the file and the reason), 2 when the\n"
    "command line is at fault.",
    {
        {"-q, --quiet", "print only warnings and errors; no summary, no progress bar"},
        {"-v, --verbose", "tell every step: each entry added, each record checked"},
        {"-h, --help", "show this text; 'sfx-pack COMMAND --help' shows a command's"},
        {"--version", "show the version"},
    },
    {
        {"sfx-pack create --output app-setup.exe SETUP.EXE data",
         "package SETUP.EXE and the folder data with the installed Windows stub"},
        {"sfx-pack verify app-setup.exe", "check the package before shipping it"},
        {"sfx-pack list app-setup.exe", "show what the package holds"},
        {"sfx-pack extract app-setup.exe /tmp/check", "unpack it as the stub would"},
    },
};

const std::vector<CommandHelp> kCommands = {
    {
        "create",
        "write a package from files, directories or a ZIP file",
        "sfx-pack create --output OUT [--stub windows|linux|STUB] [--setup NAME]\n"
        "                [--store | --level N] [--jobs N] [--from-zip ZIP] [--strict]\n"
        "                [--force] [--title TEXT] [--wait-text TEXT] [--contact-* TEXT]\n"
        "                [INPUT...]",
        "Writes OUT: the bytes of the stub followed by one record per file. OUT appears only\n"
        "once it is complete: the package is written to a temporary file beside it and\n"
        "renamed at the end, and removed on any failure.\n"
        "\n"
        "Names: a file is stored under its file name; a directory contributes every file\n"
        "below it under its own name (data/a.txt); a directory given as \".\" contributes\n"
        "its files at the top level. Separators are \"/\". Empty directories are left out.\n"
        "Names outside ASCII are written in UTF-8 with the ZIP flag bit 11, which makes\n"
        "every Windows machine create exactly that name; ASCII names go without the flag.\n"
        "Times are the files' modification times in local time, as DOS date and time.\n"
        "\n"
        "The stub starts the first entry whose path contains \".EXE\" in capitals; a\n"
        "lowercase setup.exe does not count. Before writing, create warns when no name\n"
        "contains \".EXE\", when the program it would start is probably not the one meant\n"
        "(other programs beside it, or \".EXE\" only in a folder's name), when the setup\n"
        "program is no Windows program, when a name would be refused by the stub, could\n"
        "not be created by Windows or is too long for a typical temporary folder\n"
        "(C:\\Users\\<20 letters>\\AppData\\Local\\Temp\\_I_\\ plus the name must stay within\n"
        "259 characters), when two names differ only in case, when a name without the\n"
        "UTF-8 flag reads differently on common Windows code pages (a file name that is\n"
        "not UTF-8, a ZIP entry whose writer did not set the flag), about encrypted ZIP\n"
        "entries (the stub has no password and stops there), and about symbolic links whose\n"
        "target does not exist, which it skips. Warnings do not stop create unless --strict\n"
        "is given; verify fails a package that the stub would not unpack whole. Two inputs\n"
        "that give the same name, an output that is also an input, a stub that is no\n"
        "program, and a package of 2 GiB or more, are refused. The output is left out of a\n"
        "folder that holds it, so running create twice does not pack the first package.\n"
        "Ctrl-C, SIGTERM and SIGHUP remove the unfinished package.\n"
        "\n"
        "Files are compressed on every processor at once (--jobs); the package is the same\n"
        "byte for byte whatever the number of threads.\n"
        "\n"
        "The stub: without --stub, create uses the installed Windows stub, looked for in\n"
        "this order: ../share/sfx/sfx-stub.exe beside the sfx-pack program's own folder\n"
        "(an installed sfx-pack), then ../win32/sfx-stub.exe (sfx-pack run from the build\n"
        "folder build/host, beside build/win32). --stub linux looks for the Linux stub in\n"
        "../share/sfx/sfx-stub, then sfx-stub beside sfx-pack (build/host).",
        {
            {"--output OUT", "the package to write"},
            {"--stub STUB", "'windows' (the default), 'linux', or the path of a stub program;\n"
                            "a stub that already holds an archive is refused (use ./linux\n"
                            "for a file named linux), and so is one that is not a Windows\n"
                            "program for i386 (PE) or a Linux program (ELF)"},
            {"--force", "take a stub that is not a program all the same"},
            {"--strict", "treat every warning as an error: write nothing when there is one"},
            {"--jobs N", "compress on N threads (1 to 64; default: one per processor)"},
            {"--title TEXT", "the caption of the wait window and of every message box, 1 to 17\n"
                             "characters (default \"Velmora Software\")"},
            {"--wait-text TEXT", "the wait window's text, 1 to 96 characters; a line break counts as\n"
                                 "one"},
            {"--contact-email TEXT", "the e-mail address of the #SFXAID# and #SFXNDA# messages; with\n"
                                     "--contact-web and --contact-web2 (#SFXAID# only) their contact\n"
                                     "lines, 63 characters each"},
            {"--contact-email2 TEXT", "the e-mail address of the #SFXNRA# message; --contact-web3 its\n"
                                      "web address. Texts are UTF-8, stored in Windows-1252; the title\n"
                                      "and the wait text take only characters up to U+00FF."},
            {"--setup NAME", "put the entry NAME first, so that the stub starts it; NAME must\n"
                             "contain \".EXE\" in capitals"},
            {"--store", "store the files without compression"},
            {"--level N", "deflate level 1 (fastest) to 12 (smallest); 10 by default; 0 is the\n"
                          "same as --store. A file that deflate does not shrink is stored."},
            {"--from-zip ZIP", "copy the entries of an ordinary ZIP file as they are (stored,\n"
                               "deflate, traditional encryption; names and their UTF-8 flag\n"
                               "kept); they come before any INPUT.\n"
                               "Directory entries are dropped; ZIP64 and other methods are\n"
                               "refused."},
        },
        {
            {"sfx-pack create --output app-setup.exe SETUP.EXE data",
             "SETUP.EXE and the folder data, with the installed Windows stub"},
            {"sfx-pack create --output app.exe --title \"Yours Software\" --contact-email help@yours.example SETUP.EXE",
             "a package under your own name"},
            {"cd build/app && sfx-pack create --output ../app-setup.exe .",
             "a prepared folder as it is, its files at the top level"},
            {"sfx-pack create --output app.exe --setup bin/SETUP.EXE bin",
             "start bin/SETUP.EXE although bin holds other programs"},
            {"sfx-pack create --output app.exe --from-zip app.zip",
             "the entries of an existing ZIP file"},
            {"sfx-pack create --stub linux --output app.run SETUP.EXE",
             "a package for the Linux stand-in, to try on Linux"},
        },
    },
    {
        "list",
        "list the records of a package",
        "sfx-pack list [--json] PACKAGE",
        "Prints the archive's offset, one row per record (offset, method, flags, compressed\n"
        "and uncompressed size, CRC-32, date and time, name) in aligned columns, and where\n"
        "and why the record sequence ended. Names are shown in UTF-8 as Windows reads them:\n"
        "as UTF-8 with flag bit 11, as Windows-1252 without it. Control bytes and\n"
        "backslashes in names are shown as \\xNN. Exit status 1 when the records end before\n"
        "the end of the file (an Authenticode signature appended by a signing tool counts as\n"
        "the end); the message says when the file is cut short inside a record.",
        {
            {"--json", "print one JSON object instead, for scripts: archiveOffset, records\n"
                       "(offset, name, method, flags, encrypted, compressedSize,\n"
                       "uncompressedSize, crc32 as 8 hex digits, modified), end (offset,\n"
                       "reason, clean), signatureSize"},
        },
        {
            {"sfx-pack list app-setup.exe", "the records as a table"},
            {"sfx-pack list --json app-setup.exe | python3 -m json.tool", "the same as JSON"},
        },
    },
    {
        "verify",
        "check a package the way the stub will read it",
        "sfx-pack verify PACKAGE",
        "Reads every record with the stub's own code, decodes every entry without writing\n"
        "it and compares its CRC-32, and checks the setup program the stub would start:\n"
        "that there is one, and that it is a Windows program (PE) when the stub is the\n"
        "Windows one. Reports, with the stub's error code where it would show one: names\n"
        "the stub refuses (#SFXENC#: outside its folder, or device names such as NUL or\n"
        "COM1) or Windows cannot create (#SFXEAA#), unknown methods\n"
        "(#SFXMCD#), damaged data (#SFXCRC#), encrypted entries (the stub stops there,\n"
        "#SFXNRA#), records that run past the end of the file, and bytes after\n"
        "the last record that are not a signature. Warnings: no setup program, a choice\n"
        "of setup program that is probably not the intended one, names too long for a\n"
        "typical temporary folder, names Windows reads differently.\n"
        "\n"
        "Exit status 0 when the stub would unpack every entry and nothing is at fault\n"
        "(warnings allowed), 1 on any fault.",
        {},
        {
            {"sfx-pack verify app-setup.exe", "check before shipping"},
            {"sfx-pack verify app-setup.exe && osslsigncode sign ... -in app-setup.exe -out signed.exe",
             "sign only what verified"},
            {"sfx-pack verify --verbose signed.exe", "check again after signing, record by record"},
        },
    },
    {
        "extract",
        "unpack a package into a folder with the stub's own code",
        "sfx-pack extract PACKAGE DIR",
        "Unpacks PACKAGE into DIR exactly as the stub would unpack it into its folder\n"
        "under the temporary directory, with the stub's own code, and starts nothing.\n"
        "DIR is created as needed. Messages the stub would show are written to standard\n"
        "error. Prints the setup program the stub would start. Exit status 1, with the\n"
        "reason, when the stub would have shown any message, unpacked nothing, or stopped\n"
        "before the last record, and when the records end before the end of the file.",
        {},
        {
            {"sfx-pack extract app-setup.exe /tmp/check", "unpack into /tmp/check"},
        },
    },
};

const std::vector<ManSection> kManSections = {
    {"FILES",
     "PREFIX/bin/sfx-pack, this program.\n"
     "\n"
     "PREFIX/share/sfx/sfx-stub.exe, the Windows stub (the default of create).\n"
     "\n"
     "PREFIX/share/sfx/sfx-stub, the Linux stub (create --stub linux)."},
    {"SEE ALSO",
     "osslsigncode(1) signs packages. The package maker's guide (guide.md) and the package\n"
     "format reference (package-format.md) are installed in /usr/share/doc/sfx-pack/."},
};

// Options and examples as two indented columns.
void RenderColumns(std::ostringstream& out, const std::string& left, const char* text, size_t width) {
  std::istringstream lines(text);
  std::string line;
  bool first = true;
  while (std::getline(lines, line)) {
    if (first && left.size() + 2 <= width) {
      out << "  " << left << std::string(width - left.size(), ' ') << line << "\n";
    } else {
      if (first) out << "  " << left << "\n";
      out << std::string(width + 2, ' ') << line << "\n";
    }
    first = false;
  }
}

// Escapes text for troff: backslashes, hyphens (as minus signs) and a leading control
// character.
std::string Troff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return out;
}

// Every line of the text escaped; a blank line starts a new paragraph.
void TroffParagraphs(std::ostringstream& out, const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) out << (line.empty() ? ".PP" : Troff(line)) << "\n";
}

void TroffSynopsis(std::ostringstream& out, const CommandHelp& help) {
  std::istringstream synopsis(help.synopsis);
  std::string line;
  out << ".nf\n";
  while (std::getline(synopsis, line)) out << Troff(line) << "\n";
  out << ".fi\n";
}

void TroffBody(std::ostringstream& out, const CommandHelp& help) {
  TroffParagraphs(out, help.description);
  for (const HelpOption& option : help.options) {
    out << ".TP\n.B " << Troff(option.flags) << "\n";
    TroffParagraphs(out, option.text);
  }
  if (!help.examples.empty()) out << ".PP\nExamples:\n";
  for (const HelpExample& example : help.examples) {
    out << ".TP\n.B " << Troff(example.command) << "\n" << Troff(example.text) << "\n";
  }
}

}  // namespace

const CommandHelp& ToolHelp() { return kTool; }
const std::vector<CommandHelp>& CommandHelps() { return kCommands; }
const std::vector<ManSection>& ManOnlySections() { return kManSections; }

const CommandHelp* FindCommandHelp(const std::string& name) {
  for (const CommandHelp& help : kCommands)
    if (name == help.name) return &help;
  return nullptr;
}

std::string RenderHelp(const CommandHelp& help) {
  std::ostringstream out;
  std::istringstream synopsis(help.synopsis);
  std::string line;
  for (bool first = true; std::getline(synopsis, line); first = false)
    out << (first ? "Usage: " : "       ") << line << "\n";
  out << (help.name[0] ? help.summary : "Makes self-extracting installation packages.") << "\n\n";
  out << help.description << "\n";
  if (help.name[0] == '\0') {
    out << "\nCommands:\n";
    for (const CommandHelp& command : kCommands) RenderColumns(out, command.name, command.summary, 10);
  }
  if (!help.options.empty()) out << "\nOptions:\n";
  for (const HelpOption& option : help.options) RenderColumns(out, option.flags, option.text, 18);
  if (!help.examples.empty()) out << "\nExamples:\n";
  for (const HelpExample& example : help.examples)
    out << "  " << example.command << "\n      " << example.text << "\n";
  return out.str();
}

std::string RenderManPage(const std::string& version) {
  std::ostringstream out;
  out << ".TH SFX\\-PACK 1 \"\" \"sfx-pack " << Troff(version) << "\" \"User Commands\"\n";
  out << ".SH NAME\nsfx\\-pack \\- " << Troff(kTool.summary) << "\n";
  out << ".SH SYNOPSIS\n";
  TroffSynopsis(out, kTool);
  out << ".SH DESCRIPTION\n";
  TroffBody(out, kTool);
  for (const CommandHelp& help : kCommands) {
    out << ".SH \"COMMAND " << help.name << "\"\n";
    TroffSynopsis(out, help);
    out << ".PP\n" << Troff(help.summary) << ".\n.PP\n";
    TroffBody(out, help);
  }
  for (const ManSection& section : kManSections) {
    out << ".SH \"" << section.title << "\"\n";
    TroffParagraphs(out, section.text);
  }
  return out.str();
}

}  // namespace sfxpack

// The help of sfx-pack, written once: `--help` renders it as text and the build renders
// the man page sfx-pack(1) from the same entries.
#pragma once

#include <string>
#include <vector>

namespace sfxpack {

struct HelpOption {
  const char* flags;  // "--stub STUB"
  const char* text;   // what it does; may hold several lines
};

struct HelpExample {
  const char* command;  // one shell command line
  const char* text;     // what it does, one line
};

// The help of the tool as a whole (name "") or of one command. `description` is prose in
// paragraphs separated by a blank line; its lines are already wrapped for a terminal.
struct CommandHelp {
  const char* name;
  const char* summary;  // one line, for the command list and the man page's NAME
  const char* synopsis;
  const char* description;
  std::vector<HelpOption> options;
  std::vector<HelpExample> examples;
};

// The tool's own help (commands and the options every command takes).
const CommandHelp& ToolHelp();
// create, list, verify, extract, in that order.
const std::vector<CommandHelp>& CommandHelps();
// The command's help, or nullptr for an unknown name.
const CommandHelp* FindCommandHelp(const std::string& name);

// The text `sfx-pack --help` or `sfx-pack COMMAND --help` prints.
std::string RenderHelp(const CommandHelp& help);

// The whole manual page in man(7) markup: the tool's help, then every command's.
std::string RenderManPage(const std::string& version);

// Further sections of the man page that --help leaves out (files, exit status).
struct ManSection {
  const char* title;
  const char* text;
};
const std::vector<ManSection>& ManOnlySections();

}  // namespace sfxpack

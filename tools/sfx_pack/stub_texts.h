// The texts a package shows (caption, wait text, contact lines): written into the text
// block of the stub copy that create packs, read back by list and verify.
#pragma once

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "launcher/branding_block.h"
#include "tools/sfx_pack/deflate.h"

namespace sfxpack {

// create's text options, in UTF-8; an option not given keeps the stub's text.
struct TextOptions {
  std::optional<std::string> title;                   // --title
  std::optional<std::string> waitText;                // --wait-text
  std::optional<std::string> contacts[kContactCount]; // --contact-email ... --contact-web3
  bool Any() const;
};

// The option that sets contact line `i`, for messages and the help.
const char* ContactOption(int i);

// The texts of a block, as stored (Windows-1252).
struct StubTexts {
  std::string caption;
  std::string waitText;
  std::string contacts[kContactCount];
};

// Offset of the block's tag in `image`: -1 when there is none, -2 when there are several.
int64_t FindTextBlock(const Bytes& image);

// Reads the block at `at` (found by FindTextBlock). What is wrong with it (a length
// larger than its field, a control byte) is appended to `problems`, one sentence each.
StubTexts ReadTextBlock(const Bytes& image, size_t at, std::vector<std::string>& problems);

// Writes the texts given in `options` into the block of `stub`. Throws PackError, naming
// the option and the character or the limit, for a text that cannot be stored: not
// UTF-8, a character Windows-1252 does not have (title and wait text: one above U+00FF
// or a control character; the wait window widens each byte to one UTF-16 unit), a line
// break outside the wait text (where it is stored as CR), a title of 1 to 17 characters,
// a wait text of 1 to 96, a contact line of more than 63; and for a stub without a text
// block or with the archive marker in it once edited. `stubPath` names it in messages.
void WriteTextBlock(Bytes& stub, const TextOptions& options, const std::string& stubPath);

// A stored text in UTF-8; CR is shown as "\r" when `markBreaks`.
std::string ShowText(const std::string& windows1252, bool markBreaks = true);

// The stub's texts as lines of output: "caption: ...", "wait text: ...",
// "contact lines: ..., ...".
std::vector<std::string> DescribeTexts(const StubTexts& texts);

// The texts of the stub part of a package (its first `stubSize` bytes), when it has a
// text block; problems with the block are appended to `problems`.
std::optional<StubTexts> ReadStubTexts(const std::string& package, int64_t stubSize,
                                       std::vector<std::string>& problems);

}  // namespace sfxpack

// The package's own texts, read from the text block of the program's image: the caption
// of every message box and of the wait window, the wait text, and the fatal messages
// with their contact lines.
#pragma once

#include <stdint.h>

#include "launcher/branding_block.h"

// The block as built: the build's defaults, rewritten in a package's copy by sfx-pack.
extern const volatile BrandingBlock PackageTexts;

// Zero-terminated texts, taken from the block on first use; a length byte larger than
// its field is taken as the field's size.
// The caption is UTF-8, as message-box captions are; every other text is Windows-1252.
const char* PackageCaption();
// The caption padded with spaces to the title field's 17 characters.
const char* WaitTitle();
const char* WaitText();
// The three fatal messages of the start-up, ending in their contact lines.
const char* DamagedPackageText();   // #SFXAID#
const char* CannotOpenText();       // #SFXNDA#
const char* NothingUnpackedText();  // #SFXNRA#

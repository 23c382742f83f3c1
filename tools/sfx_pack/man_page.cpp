// Writes the man page sfx-pack(1) to standard output, rendered from the same help texts
// as `sfx-pack --help`; the build runs it.
#include <iostream>

#include "tools/sfx_pack/help_text.h"

int main() {
  std::cout << sfxpack::RenderManPage(SFX_PACK_VERSION);
  return std::cout.good() ? 0 : 1;
}

// Entry point of the Linux build of the stub.
#include "platform/platform.h"

int main() {
  plat::RestrictLibrarySearch();
  return plat::ProgramMain();
}

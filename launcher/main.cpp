// The stub's main: the package runs, and the process ends with exit code 0.
#include "launcher/startup.h"
#include "platform/platform.h"

int plat::ProgramMain() { return RunPackage(); }

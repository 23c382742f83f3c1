// Entry point of the Windows program, without the C runtime's start-up code.
//
// The stub needs nothing of the C runtime (no arguments, no environment, no static
// constructors, no stdio), and its start-up code and imports would be a large part of
// a program that every package carries. The process starts here, restricts where DLLs
// may come from, runs the program and ends with its exit code.
#include <windows.h>

#include "platform/platform.h"

extern "C" void __stdcall StubEntry() {
  plat::RestrictLibrarySearch();
  ExitProcess(static_cast<UINT>(plat::ProgramMain()));
}

// Finding the stub create writes in front of a package: the installed one by default.
#pragma once

#include <string>
#include <vector>

namespace sfxpack {

// The places a stub is looked for, in order, for sfx-pack running from `toolDirectory`
// (the folder of its own executable):
// - the Windows stub: TOOL/../share/sfx/sfx-stub.exe (installed), then
//   TOOL/../win32/sfx-stub.exe (the build folder build/host beside build/win32);
// - the Linux stub: TOOL/../share/sfx/sfx-stub (installed), then TOOL/sfx-stub (the
//   host build folder, where it is built beside sfx-pack).
std::vector<std::string> StubCandidates(bool forLinux, const std::string& toolDirectory);

// The stub for --stub's value: "" or "windows" for the Windows stub, "linux" for the
// Linux one (each the first candidate that exists), anything else is a path used as it
// is. Throws PackError listing the places tried when no candidate exists.
std::string ResolveStub(const std::string& option);

// The folder of the running executable (/proc/self/exe), or "" when it cannot be read.
std::string ToolDirectory();

}  // namespace sfxpack

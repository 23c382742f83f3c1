// Finding the installed or freshly built stub relative to sfx-pack's own executable.
#include "tools/sfx_pack/stub_locator.h"

#include <sys/stat.h>
#include <unistd.h>

#include "tools/sfx_pack/pack_error.h"

namespace sfxpack {

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info{};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::vector<std::string> StubCandidates(bool forLinux, const std::string& toolDirectory) {
  const std::string& d = toolDirectory;
  if (forLinux) return {d + "/../share/sfx/sfx-stub", d + "/sfx-stub"};
  return {d + "/../share/sfx/sfx-stub.exe", d + "/../win32/sfx-stub.exe"};
}

std::string ToolDirectory() {
  std::string path(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return "";
  path.resize(static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash == 0 ? 1 : slash);
}

std::string ResolveStub(const std::string& option) {
  bool forLinux = option == "linux";
  if (!forLinux && !option.empty() && option != "windows") return option;
  std::string tool = ToolDirectory();
  std::vector<std::string> tried = StubCandidates(forLinux, tool);
  for (const std::string& candidate : tried)
    if (IsRegularFile(candidate)) return candidate;
  std::string list;
  for (const std::string& candidate : tried) list += (list.empty() ? "" : ", ") + candidate;
  throw PackError(forLinux ? "--stub linux" : "--stub windows",
                  std::string("no ") + (forLinux ? "Linux" : "Windows") + " stub found (looked at " + list +
                      "); install sfx-pack with its stubs or give --stub PATH");
}

}  // namespace sfxpack

// Test setup program carried inside packages: records its command line byte for byte,
// then stays up for a while, as a real setup wizard would.
//
// The record goes to the file named by SFX_WINE_RECORD when that is set (so the
// unpacked directory can stay otherwise empty), else beside the program as
// "<program>.cmdline". SFX_WINE_STAY_MS sets how long it stays (1000 ms by default).
// Both come from the environment, which the package passes on unchanged.
//
// The same program warms up a fresh Wine environment (scripts/wine-env.sh): with
// SFX_WINE_BOX set it first shows that text in a message box, the first window of the
// prefix, whose seconds of set-up the tests then do not pay; with a long stay and no box
// it keeps Wine's desktop and services up for the whole test run.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string Environment(const char* name) {
  char buf[1024];
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

std::string RecordPath() {
  std::string path = Environment("SFX_WINE_RECORD");
  if (!path.empty()) return path;
  char self[MAX_PATH + 1] = {0};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  return std::string(self) + ".cmdline";
}

bool WriteAll(const std::string& path, const char* data, DWORD size) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(f, data, size, &written, nullptr);
  return CloseHandle(f) && ok && written == size;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* commandLine = GetCommandLineA();
  bool recorded = WriteAll(RecordPath(), commandLine, lstrlenA(commandLine));
  std::string box = Environment("SFX_WINE_BOX");
  if (!box.empty()) MessageBoxA(nullptr, box.c_str(), "sfx-wine-setup", MB_OK);
  std::string stay = Environment("SFX_WINE_STAY_MS");
  Sleep(stay.empty() ? 1000 : static_cast<DWORD>(std::atol(stay.c_str())));
  return recorded ? 0 : 1;
}

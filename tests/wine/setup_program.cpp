// Test setup program carried inside packages: records its command line byte for byte,
// then stays up for a while, as a real setup wizard would.
//
// The record goes to the file named by SFX_WINE_RECORD when that is set (so the
// unpacked directory can stay otherwise empty), else beside the program as
// "<program>.cmdline": GetCommandLineA() there, GetCommandLineW() in UTF-8 in RECORD.w,
// and in RECORD.open the size of the file that the argument names, as an 8-bit setup
// program finds it (the text after the program's path, 0xAC back to spaces, opened with
// CreateFileA), or "none". SFX_WINE_STAY_MS sets how long it stays (1000 ms by default).
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

std::string Utf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 1 ? static_cast<size_t>(n) : 1, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.pop_back();
  return out;
}

std::string OpenedArgument(const std::string& line) {
  size_t start = line.empty() ? std::string::npos
                              : line[0] == '"' ? line.find("\" ", 1) + 2 : line.find(' ') + 1;
  if (start == std::string::npos || start == 0 || start > line.size()) return "none";
  std::string path = line.substr(start);
  for (char& c : path) if (c == '\xAC') c = ' ';
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "none";
  DWORD size = GetFileSize(f, nullptr);
  CloseHandle(f);
  return std::to_string(size);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string commandLine = GetCommandLineA(), wide = Utf8(GetCommandLineW());
  std::string opened = OpenedArgument(commandLine), record = RecordPath();
  bool recorded = WriteAll(record, commandLine.data(), static_cast<DWORD>(commandLine.size())) &&
                  WriteAll(record + ".w", wide.data(), static_cast<DWORD>(wide.size())) &&
                  WriteAll(record + ".open", opened.data(), static_cast<DWORD>(opened.size()));
  std::string box = Environment("SFX_WINE_BOX");
  if (!box.empty()) MessageBoxA(nullptr, box.c_str(), "sfx-wine-setup", MB_OK);
  std::string stay = Environment("SFX_WINE_STAY_MS");
  Sleep(stay.empty() ? 1000 : static_cast<DWORD>(std::atol(stay.c_str())));
  return recorded ? 0 : 1;
}

// Test setup program carried inside packages: records its command line byte for byte,
// then stays up for a while, as a real setup wizard would.
//
// The record goes to the file named by SFX_WINE_RECORD (NUL for the warm-up runs), so
// the unpacked directory can stay otherwise empty: GetCommandLineA() there,
// GetCommandLineW() in UTF-8 in RECORD.w,
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

bool WriteAll(const std::string& path, const std::string& data) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  return CloseHandle(f) && ok && written == data.size();
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
  std::string commandLine = GetCommandLineA(), record = Environment("SFX_WINE_RECORD");
  const wchar_t* wide = GetCommandLineW();
  std::string utf8(WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
  utf8.resize(utf8.empty() ? 0 : utf8.size() - 1);  // the terminator
  bool recorded = WriteAll(record, commandLine) && WriteAll(record + ".w", utf8) &&
                  WriteAll(record + ".open", OpenedArgument(commandLine));
  std::string box = Environment("SFX_WINE_BOX"), stay = Environment("SFX_WINE_STAY_MS");
  if (!box.empty()) MessageBoxA(nullptr, box.c_str(), "sfx-wine-setup", MB_OK);
  Sleep(stay.empty() ? 1000 : static_cast<DWORD>(std::atol(stay.c_str())));
  return recorded ? 0 : 1;
}

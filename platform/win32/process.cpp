// Win32 process calls of the layer: start the setup program, elevate, wait, pause.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace plat {

// ERROR_ELEVATION_REQUIRED, which this SDK does not name.
static constexpr DWORD kErrorElevationRequired = 740;

StartResult StartProcess(const char* application, char* commandLine, const char*,
                         FileHandle* process) {
  win32::WideText program(application);
  win32::WideText line(commandLine);  // CreateProcessW may write into it
  if (!program.get() || !line.get()) return StartResult::kFailed;
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION info;
  ZeroMemory(&info, sizeof info);
  if (!CreateProcessW(program.get(), line.get(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                      nullptr, nullptr, &startup, &info)) {
    return GetLastError() == kErrorElevationRequired ? StartResult::kNeedsElevation
                                                      : StartResult::kFailed;
  }
  CloseHandle(info.hThread);
  *process = reinterpret_cast<FileHandle>(info.hProcess);
  return StartResult::kStarted;
}

// ShellExecuteExW lives in shell32, which is loaded only when elevation is needed.
bool StartElevatedProcess(const char* application, const char* arguments, FileHandle* process) {
  HMODULE shell = LoadLibraryExA("shell32.dll", nullptr, 0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
  if (!shell) shell = LoadLibraryA("shell32.dll");
  if (!shell) return false;
  using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
  auto run = reinterpret_cast<ShellExecuteExFn>(
      reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteExW")));
  win32::WideText program(application);
  win32::WideText parameters(arguments);
  if (!run || !program.get() || !parameters.get()) return false;
  SHELLEXECUTEINFOW info;
  ZeroMemory(&info, sizeof info);
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = program.get();
  info.lpParameters = parameters.get();
  info.nShow = SW_SHOW;
  if (!run(&info) || !info.hProcess) return false;
  *process = reinterpret_cast<FileHandle>(info.hProcess);
  return true;
}

bool WaitForProcess(FileHandle process, uint32_t milliseconds) {
  return WaitForSingleObject(reinterpret_cast<HANDLE>(process), milliseconds) == WAIT_OBJECT_0;
}

// Packages are typically run from a downloads folder where anyone can leave a DLL, so
// only the system directory may supply one. The call is looked up at run time: Windows
// versions without it still start.
void RestrictLibrarySearch() {
  using SetDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return;
  auto set = reinterpret_cast<SetDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set) set(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
}

void PauseMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace plat

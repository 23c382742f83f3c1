// Test driver run under Wine: starts a package, watches the windows of the package and
// of every process it starts, logs each message box and the wait window, dismisses the
// boxes, can cancel the wait window or pause for a screenshot, and logs the exit code.
//
// Every 50 ms the driver takes a process snapshot (Toolhelp parent ids) to extend the
// set of descendants, then walks the visible top-level windows and keeps those whose
// process is in the set. A dialog-class window with a static control of id 0xFFFF is a
// message box (that is where the system puts a box's text); any other dialog-class
// window is the wait window. Text is read with GetWindowTextA, which for a window of
// another process reads the stored text without sending a message, so it works while
// the package is busy extracting.
//
// Log lines go to stdout, flushed one by one: "t=MS EVENT key=value ...". Texts are
// quoted with \r, \n, \t, \\, \" and \xNN escapes so that every byte survives. A box's
// caption and text are logged twice: as the ANSI calls read them (the system's own
// Windows-1252 texts byte for byte) and, as caption_w and text_w, in UTF-8 from the wide
// calls (paths outside the ANSI code page). The driver's own arguments, the package's
// path, the environment it sets and the temporary path are wide, carried as UTF-8.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPollMs = 50;
constexpr DWORD kScreenshotDelayMs = 200;  // lets the window paint before the shot

struct Options {
  std::string package;
  std::vector<std::string> environment;  // NAME=VALUE set for the package (TMP, for one)
  int cancelOnBox = 0;        // box number (1-based) during which the wait window is cancelled
  std::string screenshotAck;  // file whose appearance ends a screenshot pause
  DWORD timeoutMs = 60000;
  DWORD descendantsTimeoutMs = 0;  // after the package's exit, wait this long for its children
};

DWORD g_start = 0;

DWORD Elapsed() { return GetTickCount() - g_start; }

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    char buf[8];
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          out += static_cast<char>(c);
        } else {
          std::snprintf(buf, sizeof buf, "\\x%02X", c);
          out += buf;
        }
    }
  }
  return out + "\"";
}

void Log(const char* event, const std::string& fields) {
  std::printf("t=%lu %s%s%s\n", static_cast<unsigned long>(Elapsed()), event,
              fields.empty() ? "" : " ", fields.c_str());
  std::fflush(stdout);
}

std::string Hex(unsigned long v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08lX", v);
  return buf;
}

std::string Num(long v) { return std::to_string(v); }

std::string RectText(const RECT& r) {
  return Num(r.left) + "," + Num(r.top) + "," + Num(r.right) + "," + Num(r.bottom);
}

std::string Utf8(const wchar_t* text, int units = -1) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, units, &out[0], n, nullptr, nullptr);
  if (units < 0 && !out.empty()) out.pop_back();  // the terminator
  return out;
}

std::wstring Wide(const std::string& text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], n);
  out.pop_back();
  return out;
}

std::string WideTextOf(HWND w) {
  int length = GetWindowTextLengthW(w);
  std::vector<wchar_t> buf(static_cast<size_t>(length) + 64, 0);
  int got = GetWindowTextW(w, buf.data(), static_cast<int>(buf.size()));
  return Utf8(buf.data(), got > 0 ? got : 0);
}

std::string ClassOf(HWND w) {
  char buf[256] = {0};
  GetClassNameA(w, buf, sizeof buf);
  return buf;
}

std::string TextOf(HWND w) {
  int length = GetWindowTextLengthA(w);
  std::vector<char> buf(static_cast<size_t>(length) + 64, 0);
  int got = GetWindowTextA(w, buf.data(), static_cast<int>(buf.size()));
  return std::string(buf.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
  return TRUE;
}

std::vector<HWND> ChildrenOf(HWND w) {
  std::vector<HWND> children;
  EnumChildWindows(w, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

bool Visible(HWND w) { return w && IsWindow(w) && IsWindowVisible(w); }

// The package and every process started by it or by its descendants, as seen so far.
// Wine's desktop process (explorer.exe) is left out: the first program with a window
// starts it when it is not running, and it outlives that program.
class ProcessTree {
 public:
  explicit ProcessTree(DWORD root) { Add(root, 0); }

  void Refresh() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return;
    std::vector<PROCESSENTRY32> all;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(snap, &entry); ok; ok = Process32Next(snap, &entry)) {
      all.push_back(entry);
    }
    CloseHandle(snap);
    for (bool grew = true; grew;) {
      grew = false;
      for (const PROCESSENTRY32& p : all) {
        if (handles_.count(p.th32ProcessID) == 0 && handles_.count(p.th32ParentProcessID) != 0 &&
            lstrcmpiA(p.szExeFile, "explorer.exe") != 0) {
          Add(p.th32ProcessID, p.th32ParentProcessID);
          grew = true;
        }
      }
    }
    // A process that has only just been created has no image name yet: it is logged
    // once the name shows.
    for (const PROCESSENTRY32& p : all) {
      auto unnamed = unnamed_.find(p.th32ProcessID);
      if (unnamed != unnamed_.end() && p.szExeFile[0] != '\0') {
        LogProcess(p.th32ProcessID, unnamed->second, p.szExeFile);
        unnamed_.erase(unnamed);
      }
    }
  }

  bool Contains(DWORD pid) const { return handles_.count(pid) != 0; }

  // Logs the descendants that ended since the last call; returns how many still run.
  int ReapDescendants(DWORD root) {
    int running = 0;
    for (auto& [pid, handle] : handles_) {
      if (pid == root || ended_.count(pid) != 0) continue;
      if (handle == nullptr || WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) {
        auto unnamed = unnamed_.find(pid);
        if (unnamed != unnamed_.end()) {
          LogProcess(pid, unnamed->second, "");
          unnamed_.erase(unnamed);
        }
        DWORD code = 0;
        if (handle != nullptr) GetExitCodeProcess(handle, &code);
        Log("process-exit", "pid=" + Num(pid) + " code=" + Num(static_cast<long>(code)));
        ended_.insert(pid);
      } else {
        ++running;
      }
    }
    return running;
  }

  void TerminateDescendants(DWORD root) {
    for (auto& [pid, handle] : handles_) {
      if (pid != root && handle != nullptr && ended_.count(pid) == 0) TerminateProcess(handle, 1);
    }
  }

 private:
  void Add(DWORD pid, DWORD parent) {
    handles_[pid] = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE,
                                FALSE, pid);
    if (parent != 0) unnamed_[pid] = parent;
  }

  static void LogProcess(DWORD pid, DWORD parent, const char* exe) {
    Log("process", "pid=" + Num(pid) + " parent=" + Num(parent) + " exe=" + Quote(exe));
  }

  std::map<DWORD, HANDLE> handles_;
  std::map<DWORD, DWORD> unnamed_;  // descendant -> parent, until its name is known
  std::set<DWORD> ended_;
};

// The visible top-level windows of the process tree, sorted by kind.
struct WindowScan {
  const ProcessTree* tree;
  std::vector<HWND> boxes;
  std::vector<HWND> dialogs;
  std::vector<HWND> others;
};

BOOL CALLBACK ClassifyWindow(HWND w, LPARAM param) {
  auto* scan = reinterpret_cast<WindowScan*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (!scan->tree->Contains(pid) || !IsWindowVisible(w)) return TRUE;
  if (ClassOf(w) != "#32770") {
    scan->others.push_back(w);
  } else if (GetDlgItem(w, 0xFFFF) != nullptr) {
    scan->boxes.push_back(w);
  } else {
    scan->dialogs.push_back(w);
  }
  return TRUE;
}

int CountButtons(HWND w) {
  int n = 0;
  for (HWND child : ChildrenOf(w)) n += ClassOf(child) == "Button";
  return n;
}

// Everything the checks need about the wait window: identity, texts, style, layout; the
// static control's rectangle and the client area locate its text in a screenshot.
std::string DescribeWaitWindow(HWND w) {
  std::vector<HWND> children = ChildrenOf(w);
  RECT rect{}, client{}, work{};
  GetWindowRect(w, &rect);
  GetClientRect(w, &client);
  MapWindowPoints(w, nullptr, reinterpret_cast<POINT*>(&client), 2);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  long dx = (rect.left + rect.right) - (work.left + work.right);  // twice the offset
  long dy = (rect.top + rect.bottom) - (work.top + work.bottom);
  std::string f = "hwnd=" + Hex(reinterpret_cast<uintptr_t>(w)) + " class=" + Quote(ClassOf(w)) +
                  " title=" + Quote(TextOf(w)) +
                  " style=" + Hex(static_cast<unsigned long>(GetWindowLongA(w, GWL_STYLE))) +
                  " exstyle=" + Hex(static_cast<unsigned long>(GetWindowLongA(w, GWL_EXSTYLE))) +
                  " children=" + Num(static_cast<long>(children.size())) +
                  " buttons=" + Num(CountButtons(w)) + " rect=" + RectText(rect) +
                  " client=" + RectText(client) + " work=" + RectText(work) +
                  " dx2=" + Num(dx) + " dy2=" + Num(dy);
  for (size_t i = 0; i < children.size(); ++i) {
    HWND c = children[i];
    RECT cr{};
    GetWindowRect(c, &cr);
    std::string k = "child" + Num(static_cast<long>(i)) + "_";
    f += " " + k + "class=" + Quote(ClassOf(c)) + " " + k + "id=" + Num(GetDlgCtrlID(c)) + " " +
         k + "rect=" + RectText(cr) + " " + k + "text=" + Quote(TextOf(c));
  }
  return f;
}

std::string DescribeBox(HWND w, int number) {
  HWND owner = GetWindow(w, GW_OWNER);
  return "n=" + Num(number) + " hwnd=" + Hex(reinterpret_cast<uintptr_t>(w)) +
         " owner=" + Hex(reinterpret_cast<uintptr_t>(owner)) +
         " buttons=" + Num(CountButtons(w)) + " caption=" + Quote(TextOf(w)) +
         " text=" + Quote(TextOf(GetDlgItem(w, 0xFFFF))) + " caption_w=" + Quote(WideTextOf(w)) +
         " text_w=" + Quote(WideTextOf(GetDlgItem(w, 0xFFFF)));
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The windows seen so far and what was done to them.
class Watcher {
 public:
  explicit Watcher(const Options& options) : options_(options) {}

  void Poll(const ProcessTree& tree) {
    WindowScan scan{&tree, {}, {}, {}};
    EnumWindows(ClassifyWindow, reinterpret_cast<LPARAM>(&scan));
    for (HWND d : scan.dialogs) {
      if (dialogsSeen_.count(d) == 0 && OnWaitWindow(d)) dialogsSeen_.insert(d);
    }
    for (HWND w : scan.others) {
      if (othersSeen_.insert(w).second) {
        Log("window", "hwnd=" + Hex(reinterpret_cast<uintptr_t>(w)) + " class=" +
                          Quote(ClassOf(w)) + " title=" + Quote(TextOf(w)));
      }
    }
    for (HWND b : scan.boxes) {
      if (boxNumber_.count(b) == 0) OnBox(b);
    }
    FollowCancel();
    RedismissStuckBoxes();
  }

 private:
  // Reports a wait window once it has been read while visible. When the extraction ends
  // right after the scan, EndDialog hides (and then destroys) the window during the reads,
  // and what was read is a closing window's state: it is logged apart, and the window is
  // reported on a later scan should it show again.
  bool OnWaitWindow(HWND d) {
    waitWindow_ = d;
    std::string description = DescribeWaitWindow(d);
    if (!IsWindowVisible(d)) {
      Log("wait-window-closing", "hwnd=" + Hex(reinterpret_cast<uintptr_t>(d)));
      return false;
    }
    Log("wait-window", description);
    if (!options_.screenshotAck.empty() && !screenshotDone_) TakeScreenshotPause(d);
    return true;
  }

  // Asks the runner for a screenshot and waits until it says the shot is taken; the
  // window's state is logged before and after, so the runner knows what the shot shows.
  void TakeScreenshotPause(HWND d) {
    screenshotDone_ = true;
    Sleep(kScreenshotDelayMs);
    Log("screenshot-request", DescribeWaitWindow(d));
    DWORD begin = GetTickCount();
    while (!FileExists(options_.screenshotAck) && GetTickCount() - begin < 20000) Sleep(20);
    Log("screenshot-done", "acknowledged=" + Num(FileExists(options_.screenshotAck) ? 1 : 0) +
                               " alive=" + Num(Visible(d) ? 1 : 0));
  }

  void OnBox(HWND b) {
    int number = static_cast<int>(boxNumber_.size()) + 1;
    boxNumber_[b] = number;
    Log("box", DescribeBox(b, number));
    if (number == options_.cancelOnBox) {
      if (Visible(waitWindow_)) {
        PostMessageA(waitWindow_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        cancelBox_ = b;
        cancelDeadline_ = GetTickCount() + 3000;
        Log("cancel-posted", "box=" + Num(number) +
                                 " hwnd=" + Hex(reinterpret_cast<uintptr_t>(waitWindow_)));
        return;  // the box stays open until the wait window has gone
      }
      Log("cancel-no-window", "box=" + Num(number));
    }
    DismissNow(b);
  }

  // Clicks the box's OK button.
  void DismissNow(HWND b) {
    PostMessageA(b, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(b, IDOK)));
    dismissedAt_[b] = GetTickCount();
  }

  void FollowCancel() {
    if (cancelBox_ == nullptr) return;
    bool gone = !Visible(waitWindow_);
    if (!gone && GetTickCount() < cancelDeadline_) return;
    Log("cancel-result", "wait_window_gone=" + Num(gone ? 1 : 0) +
                             " box_open=" + Num(Visible(cancelBox_) ? 1 : 0));
    DismissNow(cancelBox_);
    cancelBox_ = nullptr;
  }

  void RedismissStuckBoxes() {
    for (auto& [box, at] : dismissedAt_) {
      if (Visible(box) && GetTickCount() - at > 2000) {
        Log("box-redismiss", "hwnd=" + Hex(reinterpret_cast<uintptr_t>(box)));
        DismissNow(box);
      }
    }
  }

  const Options& options_;
  std::set<HWND> dialogsSeen_, othersSeen_;
  std::map<HWND, int> boxNumber_;
  std::map<HWND, DWORD> dismissedAt_;
  HWND waitWindow_ = nullptr;
  bool screenshotDone_ = false;
  HWND cancelBox_ = nullptr;
  DWORD cancelDeadline_ = 0;
};

bool ParseOptions(const std::vector<std::string>& argv, Options* o) {
  int argc = static_cast<int>(argv.size());
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool hasValue = i + 1 < argc;
    if (a == "--cancel-on-box" && hasValue) {
      o->cancelOnBox = std::atoi(argv[++i].c_str());
    } else if (a == "--screenshot-ack" && hasValue) {
      o->screenshotAck = argv[++i];
    } else if (a == "--timeout" && hasValue) {
      o->timeoutMs = std::strtoul(argv[++i].c_str(), nullptr, 10);
    } else if (a == "--env" && hasValue && argv[i + 1].find('=') != std::string::npos) {
      o->environment.push_back(argv[++i]);
    } else if (a == "--wait-descendants" && hasValue) {
      o->descendantsTimeoutMs = std::strtoul(argv[++i].c_str(), nullptr, 10);
    } else if (a.rfind("--", 0) == 0 || !o->package.empty()) {
      return false;
    } else {
      o->package = a;
    }
  }
  return !o->package.empty();
}

// Watches the windows until the package has ended (descendants false) or, after that,
// until every process it started has ended; true when that happened within limitMs.
bool Watch(const PROCESS_INFORMATION& pi, bool descendants, DWORD limitMs, ProcessTree* tree,
           Watcher* watcher) {
  DWORD begin = GetTickCount();
  for (;;) {
    tree->Refresh();
    watcher->Poll(*tree);
    int running = tree->ReapDescendants(pi.dwProcessId);
    if (descendants ? running == 0
                    : WaitForSingleObject(pi.hProcess, kPollMs) == WAIT_OBJECT_0) {
      return true;
    }
    if (GetTickCount() - begin > limitMs) return false;
    if (descendants) Sleep(kPollMs);
  }
}

// The temporary path from the wide call, in UTF-8.
std::string TempPath() {
  wchar_t temp[MAX_PATH + 1] = {0};
  DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  return Utf8(temp, n <= MAX_PATH ? static_cast<int>(n) : 0);
}

// The wide command line's arguments in UTF-8: the ANSI argv would lose every character
// outside the code page.
std::vector<std::string> Arguments() {
  int argc = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::string> out;
  for (int i = 0; wide && i < argc; ++i) out.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return out;
}

}  // namespace

int main() {
  g_start = GetTickCount();
  std::vector<std::string> argv = Arguments();
  if (argv.size() == 2 && argv[1] == "--print-temp") {
    std::printf("%s\n", TempPath().c_str());
    return 0;
  }
  if (argv.size() == 3 && argv[1] == "--print-short") {
    wchar_t shortPath[1024] = {0};
    DWORD n = GetShortPathNameW(Wide(argv[2]).c_str(), shortPath, 1024);
    std::printf("%s\n", Utf8(shortPath, n < 1024 ? static_cast<int>(n) : 0).c_str());
    return 0;
  }
  Options options;
  if (!ParseOptions(argv, &options)) {
    std::fprintf(stderr,
                 "usage: driver [--cancel-on-box N] [--screenshot-ack FILE] [--timeout MS]\n"
                 "       [--wait-descendants MS] [--env NAME=VALUE]... PACKAGE | --print-temp\n"
                 "       | --print-short PATH\n");
    return 2;
  }
  // The package inherits the driver's environment; Wine takes TMP and TEMP from the
  // Windows side only, so they can be changed here and not from Linux.
  for (const std::string& assignment : options.environment) {
    size_t eq = assignment.find('=');
    SetEnvironmentVariableW(Wide(assignment.substr(0, eq)).c_str(), Wide(assignment.substr(eq + 1)).c_str());
  }
  std::string temp = TempPath();
  std::wstring package = Wide(options.package);
  std::wstring commandLine = L"\"" + package + L"\"";
  STARTUPINFOW si;
  std::memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  std::memset(&pi, 0, sizeof pi);
  if (!CreateProcessW(package.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &si, &pi)) {
    Log("start-failed", "error=" + Num(static_cast<long>(GetLastError())));
    return 4;
  }
  Log("start", "pid=" + Num(pi.dwProcessId) + " package=" + Quote(options.package) +
                   " temp=" + Quote(temp));

  ProcessTree tree(pi.dwProcessId);
  Watcher watcher(options);
  if (!Watch(pi, false, options.timeoutMs, &tree, &watcher)) {
    Log("timeout", "what=package");
    tree.TerminateDescendants(pi.dwProcessId);
    TerminateProcess(pi.hProcess, 1);
    return 3;
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  tree.Refresh();
  int running = tree.ReapDescendants(pi.dwProcessId);
  Log("exit", "code=" + std::to_string(static_cast<unsigned long>(code)) +
                  " hex=" + Hex(code) + " elapsed=" + Num(static_cast<long>(Elapsed())) +
                  " descendants_running=" + Num(running));
  if (running > 0 && options.descendantsTimeoutMs > 0) {
    if (!Watch(pi, true, options.descendantsTimeoutMs, &tree, &watcher)) {
      Log("timeout", "what=descendants");
      tree.TerminateDescendants(pi.dwProcessId);
      return 3;
    }
    Log("descendants-done", "");
  }
  return 0;
}

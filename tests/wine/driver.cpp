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
// written as hex digits in quotes so that every byte survives. A box's caption and text
// are logged twice: as the ANSI calls read them (the system's own Windows-1252 texts
// byte for byte) and, as caption_w and text_w, in UTF-8 from the wide calls (paths
// outside the ANSI code page). The driver's own arguments, the package's path, the
// environment it sets and the temporary path are wide, carried as UTF-8.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
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
  DWORD timeoutMs = 60000;  // then the package and what it started are ended
  DWORD descendantsTimeoutMs = 0;  // after the package's exit, wait this long for its children
};

DWORD g_start = 0;

void Log(const char* event, const std::string& fields) {
  std::printf("t=%lu %s %s\n", static_cast<unsigned long>(GetTickCount() - g_start), event, fields.c_str());
  std::fflush(stdout);
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  char digits[3];
  for (unsigned char c : s) {
    std::snprintf(digits, sizeof digits, "%02X", c);
    out += digits;
  }
  return out + "\"";
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

std::string TextOf(HWND w) {
  std::vector<char> buf(static_cast<size_t>(GetWindowTextLengthA(w)) + 64, 0);
  int got = GetWindowTextA(w, buf.data(), static_cast<int>(buf.size()));
  return std::string(buf.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

std::string WideTextOf(HWND w) {
  std::vector<wchar_t> buf(static_cast<size_t>(GetWindowTextLengthW(w)) + 64, 0);
  int got = GetWindowTextW(w, buf.data(), static_cast<int>(buf.size()));
  return Utf8(buf.data(), got > 0 ? got : 0);
}

std::string ClassOf(HWND w) {
  char buf[256] = {0};
  GetClassNameA(w, buf, sizeof buf);
  return buf;
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

int CountButtons(HWND w) {
  int n = 0;
  for (HWND child : ChildrenOf(w)) n += ClassOf(child) == "Button";
  return n;
}

bool Visible(HWND w) { return w && IsWindow(w) && IsWindowVisible(w); }

// The package and every process started by it or by its descendants, as seen so far;
// each is logged once its image name shows (a process just created has none yet).
// Wine's desktop process (explorer.exe) is left out: the first program with a window
// starts it when it is not running, and it outlives that program.
class ProcessTree {
 public:
  explicit ProcessTree(DWORD root) : root_(root) { members_[root] = {Open(root), true, false}; }

  void Refresh() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return;
    std::vector<PROCESSENTRY32> all;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(snap, &entry); ok; ok = Process32Next(snap, &entry)) all.push_back(entry);
    CloseHandle(snap);
    for (bool grew = true; grew;) {  // again until no grandchild is added
      grew = false;
      for (const PROCESSENTRY32& p : all) {
        if (!Contains(p.th32ProcessID) && Contains(p.th32ParentProcessID) &&
            lstrcmpiA(p.szExeFile, "explorer.exe") != 0) {
          members_[p.th32ProcessID] = {Open(p.th32ProcessID), false, false};
          grew = true;
        }
      }
    }
    for (const PROCESSENTRY32& p : all)
      if (p.szExeFile[0] != '\0') LogOnce(p.th32ProcessID, p.szExeFile);
  }

  bool Contains(DWORD pid) const { return members_.count(pid) != 0; }

  // Marks the descendants that ended since the last call; returns how many still run.
  int ReapDescendants() {
    int running = 0;
    for (auto& [pid, m] : members_) {
      if (pid == root_ || m.ended) continue;
      if (m.handle != nullptr && WaitForSingleObject(m.handle, 0) != WAIT_OBJECT_0) {
        ++running;
        continue;
      }
      LogOnce(pid, "");
      m.ended = true;
    }
    return running;
  }

  void TerminateDescendants() {
    for (auto& [pid, m] : members_)
      if (pid != root_ && m.handle != nullptr && !m.ended) TerminateProcess(m.handle, 1);
  }

 private:
  struct Member {
    HANDLE handle;
    bool logged, ended;
  };

  static HANDLE Open(DWORD pid) {
    return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
  }

  void LogOnce(DWORD pid, const char* exe) {
    auto m = members_.find(pid);
    if (m == members_.end() || m->second.logged) return;
    m->second.logged = true;
    Log("process", "pid=" + Num(pid) + " exe=" + Quote(exe));
  }

  DWORD root_;
  std::map<DWORD, Member> members_;
};

// The visible top-level windows of the process tree, sorted by kind.
struct WindowScan {
  const ProcessTree* tree;
  std::vector<HWND> boxes, dialogs, others;
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

// Everything the checks need about the wait window: identity, texts, style, controls, and
// how far its centre is from the work area's (dx2, dy2: twice the offset); the static
// control's rectangle and the client area locate its text in a screenshot.
std::string DescribeWaitWindow(HWND w) {
  std::vector<HWND> children = ChildrenOf(w);
  RECT rect{}, client{}, work{};
  GetWindowRect(w, &rect);
  GetClientRect(w, &client);
  MapWindowPoints(w, nullptr, reinterpret_cast<POINT*>(&client), 2);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  std::string f = "class=" + Quote(ClassOf(w)) + " title=" + Quote(TextOf(w)) +
                  " style=" + Hex(static_cast<unsigned long>(GetWindowLongA(w, GWL_STYLE))) +
                  " exstyle=" + Hex(static_cast<unsigned long>(GetWindowLongA(w, GWL_EXSTYLE))) +
                  " children=" + Num(static_cast<long>(children.size())) + " buttons=" + Num(CountButtons(w)) +
                  " client=" + RectText(client) + " dx2=" + Num((rect.left + rect.right) - (work.left + work.right)) +
                  " dy2=" + Num((rect.top + rect.bottom) - (work.top + work.bottom));
  for (size_t i = 0; i < children.size(); ++i) {
    RECT cr{};
    GetWindowRect(children[i], &cr);
    std::string k = " child" + Num(static_cast<long>(i)) + "_";
    f += k + "class=" + Quote(ClassOf(children[i])) + k + "id=" + Num(GetDlgCtrlID(children[i])) + k + "rect=" +
         RectText(cr) + k + "text=" + Quote(TextOf(children[i]));
  }
  return f;
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
    for (HWND d : scan.dialogs)
      if (dialogsSeen_.count(d) == 0 && OnWaitWindow(d)) dialogsSeen_.insert(d);
    for (HWND w : scan.others)
      if (othersSeen_.insert(w).second) Log("window", "class=" + Quote(ClassOf(w)) + " title=" + Quote(TextOf(w)));
    for (HWND b : scan.boxes)
      if (boxNumber_.count(b) == 0) OnBox(b);
    FollowCancel();
    // A box that did not go after its click is clicked again.
    for (auto& [box, at] : dismissedAt_)
      if (Visible(box) && GetTickCount() - at > 2000) DismissNow(box);
  }

 private:
  // Reports a wait window once it has been read while visible. When the extraction ends
  // right after the scan, EndDialog hides (and then destroys) the window during the reads,
  // and what was read is a closing window's state: it is left out, and the window is
  // reported on a later scan should it show again.
  bool OnWaitWindow(HWND d) {
    waitWindow_ = d;
    std::string description = DescribeWaitWindow(d);
    if (!IsWindowVisible(d)) return false;
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
    Log("screenshot-done", "acknowledged=" + Num(FileExists(options_.screenshotAck)) + " alive=" + Num(Visible(d)));
  }

  void OnBox(HWND b) {
    int number = static_cast<int>(boxNumber_.size()) + 1;
    boxNumber_[b] = number;
    HWND text = GetDlgItem(b, 0xFFFF);
    Log("box", "n=" + Num(number) + " owner=" + Hex(reinterpret_cast<uintptr_t>(GetWindow(b, GW_OWNER))) +
                   " buttons=" + Num(CountButtons(b)) + " caption=" + Quote(TextOf(b)) + " text=" + Quote(TextOf(text)) +
                   " caption_w=" + Quote(WideTextOf(b)) + " text_w=" + Quote(WideTextOf(text)));
    if (number == options_.cancelOnBox && Visible(waitWindow_)) {
      PostMessageA(waitWindow_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      cancelBox_ = b;
      cancelDeadline_ = GetTickCount() + 3000;
      return;  // the box stays open until the wait window has gone
    }
    DismissNow(b);
  }

  // Clicks the box's OK button.
  void DismissNow(HWND b) {
    PostMessageA(b, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(b, IDOK)));
    dismissedAt_[b] = GetTickCount();
  }

  void FollowCancel() {
    if (cancelBox_ == nullptr) return;
    bool gone = !Visible(waitWindow_);
    if (!gone && GetTickCount() < cancelDeadline_) return;
    Log("cancel-result", "wait_window_gone=" + Num(gone) + " box_open=" + Num(Visible(cancelBox_)));
    DismissNow(cancelBox_);
    cancelBox_ = nullptr;
  }

  const Options& options_;
  std::set<HWND> dialogsSeen_, othersSeen_;
  std::map<HWND, int> boxNumber_;
  std::map<HWND, DWORD> dismissedAt_;
  HWND waitWindow_ = nullptr, cancelBox_ = nullptr;
  bool screenshotDone_ = false;
  DWORD cancelDeadline_ = 0;
};

// Options come in pairs (name, value); the package's path comes last.
bool ParseOptions(const std::vector<std::string>& argv, Options* o) {
  size_t i = 1;
  for (; i + 2 < argv.size(); i += 2) {
    const std::string& name = argv[i];
    const std::string& value = argv[i + 1];
    if (name == "--cancel-on-box") {
      o->cancelOnBox = std::atoi(value.c_str());
    } else if (name == "--screenshot-ack") {
      o->screenshotAck = value;
    } else if (name == "--wait-descendants") {
      o->descendantsTimeoutMs = std::strtoul(value.c_str(), nullptr, 10);
    } else if (name == "--env" && value.find('=') != std::string::npos) {
      o->environment.push_back(value);
    } else {
      return false;
    }
  }
  if (i + 1 != argv.size() || argv[i].rfind("--", 0) == 0) return false;
  o->package = argv[i];
  return true;
}

// Watches the windows until the package has ended (descendants false) or, after that,
// until every process it started has ended; true when that happened within limitMs.
bool Watch(const PROCESS_INFORMATION& pi, bool descendants, DWORD limitMs, ProcessTree* tree,
           Watcher* watcher) {
  DWORD begin = GetTickCount();
  for (;;) {
    tree->Refresh();
    watcher->Poll(*tree);
    int running = tree->ReapDescendants();
    if (descendants ? running == 0 : WaitForSingleObject(pi.hProcess, kPollMs) == WAIT_OBJECT_0) return true;
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

}  // namespace

int main() {
  g_start = GetTickCount();
  // The wide command line's arguments in UTF-8: the ANSI argv would lose every character
  // outside the code page.
  int argc = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::string> argv;
  for (int i = 0; wide && i < argc; ++i) argv.push_back(Utf8(wide[i]));
  LocalFree(wide);
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
    std::fprintf(stderr, "usage: driver [--OPTION VALUE]... PACKAGE | --print-temp | --print-short PATH\n");
    return 2;
  }
  // The package inherits the driver's environment; Wine takes TMP and TEMP from the
  // Windows side only, so they can be changed here and not from Linux.
  for (const std::string& assignment : options.environment) {
    size_t eq = assignment.find('=');
    SetEnvironmentVariableW(Wide(assignment.substr(0, eq)).c_str(), Wide(assignment.substr(eq + 1)).c_str());
  }
  std::wstring package = Wide(options.package);
  std::wstring commandLine = L"\"" + package + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(package.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    Log("start-failed", "error=" + Num(static_cast<long>(GetLastError())));
    return 4;
  }
  Log("start", "pid=" + Num(pi.dwProcessId) + " temp=" + Quote(TempPath()));

  ProcessTree tree(pi.dwProcessId);
  Watcher watcher(options);
  if (!Watch(pi, false, options.timeoutMs, &tree, &watcher)) {
    Log("timeout", "what=package");
    tree.TerminateDescendants();
    TerminateProcess(pi.hProcess, 1);
    return 3;
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  tree.Refresh();
  int running = tree.ReapDescendants();
  Log("exit", "code=" + std::to_string(static_cast<unsigned long>(code)) + " elapsed=" +
                  Num(static_cast<long>(GetTickCount() - g_start)) + " descendants_running=" + Num(running));
  if (running > 0 && options.descendantsTimeoutMs > 0) {
    if (!Watch(pi, true, options.descendantsTimeoutMs, &tree, &watcher)) {
      Log("timeout", "what=descendants");
      tree.TerminateDescendants();
      return 3;
    }
    Log("descendants-done", "");
  }
  return 0;
}

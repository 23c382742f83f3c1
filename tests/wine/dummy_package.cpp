// Stand-in package for checking the Wine test harness itself: shows a wait window of the
// package's look, runs scripted steps inside its start message the way the package runs
// its extraction (message boxes, pauses, starting a program), then exits with a chosen
// code. It writes what happened to a trace file so the harness tests can compare.
//
// Usage: dummy [--no-paint] [--no-dialog] [--trace FILE] [--exit CODE] STEP... [--after STEP...]
//   sleep=MS                 block for MS milliseconds (no messages pumped)
//   busy=MS                  keep the processor busy for MS milliseconds, as unpacking does
//   box=CAPTION|TEXT         MessageBoxA without owner; \r and \xNN escapes in both
//   launch=PROGRAM|ARGS|MS   start PROGRAM with "PROGRAM ARGS", end the dialog, wait up to
//                            MS ms, then try to delete PROGRAM (result traced)
// Steps before --after run inside the dialog's start message, the rest after the dialog.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Script {
  bool paint = true;
  bool dialog = true;
  std::string trace;
  unsigned long exitCode = 0;
  std::vector<std::string> during, after;
};

Script g_script;
bool g_started = false;
bool g_working = false;
HWND g_dialog = nullptr;

void Trace(const std::string& line) {
  if (g_script.trace.empty()) return;
  HANDLE f = CreateFileA(g_script.trace.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
}

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'r') {
      out += '\r';
      ++i;
    } else if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
      out += static_cast<char>(std::strtoul(s.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t begin = 0;
  for (size_t at; (at = s.find(sep, begin)) != std::string::npos; begin = at + 1) {
    parts.push_back(s.substr(begin, at - begin));
  }
  parts.push_back(s.substr(begin));
  return parts;
}

void EndWaitWindow() {
  if (g_dialog != nullptr) EndDialog(g_dialog, 0);
  g_dialog = nullptr;
}

void Launch(const std::string& launch) {
  std::vector<std::string> p = Split(launch, '|');
  std::string program = p[0];
  std::string commandLine = program + " " + (p.size() > 1 ? Unescape(p[1]) : "");
  DWORD waitMs = p.size() > 2 ? std::strtoul(p[2].c_str(), nullptr, 10) : 10000;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                NORMAL_PRIORITY_CLASS, nullptr, nullptr, &si, &pi);
  EndWaitWindow();
  DWORD waited = started ? WaitForSingleObject(pi.hProcess, waitMs) : WAIT_FAILED;
  BOOL deleted = DeleteFileA(program.c_str());
  Trace("launch started=" + std::to_string(started ? 1 : 0) +
        " timed_out=" + std::to_string(waited == WAIT_TIMEOUT ? 1 : 0) +
        " deleted=" + std::to_string(deleted ? 1 : 0));
}

void RunStep(const std::string& step) {
  size_t eq = step.find('=');
  std::string verb = step.substr(0, eq);
  std::string arg = eq == std::string::npos ? "" : step.substr(eq + 1);
  if (verb == "sleep") {
    Sleep(std::strtoul(arg.c_str(), nullptr, 10));
  } else if (verb == "busy") {
    DWORD until = GetTickCount() + std::strtoul(arg.c_str(), nullptr, 10);
    while (GetTickCount() < until) {
    }
  } else if (verb == "box") {
    std::vector<std::string> p = Split(arg, '|');
    MessageBoxA(nullptr, Unescape(p.size() > 1 ? p[1] : "").c_str(), Unescape(p[0]).c_str(),
                MB_OK);
  } else if (verb == "launch") {
    Launch(arg);
  }
  Trace("step-done " + verb);
}

INT_PTR CALLBACK WaitProc(HWND w, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      g_dialog = w;
      return FALSE;
    case WM_PAINT:
      if (!g_started) {
        g_started = true;
        PostMessageA(w, WM_USER, 0, 0);
      }
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      Trace("cancel during_work=" + std::to_string(g_working ? 1 : 0));
      EndWaitWindow();
      return TRUE;
    case WM_USER:
      if (g_script.paint) {
        // Under Wine the painted bits reach the X server when the thread next looks at
        // its queue; a busy thread that only redraws shows its text about 3 times in 4.
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        MSG pending;
        PeekMessageA(&pending, nullptr, 0, 0, PM_NOREMOVE);
      }
      g_working = true;
      for (const std::string& step : g_script.during) RunStep(step);
      g_working = false;
      EndWaitWindow();
      return TRUE;
    default:
      return FALSE;
  }
}

// A dialog template in memory: header, no menu, default class, title, then one static
// control with the wait text. Same style and sizes as the package's wait window.
std::vector<WORD> WaitTemplate() {
  std::vector<WORD> t;
  auto dword = [&t](DWORD v) {
    t.push_back(LOWORD(v));
    t.push_back(HIWORD(v));
  };
  auto text = [&t](const std::string& s) {
    for (unsigned char c : s) t.push_back(c);
    t.push_back(0);
  };
  dword(0x80C80880);  // WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME
  dword(0);
  for (WORD v : {1, 328, 278, 144, 44, 0, 0}) t.push_back(v);
  text("Velmora Software ");
  if (t.size() % 2 != 0) t.push_back(0);
  dword(WS_CHILD | WS_VISIBLE);
  dword(0);
  for (WORD v : {4, 10, 160, 30, 0, 0xFFFF, 0x0082}) t.push_back(v);
  text("Iniciando el asistente para la instalaci\xF3n.\rEspere un momento...");
  t.push_back(0);
  return t;
}

bool ParseScript(int argc, char** argv) {
  std::vector<std::string>* steps = &g_script.during;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--no-paint") {
      g_script.paint = false;
    } else if (a == "--no-dialog") {
      g_script.dialog = false;
    } else if (a == "--trace" && i + 1 < argc) {
      g_script.trace = argv[++i];
    } else if (a == "--exit" && i + 1 < argc) {
      g_script.exitCode = std::strtoul(argv[++i], nullptr, 0);
    } else if (a == "--after") {
      steps = &g_script.after;
    } else if (a.rfind("--", 0) == 0) {
      return false;
    } else {
      steps->push_back(a);
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!ParseScript(argc, argv)) return 2;
  if (g_script.dialog) {
    std::vector<WORD> t = WaitTemplate();
    INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr),
                                             reinterpret_cast<LPCDLGTEMPLATEA>(t.data()),
                                             nullptr, WaitProc, 0);
    Trace("dialog-result " + std::to_string(static_cast<long>(result)));
  }
  for (const std::string& step : g_script.after) RunStep(step);
  ExitProcess(g_script.exitCode);
}

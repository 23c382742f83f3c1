// POSIX stand-in for the message box and the modal dialog.
//
// A message box is written to standard error: "[caption]", the text with every carriage
// return as a line feed, then an empty line, in UTF-8. The trace records the caption, and
// the message's Windows-1252 bytes followed by the path's UTF-8 bytes as the text.
// The modal dialog is a small message queue that delivers WM_INITDIALOG, the first
// WM_PAINT and then every posted message to the dialog procedure until EndDialog; a
// message box shown meanwhile delivers the dialog's posted messages, as the message
// loop of a real message box does.
#include <stdio.h>

#include <deque>
#include <string>

#include "platform/platform.h"
#include "platform/posix/backend.h"

namespace plat {
namespace {

struct Posted { uint32_t message; uintptr_t wParam; intptr_t lParam; };

struct Dialog {
  WindowHandle window = 0;
  DialogProc procedure = nullptr;
  std::deque<Posted> queue;
  bool ended = false;
  intptr_t result = 0;
};

Dialog* g_dialog = nullptr;
std::function<void(const testing::MessageBoxCall&)> g_messageBoxHook;
std::function<bool(uint32_t)> g_dialogHook;

// The system's Windows-1252 message, then a UTF-8 path, as UTF-8 for the terminal, with
// every carriage return as a line feed.
std::string ForTerminal(const char* message, const char* path) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(message); *p; ++p)
    posix::AppendUtf8(out, *p == '\r' ? '\n' : posix::Cp1252CodePoint(*p));
  out += path ? path : "";
  return out;
}

void Deliver(Dialog& d, const Posted& m) {
  if (d.ended) return;
  if (g_dialogHook && !g_dialogHook(m.message)) return;
  d.procedure(d.window, m.message, m.wParam, m.lParam);
}

// Delivers what is queued, as a message loop does, until the queue is empty.
void Pump(Dialog& d) {
  while (!d.ended && !d.queue.empty()) {
    Posted m = d.queue.front();
    d.queue.pop_front();
    Deliver(d, m);
  }
}

}  // namespace

void ShowMessageBox(const char* message, const char* path, const char* caption) {
  auto& s = posix::Current();
  testing::MessageBoxCall call{caption ? caption : "", std::string(message ? message : "") + (path ? path : "")};
  s.trace.messageBoxes.push_back(call);
  if (!s.plan.quietMessageBoxes) {
    std::string out = "[";
    out += call.caption;
    out += "]\n";
    out += ForTerminal(message ? message : "", path);
    out += "\n\n";
    fputs(out.c_str(), stderr);
    fflush(stderr);
  }
  if (g_messageBoxHook) g_messageBoxHook(call);
  if (g_dialog) Pump(*g_dialog);
}

intptr_t RunModalDialog(const void* dialogTemplate, DialogProc procedure) {
  if (!dialogTemplate || !procedure || g_dialog) return -1;
  Dialog d;
  d.window = 0x00C0FFEE;
  d.procedure = procedure;
  g_dialog = &d;
  Deliver(d, {kWmInitDialog, 0, 0});
  // The first paint comes after the messages posted while the dialog was created.
  Pump(d);
  Deliver(d, {kWmPaint, 0, 0});
  Pump(d);
  g_dialog = nullptr;
  if (!d.ended) {
    // A real dialog would now wait for the user; the stand-in has nobody to wait for.
    fputs("sfx: the wait dialog is still open with no message left to deliver\n", stderr);
    return -1;
  }
  return d.result;
}

bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (!g_dialog || g_dialog->ended || window != g_dialog->window) return false;
  g_dialog->queue.push_back({message, wParam, lParam});
  return true;
}

void EndModalDialog(WindowHandle window, intptr_t result) {
  if (!g_dialog || window != g_dialog->window || g_dialog->ended) return;
  g_dialog->ended = true;
  g_dialog->result = result;
}

void PaintWindowNow(WindowHandle) {}

}  // namespace plat

namespace plat::testing {

void OnMessageBox(std::function<void(const MessageBoxCall&)> hook) { g_messageBoxHook = std::move(hook); }
void OnDialogMessage(std::function<bool(uint32_t)> hook) { g_dialogHook = std::move(hook); }
WindowHandle ActiveDialog() { return g_dialog && !g_dialog->ended ? g_dialog->window : 0; }

}  // namespace plat::testing

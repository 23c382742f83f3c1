// Win32 user-interface calls of the layer: message box and the modal dialog.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/wide.h"

namespace plat {
namespace {

DialogProc g_procedure = nullptr;

// Adapts the system's dialog procedure to the stdcall convention of Windows.
INT_PTR CALLBACK DialogTrampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return g_procedure(reinterpret_cast<WindowHandle>(window), message, wParam, lParam);
}

HWND W(WindowHandle w) { return reinterpret_cast<HWND>(w); }

}  // namespace

// The system's own texts are Windows-1252 whatever the machine's code page is.
constexpr UINT kWindows1252 = 1252;

void ShowMessageBox(const char* message, const char* path, const char* caption) {
  win32::WideText text(message, -1, kWindows1252, path);
  win32::WideText title(caption);
  MessageBoxW(nullptr, text.get(), title.get(), MB_OK);
}

intptr_t RunModalDialog(const void* dialogTemplate, DialogProc procedure) {
  g_procedure = procedure;
  return DialogBoxIndirectParamA(GetModuleHandleA(nullptr),
                                 static_cast<LPCDLGTEMPLATEA>(dialogTemplate), nullptr,
                                 DialogTrampoline, 0);
}

bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return PostMessageA(W(window), message, wParam, lParam) != FALSE;
}

void EndModalDialog(WindowHandle window, intptr_t result) { EndDialog(W(window), result); }

// RedrawWindow paints the dialog and its static text at once; a look at the queue
// afterwards (nothing is removed from it) lets the window system finish drawing before
// the caller blocks, which Wine needs to show the text every time.
void PaintWindowNow(WindowHandle window) {
  RedrawWindow(W(window), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
}

}  // namespace plat

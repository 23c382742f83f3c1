// The bundled example's setup program: tells what it received from the package.
//
// It writes the command line it was started with to "sfx-demo-received.txt" in the
// temporary directory (where the demo script reads it), and on Windows shows
// a small window for three seconds, then ends.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER || message == WM_CLOSE) {
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

static void ShowForAWhile(const char* text) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = "HelloSetup";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowA("HelloSetup", "Hello setup", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE,
                              200, 200, 520, 140, nullptr, nullptr, windowClass.hInstance, nullptr);
  CreateWindowA("STATIC", text, WS_CHILD | WS_VISIBLE, 10, 10, 490, 80, window, nullptr,
                windowClass.hInstance, nullptr);
  SetTimer(window, 1, 3000, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}
#endif

int main(int argc, char** argv) {
  char received[2048];
#ifdef _WIN32
  snprintf(received, sizeof received, "%s", GetCommandLineA());
  char temp[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof temp, temp);
  if (n == 0 || n >= sizeof temp) strcpy(temp, ".\\");
  char resultPath[MAX_PATH + 32];
  snprintf(resultPath, sizeof resultPath, "%ssfx-demo-received.txt", temp);
#else
  snprintf(received, sizeof received, "%s", argc > 1 ? argv[1] : "");
  const char* temp = getenv("TMPDIR");
  char resultPath[4096];
  snprintf(resultPath, sizeof resultPath, "%s/sfx-demo-received.txt", temp && *temp ? temp : "/tmp");
#endif
  (void)argc;
  (void)argv;
  if (FILE* f = fopen(resultPath, "wb")) {
    fputs(received, f);
    fclose(f);
  }
#ifdef _WIN32
  char text[2200];
  snprintf(text, sizeof text, "Hello from the example setup program.\r\nIt received:\r\n%s", received);
  ShowForAWhile(text);
#endif
  return 0;
}

// The operating-system layer: every call the system makes outside itself goes through here.
//
// The system keeps Windows conventions everywhere above this layer: paths with "\" (or
// "/") separators, DOS dates and times, Win32 message numbers. Two backends implement
// it: platform/win32 with the real Win32 calls, and platform/posix, a stand-in that lets
// every step run on Linux and that tests can drive with injected faults
// (platform/testing.h).
//
// Texts. Paths and names are 8-bit strings holding UTF-8, so that every name the file
// system can hold reaches it unchanged. The Win32 backend converts them to UTF-16 at
// this boundary and calls the "W" functions; a text that is not valid UTF-8 names no
// file (the call fails) rather than a different one. The system's own messages are
// Windows-1252 text: ShowMessageBox takes them as such and shows the same characters on
// every machine. The stand-in behaves as a Windows machine whose ANSI code page is
// Windows-1252, with the Linux file system's UTF-8 names as the "W" side.
//
// Nothing here throws; failures come back as the values the Win32 calls would give.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace plat {

struct ByteString;

// A file handle as a pointer-sized value; kInvalidFile is INVALID_HANDLE_VALUE.
using FileHandle = intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

// --- Reading the package -------------------------------------------------------------

// Opens an existing file for reading, shared for reading (CreateFileW with GENERIC_READ,
// FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL).
[[nodiscard]] FileHandle OpenForReading(const char* path);

// The file's size (GetFileSize); false when it cannot be read.
[[nodiscard]] bool QueryFileSize(FileHandle file, uint32_t* size);

// Where SeekFile measures its distance from (FILE_BEGIN, FILE_CURRENT, FILE_END).
enum MoveMethod : uint16_t { kFromBeginning = 0, kFromCurrent = 1, kFromEnd = 2 };

// Moves the file position (SetFilePointer without a high part). Returns the new
// position, or -1 (0xFFFFFFFF) on failure, when the position is left where it was.
[[nodiscard]] int32_t SeekFile(FileHandle file, int32_t distance, MoveMethod method);

// Reads up to `count` bytes (ReadFile, synchronous). *got receives the number of bytes
// read: 0 at the end of the file and after a failure. Returns ReadFile's success flag.
bool ReadBytes(FileHandle file, void* buffer, uint32_t count, uint32_t* got);

// --- Writing output files ------------------------------------------------------------

// Creates or replaces a file for writing (CreateFileW with GENERIC_WRITE,
// FILE_SHARE_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL).
[[nodiscard]] FileHandle CreateOutputFile(const char* path);

// Writes `count` bytes (WriteFile); *written receives what the system accepted.
bool WriteBytes(FileHandle file, const void* data, uint32_t count, uint32_t* written);

// Gives the file a DOS date and time as creation, last-access and last-write time,
// with no conversion from local time (DosDateTimeToFileTime, then SetFileTime).
bool SetDosFileTime(FileHandle file, uint16_t dosDate, uint16_t dosTime);

// Closes any handle of this layer (CloseHandle).
bool CloseFileHandle(FileHandle file);

// --- Paths -----------------------------------------------------------------------------

// True when FindFirstFileW finds anything for the name or pattern ("dir\*.*" included);
// the search handle is closed again at once.
[[nodiscard]] bool FindAnyMatch(const char* pattern);

// CreateDirectoryW without security attributes.
bool MakeDirectory(const char* path);

// DeleteFileW.
bool RemoveFile(const char* path);

// RemoveDirectoryW: removes an empty directory only.
bool RemoveEmptyDirectory(const char* path);

// A buffer of `size` bytes holds a path of (size - 1) / kUtf8BytesPerUnit characters
// (UTF-16 units) in UTF-8 with its terminator, whatever the characters.
inline constexpr uint32_t kUtf8BytesPerUnit = 3;

// GetTempPathW with room for (size - 1) / 3 characters: the user's temporary directory
// with a trailing "\", in UTF-8. Returns the bytes written, or 0 when nothing was
// written (failure, or a path of more characters than that).
uint32_t QueryTempPath(char* buffer, uint32_t size);

// GetModuleFileNameW(NULL) with room for (size - 1) / 3 characters: the running
// program's full path in UTF-8, zero-terminated, cut to that many characters. Returns
// the bytes written.
uint32_t QuerySelfPath(char* buffer, uint32_t size);

// GetShortPathNameW: the short (8.3) form of an existing path, in UTF-8. False when the
// system gives none (the call fails, or the volume keeps no short names and the path
// comes back as it was) or memory runs out.
[[nodiscard]] bool QueryShortPath(const char* path, ByteString& out);

// --- Text encodings ---------------------------------------------------------------------

// 8-bit text in the machine's ANSI code page (GetACP; Windows-1252 in the stand-in) to
// UTF-8, character for character as the "A" calls read it. False when memory runs out.
[[nodiscard]] bool AnsiToUtf8(const char* text, uint32_t count, ByteString& out);

// UTF-8 to the ANSI code page. False when a character has no exact form there (no
// best-fit substitute is taken), the text is not UTF-8, or memory runs out.
[[nodiscard]] bool Utf8ToAnsi(const char* text, uint32_t count, ByteString& out);

// --- User interface -------------------------------------------------------------------

// MessageBoxW with no owner window and MB_OK; the result is not needed. The text is
// `message`, Windows-1252 (the system's own texts, shown as the same characters on
// every machine), followed by `path`, UTF-8 (null for none); the caption is UTF-8 (a
// path, or the system's own ASCII captions).
void ShowMessageBox(const char* message, const char* path, const char* caption);
inline void ShowMessageBox(const char* message, const char* caption) { ShowMessageBox(message, nullptr, caption); }

// A window as a 32-bit value, the way the dialog code keeps it (0 and -1 included).
using WindowHandle = intptr_t;

// The Win32 message numbers the dialog code handles.
inline constexpr uint32_t kWmPaint = 0x000F;
inline constexpr uint32_t kWmInitDialog = 0x0110;
inline constexpr uint32_t kWmCommand = 0x0111;
inline constexpr uint32_t kWmUser = 0x0400;
inline constexpr uint32_t kIdCancel = 2;

// A dialog procedure in the system's own calling convention; the backend adapts it to
// the operating system's.
using DialogProc = intptr_t (*)(WindowHandle window, uint32_t message, uintptr_t wParam,
                                intptr_t lParam);

// Runs a modal dialog from an in-memory DLGTEMPLATE (DialogBoxIndirectParamA with the
// module instance, no owner window and an initial parameter of 0). Returns the value
// given to EndModalDialog, or -1 when the dialog cannot be created.
intptr_t RunModalDialog(const void* dialogTemplate, DialogProc procedure);

// PostMessageA.
bool PostWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                       intptr_t lParam);

// EndDialog.
void EndModalDialog(WindowHandle window, intptr_t result);

// Paints the window and its children now (RedrawWindow with RDW_UPDATENOW and
// RDW_ALLCHILDREN), so that it shows its content while the caller blocks.
void PaintWindowNow(WindowHandle window);

// --- Processes ---------------------------------------------------------------------------

enum class StartResult : uint8_t { kStarted, kFailed, kNeedsElevation };

// Starts a program (CreateProcessW with the application name given, the command line in
// a writable buffer, both UTF-8, no inheritance, NORMAL_PRIORITY_CLASS, the caller's environment and
// current directory, shown with SW_SHOW). `arguments` is the part of the command line
// after the program, for backends that pass arguments separately (the stand-in hands it
// to the program in its ANSI form, as GetCommandLineA would show it, where every
// character has one). On kStarted,
// *process receives the process handle.
[[nodiscard]] StartResult StartProcess(const char* application, char* commandLine,
                                       const char* arguments, FileHandle* process);

// Starts a program that needs elevation (ShellExecuteExW with SEE_MASK_NOCLOSEPROCESS).
[[nodiscard]] bool StartElevatedProcess(const char* application, const char* arguments,
                                        FileHandle* process);

// WaitForSingleObject on a process handle with a time-out in milliseconds. True when
// the process ended within the time.
bool WaitForProcess(FileHandle process, uint32_t milliseconds);

// Restricts where the process loads DLLs from to the system directory
// (SetDefaultDllDirectories, where Windows has it). Call before anything else.
void RestrictLibrarySearch();

// Sleep.
void PauseMilliseconds(uint32_t milliseconds);

// --- Failures ----------------------------------------------------------------------------

// The system's code for why the last call of this layer failed (GetLastError). Read it
// right after the failed call, before any other call of the layer.
[[nodiscard]] uint32_t LastFailureCode();

// The system's own text for a failure code as UTF-8 (FormatMessageW from the system, in
// the user's language), without its trailing line break, zero-terminated and cut to fit
// the buffer; the code's number when the system has no text for it. Returns its length.
uint32_t DescribeFailure(uint32_t code, char* buffer, uint32_t size);

// --- Program ----------------------------------------------------------------------------

// The program's own main, defined by the program and called by the backend's entry point
// once the process is set up. Its result is the process's exit code.
int ProgramMain();

// --- Memory -------------------------------------------------------------------------------

// The process heap. Allocate returns nullptr when memory runs out.
[[nodiscard]] void* Allocate(size_t size);
void Release(void* block);

}  // namespace plat

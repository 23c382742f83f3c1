// Fault injection and call tracing for the POSIX backend: tests use this to make the
// layer fail where the Win32 calls can fail, and to observe what the system asked of it.
// Host builds only; the Windows program has no such hooks. Without any plan the backend
// already keeps one Windows rule that matters here: the file of a program it started
// and that still runs can be neither replaced (CreateOutputFile fails) nor deleted.
// Files can live in memory instead of the file system (UseMemoryFiles), for tests and
// fuzzing that need speed.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace plat::testing {

// What the layer should do wrong. A value of -1 (or false) leaves that call alone.
// Counters count calls from the moment the plan is installed, starting at 1.
struct FaultPlan {
  // Reads on files opened for reading: a read whose range reaches this file offset
  // delivers the bytes before it and then fails (returns false); later reads from at or
  // past the offset deliver nothing and fail.
  int64_t readFailsAtOffset = -1;
  // The Nth OpenForReading fails.
  int openFailsAtCall = -1;
  // Every read delivers at most this many bytes (a short but successful read).
  int64_t readChunkLimit = -1;
  // Output writes: after this many bytes in all have been accepted, writes fail; the
  // write that crosses the limit is short.
  int64_t writeFailsAfterBytes = -1;
  // The Nth output-file creation fails; a creation whose path contains the text fails.
  int createFailsAtCall = -1;
  std::string createFailsForPath;
  // The Nth close of an output file reports failure (the file is closed anyway).
  int outputCloseFailsAtCall = -1;
  bool everyOutputCloseFails = false;
  // The Nth seek fails and leaves the position alone.
  int seekFailsAtCall = -1;
  // The Nth heap allocation returns nullptr.
  int allocationFailsAtCall = -1;
  // MakeDirectory fails for paths that contain this text.
  std::string makeDirectoryFailsForPath;
  // QueryTempPath reports this text instead of $TMPDIR (set: true).
  bool overrideTempPath = false;
  std::string tempPath;
  // QuerySelfPath reports this text instead of /proc/self/exe (set: true).
  bool overrideSelfPath = false;
  std::string selfPath;
  // The first N deletions of a file fail, as while a program's file is still locked.
  int removeFileFailsTimes = 0;
  // StartProcess answers kNeedsElevation instead of starting the program.
  bool startNeedsElevation = false;
  // StartProcess fails with this errno value (LastFailureCode reports it) instead of
  // starting the program; 0 leaves it alone.
  int startFailsWithError = 0;
  // Message boxes are recorded but not written to standard error.
  bool quietMessageBoxes = false;
};

// `file` is the handle of the call: unique within one tree of memory files, while the
// file system reuses descriptors.
struct ReadCall { uint32_t asked; uint32_t got; };
struct WriteCall { uint32_t asked; uint32_t written; FileHandle file; };
// The caption (UTF-8), and the text: the message's Windows-1252 bytes followed by the
// path's UTF-8 bytes.
struct MessageBoxCall { std::string caption; std::string text; };
struct SeekCall { int32_t distance; int32_t result; FileHandle file; MoveMethod method; };
// An output-file creation and the handle it gave: kInvalidFile when it failed.
struct CreateCall { std::string path; FileHandle file; };
struct StartCall {
  std::string application;
  std::string commandLine;
  std::string arguments;
  std::vector<uint8_t> image = {};  // memory files: the program file's bytes at the start
};

// What the layer was asked to do since the plan was installed. Message boxes, process
// starts and waits are always recorded; the other calls only while a plan is installed.
struct Trace {
  std::vector<ReadCall> reads;          // on files opened with OpenForReading
  std::vector<WriteCall> writes;        // on output files
  std::vector<SeekCall> seeks;
  std::vector<MessageBoxCall> messageBoxes;
  std::vector<std::string> createdFiles;      // paths as the system gave them
  std::vector<CreateCall> creates;            // the same creations with their outcome
  std::vector<std::string> createdDirectories;
  std::vector<std::string> searches;          // FindAnyMatch patterns
  std::vector<StartCall> starts;
  std::vector<uint32_t> waits;                // WaitForProcess time-outs
  uint32_t removeAttempts = 0;                // RemoveFile calls
  int64_t liveAllocations = 0;                // allocations not yet released
  int64_t allocations = 0;
  int64_t liveBytes = 0;
  int64_t peakBytes = 0;
  uint32_t outputCloses = 0;
};

// Installs a plan and clears the trace.
void Install(const FaultPlan& plan);
// Back to no faults; the trace is cleared.
void Reset();
const Trace& Recorded();

// Called inside a message box of the system, before it returns (the message box's own
// message loop), and inside the modal dialog before each message is delivered: tests
// use these to act at a chosen moment, for instance to post a cancel to the dialog.
void OnMessageBox(std::function<void(const MessageBoxCall&)> hook);
// `message` is the message about to be delivered; return false to drop it.
void OnDialogMessage(std::function<bool(uint32_t message)> hook);
// Called after every seek while a plan is installed.
void OnSeek(std::function<void(const SeekCall&)> hook);
// The window of the running modal dialog, or 0.
WindowHandle ActiveDialog();

// Converts a Windows path of the system to the POSIX path the backend uses.
std::string ToPosixPath(const char* windowsPath);

// --- Files in memory -------------------------------------------------------------------
// While memory files are on, every file and directory the layer opens, creates, searches
// or removes lives in process memory, under the same POSIX paths and rules (errno
// included), and nothing touches the file system. Starting a program then executes
// nothing: a file that begins as a program does ("MZ", "#!", ELF) counts as started and
// runs until waited for; any other file fails as ENOEXEC. Pauses return at once.
// Install and Reset leave the files alone.

// Memory files on, with an empty tree that holds only "/".
void UseMemoryFiles();
// Back to the file system; the memory tree is dropped.
void UseRealFiles();
bool MemoryFilesOn();
// Stores a whole file, making the directories on its way. False when the path cannot
// hold a file (a directory of that name, a file on the way).
bool PutMemoryFile(const std::string& posixPath, const std::vector<uint8_t>& bytes);
bool PutMemoryDirectory(const std::string& posixPath);
// A file's bytes, or nullptr when the path names no file.
const std::vector<uint8_t>* MemoryFile(const std::string& posixPath);
// Every path in memory, sorted, directories ending in "/" (the root is "/").
std::vector<std::string> MemoryTree();

}  // namespace plat::testing

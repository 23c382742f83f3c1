// Starting the setup program and cleaning up.
//
// The command line is the program's path, one space, and the package's own path with
// every space written as 0xAC, so that the package's path is one token. Setup programs
// read that argument as 8-bit text in the ANSI code page, so the argument is built
// there: the package's path in the code page, each space as the byte 0xAC, and the
// result read back as the system reads that code page. A setup program calling
// GetCommandLineA then sees exactly these bytes; one calling GetCommandLineW sees the
// characters the code page gives them. A path the code page cannot write goes as its
// short (8.3) form, which an 8-bit setup program can open; on a volume without short
// names it goes as it is, each space as U+00AC. The program is
// started with its path as the application name as well, so that Windows does not search
// for other programs along an unquoted path with spaces; the path is quoted in the
// command line only when it has a space, so that argument parsers still see the
// package's path as the first argument. A program that needs elevation is started
// through the shell, which asks the user. A start that fails is reported with the
// system's reason once the wait window is gone. The package waits at most 10 seconds:
// the setup program usually copies itself elsewhere and goes on.
#include "launcher/launch.h"

#include "archive/extract.h"
#include "launcher/branding.h"
#include "launcher/dialog.h"
#include "launcher/startup.h"
#include "platform/platform.h"

namespace {

const char kStartFailedText[] = "No puedo ejecutar el programa de instalaci\xF3n\r\r";
const char kStartFailedCode[] = "\r\rError #SFXEJI#";
constexpr uint32_t kReasonSize = 256 * plat::kUtf8BytesPerUnit + 1;  // the system's reason, UTF-8
constexpr uint32_t kKeptAfterOccurrence = 999;
constexpr int kDeleteAttempts = 10;
constexpr uint32_t kDeleteRetryMilliseconds = 100;

// One pass: every occurrence of `find` in `text` becomes `replacement`.
bool ReplacePass(plat::ByteString& text, const char* find, uint32_t findLength, const char* replacement,
                 uint32_t replacementLength) {
  int32_t p;
  while ((p = text.Find(find, findLength)) >= 0) {
    uint32_t after = static_cast<uint32_t>(p) + findLength;
    uint32_t kept = text.length - after;
    if (kept > kKeptAfterOccurrence) kept = kKeptAfterOccurrence;
    plat::ScopedByteString next;
    if (!next.Assign(text.data, static_cast<uint32_t>(p)) || !next.Append(replacement, replacementLength) ||
        !next.Append(text.data + after, kept) || !text.Assign(next.data, next.length))
      return false;
  }
  return true;
}

bool ComposeCommandLine(const plat::ByteString& path, const plat::ByteString& arguments,
                        plat::ByteString& commandLine) {
  bool quote = path.Find(" ", 1) >= 0;
  return commandLine.Assign("\"", quote ? 1 : 0) && commandLine.AppendString(path) &&
         commandLine.Append("\"", quote ? 1 : 0) && commandLine.Append(" ", 1) &&
         commandLine.AppendString(arguments);
}

// Deletes the setup program's file. Right after the program ended its file can stay
// locked for a moment, so the deletion is retried briefly then.
void DeleteInstaller(const plat::ByteString& path, bool programEnded) {
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    if (plat::RemoveFile(path.Text()) || !programEnded) return;
    plat::PauseMilliseconds(kDeleteRetryMilliseconds);
  }
}

// The setup program's path and the system's reason why it did not start. Some of the
// system's texts name the program as "%1" ("%1 is not a valid Win32 application"): the
// path goes there.
void ReportStartFailure(const plat::ByteString& installerPath, uint32_t failure) {
  char buffer[kReasonSize];
  (void)plat::DescribeFailure(failure, buffer, sizeof buffer);
  // The message's own words are Windows-1252; the path and the system's reason are UTF-8.
  plat::ScopedByteString reason, withPath, tail;
  if (reason.AppendText(buffer) && ReplaceAll(reason, "%1", installerPath.Text(), withPath) &&
      tail.AppendString(installerPath) && tail.AppendText("\r\r") && tail.AppendString(withPath) &&
      tail.AppendText(kStartFailedCode))
    plat::ShowMessageBox(kStartFailedText, tail.Text(), PackageCaption());
}

void RemoveTempDirIfEmpty() {
  plat::ScopedByteString directory;
  if (!directory.AppendText(TempDir)) return;
  if (directory.length > 0 && directory.data[directory.length - 1] == '\\') directory.Truncate(directory.length - 1);
  if (directory.length > 2) (void)plat::RemoveEmptyDirectory(directory.Text());
}

}  // namespace

bool ReplaceAll(const plat::ByteString& s, const char* find, const char* replacement, plat::ByteString& out) {
  static const char kPlaceholder[] = "\x01";
  uint32_t findLength = plat::TextLength(find);
  if (!out.Assign(s.Text(), s.length)) return false;
  if (findLength == 0) return true;
  return ReplacePass(out, find, findLength, kPlaceholder, 1) &&
         ReplacePass(out, kPlaceholder, 1, replacement, plat::TextLength(replacement));
}

bool BuildInstallerArguments(plat::ByteString& out) {
  static const char kNotSign[] = "\xC2\xAC";  // U+00AC in UTF-8
  uint32_t length = plat::TextLength(SelfPath);
  plat::ScopedByteString ansi, shortPath, spaced;
  if (!plat::Utf8ToAnsi(SelfPath, length, ansi) &&
      !(plat::QueryShortPath(SelfPath, shortPath) && plat::Utf8ToAnsi(shortPath.data, shortPath.length, ansi))) {
    plat::ScopedByteString self;
    return self.Assign(SelfPath, length) && ReplaceAll(self, " ", kNotSign, out);
  }
  return ReplaceAll(ansi, " ", "\xAC", spaced) && plat::AnsiToUtf8(spaced.data, spaced.length, out);
}

void LaunchInstaller(const plat::ByteString& installerPath, const plat::ByteString& arguments) {
  plat::ScopedByteString commandLine;
  plat::FileHandle process = plat::kInvalidFile;
  plat::StartResult started = plat::StartResult::kFailed;
  uint32_t failure = 0;
  if (ComposeCommandLine(installerPath, arguments, commandLine)) {
    started = plat::StartProcess(installerPath.Text(), commandLine.data, arguments.Text(), &process);
    if (started == plat::StartResult::kNeedsElevation)
      started = plat::StartElevatedProcess(installerPath.Text(), arguments.Text(), &process)
                    ? plat::StartResult::kStarted
                    : plat::StartResult::kFailed;
    if (started != plat::StartResult::kStarted) failure = plat::LastFailureCode();
  }
  EndWaitDialog();
  bool ended = false;
  if (started == plat::StartResult::kStarted) {
    ended = plat::WaitForProcess(process, kInstallerWaitMilliseconds);
    (void)plat::CloseFileHandle(process);
  } else {
    ReportStartFailure(installerPath, failure);
  }
  DeleteInstaller(installerPath, ended);
  RemoveTempDirIfEmpty();
}

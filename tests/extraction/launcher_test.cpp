// The launcher through the stand-in: the whole package run in-process (start-up, wait
// dialog, extraction, setup program, clean-up, outcome), the dialog's template and
// state machine, the argument encoding and the destination's composition.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>

#include <errno.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "archive/extract.h"
#include "archive/record.h"
#include "launcher/dialog.h"
#include "launcher/launch.h"
#include "launcher/startup.h"
#include "tests/extraction/extraction_fixture.h"

namespace {

using sfxtest::Bytes;
using sfxtest::Content;
using sfxtest::Message;
using sfxtest::Record;
using sfxtest::StoredRecord;

const char kCaption[] = "Velmora Software";
const std::string kNothingUnpacked =
    "No puedo reconstruir los archivos de instalaci\xF3n.\r\rNo puc reconstruir els arxius "
    "d'instal\xB7laci\xF3.\r\rCannot reconstruct installation archives.\r\rhelp@example.com\r"
    "help.example.com\r\rError #SFXNRA#";
const std::string kNoTempDir =
    "No puedo usar la carpeta temporal para descomprimir los archivos de instalaci\xF3n.\r\r"
    "No puc fer servir la carpeta temporal per descomprimir els arxius d'instal\xB7laci\xF3.\r\r"
    "Cannot use the temporary folder to uncompress installation archives.\r\rError #SFXETD#";

// A setup program for the stand-in: a script that records its argument and stays up.
Record SetupScript(const std::string& name, const std::string& resultFile, double seconds = 0) {
  std::string script = "#!/bin/sh\nprintf '%s' \"$1\" > '" + resultFile + "'\n";
  if (seconds > 0) script += "sleep " + std::to_string(seconds) + "\n";
  return StoredRecord(name, script);
}

class LauncherTest : public sfxtest::ExtractionTest {
 protected:
  void SetUp() override {
    ExtractionTest::SetUp();
    ResetProcessState();
  }
  void TearDown() override {
    ResetProcessState();
    ExtractionTest::TearDown();
  }
  static void ResetProcessState() {
    DialogWindow = 0;
    ExtractionPending = true;
    StartPosted = false;
    ExtractedAny = false;
    InstallerPath.Release();
    if (ArchiveHandle != plat::kInvalidFile) (void)plat::CloseFileHandle(ArchiveHandle);
    ArchiveHandle = plat::kInvalidFile;
  }
  // Writes the package under `packageName` (relative to the test folder) and runs it.
  std::vector<Message> Run(const std::vector<Record>& records, plat::testing::FaultPlan plan = {},
                           const std::string& packageName = "package.exe") {
    std::string path = *dir_ / packageName;
    sfxtest::WriteFile(path, sfxtest::BuildPackage(records));
    return RunFile(path, plan);
  }
  std::vector<Message> RunFile(const std::string& path, plat::testing::FaultPlan plan) {
    plan.overrideSelfPath = true;
    plan.selfPath = path;
    if (!plan.overrideTempPath) plan.tempPath = dir_->path() + "\\";
    plan.overrideTempPath = true;
    Install(plan);
    EXPECT_EQ(RunPackage(), 0);
    std::vector<Message> out;
    for (auto& m : trace().messageBoxes) out.push_back({m.caption, m.text});
    return out;
  }
  std::string Completed() const { return std::string("Instalaci\xF3n completada en\r\r") + dir_->path() + "\\_I_\\"; }
  // The message for a setup program at `name` under the destination that did not start.
  std::string StartFailed(const std::string& name, int error) const {
    return "No puedo ejecutar el programa de instalaci\xF3n\r\r" + destText() + name + "\r\r" + strerror(error) +
           "\r\rError #SFXEJI#";
  }
};

TEST_F(LauncherTest, FilesWithoutASetupProgramEndWithTheCompletionMessage) {
  auto messages = Run({StoredRecord("readme.txt", "hi"), StoredRecord("setup.exe", "lowercase does not count")});
  EXPECT_EQ(messages, (std::vector<Message>{{kCaption, Completed()}}));
  EXPECT_EQ(Tree(), (std::vector<std::string>{"readme.txt", "setup.exe"}));
  EXPECT_EQ(DialogWindow, -1);
}

// The setup program reads its argument as 8-bit text in the ANSI code page (Windows-1252
// here): the package's path there, each space as 0xAC. A path the code page cannot write
// (and with no short form in the stand-in) goes in UTF-8, each space as U+00AC. The
// trace holds the command line as UTF-8, as CreateProcessW gets it.
TEST_F(LauncherTest, TheSetupProgramGetsThePackagePathWithSpacesAs0xAC) {
  struct Case { std::string folder, argument, inCommandLine; };
  const Case cases[] = {
      {"my folder", "my\xAC" "folder/the\xAC", "my\xC2\xAC" "folder/the\xC2\xAC"},
      {"caf\xC3\xA9 \xC2\xB7", "caf\xE9\xAC\xB7/the\xAC", "caf\xC3\xA9\xC2\xAC\xC2\xB7/the\xC2\xAC"},  // Windows-1252
      {"Pawe\xC5\x82 x", "Pawe\xC5\x82\xC2\xACx/the\xC2\xAC", "Pawe\xC5\x82\xC2\xACx/the\xC2\xAC"},  // not in it
  };
  for (const Case& c : cases) {
    ResetProcessState();
    std::string result = *dir_ / "argument";
    mkdir((*dir_ / c.folder).c_str(), 0755);
    auto messages = Run({SetupScript("SETUP.EXE", result)}, {}, c.folder + "/the package.exe");
    EXPECT_TRUE(messages.empty());
    std::string argument = dir_->path() + "/" + c.argument + "package.exe";
    EXPECT_EQ(Content(result), argument) << c.folder;
    // It ended within the wait and was the only file: its file and the folder are gone.
    EXPECT_FALSE(sfxtest::Exists(dest()));
    ASSERT_EQ(trace().starts.size(), 1u);
    EXPECT_EQ(trace().starts[0].commandLine,
              destText() + "SETUP.EXE " + dir_->path() + "/" + c.inCommandLine + "package.exe");
    EXPECT_EQ(trace().waits, (std::vector<uint32_t>{10000}));
  }
}

TEST_F(LauncherTest, ALockedFileOfAnEndedProgramIsDeletedOnASecondTry) {
  std::string result = *dir_ / "argument";
  plat::testing::FaultPlan plan;
  plan.removeFileFailsTimes = 3;
  EXPECT_TRUE(Run({SetupScript("SETUP.EXE", result)}, plan).empty());
  EXPECT_EQ(trace().removeAttempts, 4u);
  EXPECT_FALSE(sfxtest::Exists(dest()));
}

TEST_F(LauncherTest, OtherFilesStayAndSoDoesTheFolder) {
  std::string result = *dir_ / "argument";
  EXPECT_TRUE(Run({StoredRecord("data.bin", "d"), SetupScript("SETUP.EXE", result)}).empty());
  EXPECT_EQ(Tree(), (std::vector<std::string>{"data.bin"}));
  EXPECT_TRUE(sfxtest::Exists(result));
}

TEST_F(LauncherTest, AnInstallerPathWithASpaceIsQuotedInTheCommandLine) {
  std::string result = *dir_ / "argument";
  EXPECT_TRUE(Run({SetupScript("My Setup/SETUP.EXE", result)}).empty());
  ASSERT_EQ(trace().starts.size(), 1u);
  EXPECT_EQ(trace().starts[0].application, destText() + "My Setup\\SETUP.EXE");
  EXPECT_EQ(trace().starts[0].commandLine.substr(0, 1), "\"");
  EXPECT_TRUE(sfxtest::Exists(result));
}

TEST_F(LauncherTest, ASetupProgramThatCannotStartIsReportedAndDeleted) {
  struct Case { const char* what; std::string content; int injected; int reason; };
  const Case cases[] = {
      {"not a program", "\x7F" "not a program", 0, ENOEXEC},
      {"access denied", "#!/bin/sh\n", EACCES, EACCES},
  };
  for (const Case& c : cases) {
    FreshFolder();
    plat::testing::FaultPlan plan;
    plan.startFailsWithError = c.injected;
    auto messages = Run({StoredRecord("SETUP.EXE", c.content)}, plan);
    EXPECT_EQ(messages, (std::vector<Message>{{kCaption, StartFailed("SETUP.EXE", c.reason)}})) << c.what;
    EXPECT_FALSE(sfxtest::Exists(dest())) << c.what;
    EXPECT_TRUE(trace().waits.empty()) << c.what;
    EXPECT_EQ(DialogWindow, -1) << c.what;
    ResetProcessState();
  }
}

// After the extraction one message at most tells how it went: the completion only when
// every record was unpacked whole and there is no setup program; the failure when the
// setup program was not written whole by this run; nothing more after an early end that
// was already reported.
TEST_F(LauncherTest, TheOutcomeIsToldOnceAndTruthfully) {
  auto plan = [](auto set) { plat::testing::FaultPlan p; set(p); return p; };
  Record damaged = StoredRecord("data.bin", "payload");
  damaged.crc32 = 1;
  Record method9 = StoredRecord("odd.bin", "x");
  method9.method = 9;
  const Message badName{kCaption, "Error al extraer el nombre de un componente.\r\rError #SFXENC#"};
  const Message unknownMethod{kCaption, "Compresi\xF3n desconocida.\r\rArchivo da\xF1" "ado.\r\rError #SFXMCD#"};
  const Message nothing{kCaption, kNothingUnpacked};
  const std::string created = "Error al abrir el archivo\r\rError #SFXEAA#";
  struct Case {
    const char* what;
    std::vector<Record> records;
    plat::testing::FaultPlan plan;
    std::vector<Message> messages;  // a caption starting with "\\" is under the destination
  };
  const std::vector<Case> cases = {
      {"setup program not created", {StoredRecord("SETUP.EXE", "x"), StoredRecord("a.txt", "a")},
       plan([](auto& p) { p.createFailsForPath = "SETUP.EXE"; }), {{"\\SETUP.EXE", created}, nothing}},
      {"setup program is a folder", {StoredRecord("SETUP.EXE/", ""), StoredRecord("a.txt", "a")}, {},
       {{"\\SETUP.EXE\\", created}, nothing}},
      {"setup program cut short", {StoredRecord("SETUP.EXE", "#!/bin/sh\n")},
       plan([](auto& p) { p.writeFailsAfterBytes = 4; }),
       {{"\\SETUP.EXE", "Error al escribir el archivo\r\rError #SFXEEA#"}, nothing}},
      {"damaged entry after the setup program", {SetupScript("SETUP.EXE", "/nonexistent/x"), damaged}, {},
       {{"\\data.bin", "Archivo da\xF1" "ado.\r\rError #SFXCRC#"}, nothing}},
      {"a file not created, no setup program", {StoredRecord("a.txt", "a"), StoredRecord("b.txt", "b")},
       plan([](auto& p) { p.createFailsForPath = "a.txt"; }), {{"\\a.txt", created}}},
      {"a refused name, no setup program", {StoredRecord("a.txt", "a"), StoredRecord("../x", "b")}, {}, {badName}},
      {"an unknown method, no setup program", {StoredRecord("a.txt", "a"), method9}, {}, {unknownMethod}},
  };
  for (const Case& c : cases) {
    FreshFolder();
    auto messages = Run(c.records, c.plan);
    for (Message& m : messages)
      if (m.caption.rfind(destText(), 0) == 0) m.caption = "\\" + m.caption.substr(destText().size());
    EXPECT_EQ(messages, c.messages) << c.what;
    EXPECT_TRUE(trace().starts.empty()) << c.what;
    ResetProcessState();
  }
}

// A setup program of an earlier run that still runs keeps its file: this run cannot
// replace it, and must not start the old one in its place.
TEST_F(LauncherTest, ASetupProgramStillRunningFromAnEarlierRunIsNotStarted) {
  ASSERT_EQ(mkdir(dest().c_str(), 0755), 0);
  std::string old = dest() + "/SETUP.EXE", pidFile = *dir_ / "pid";
  sfxtest::WriteFile(old, sfxtest::ToBytes("#!/bin/sh\necho $$ > '" + pidFile + "'\nexec sleep 30\n"));
  Install({});
  plat::FileHandle process = plat::kInvalidFile;
  ASSERT_EQ(plat::StartProcess(old.c_str(), nullptr, "", &process), plat::StartResult::kStarted);
  for (int i = 0; i < 500 && !(sfxtest::Exists(pidFile) && Content(pidFile).find('\n') != std::string::npos); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  auto messages = Run({StoredRecord("SETUP.EXE", "new"), StoredRecord("a.txt", "a")});
  EXPECT_EQ(messages, (std::vector<Message>{{destText() + "SETUP.EXE", "Error al abrir el archivo\r\rError #SFXEAA#"},
                                            {kCaption, kNothingUnpacked}}));
  EXPECT_TRUE(trace().starts.empty());
  EXPECT_NE(Content(old), "new");
  kill(std::atoi(Content(pidFile).c_str()), SIGKILL);
  EXPECT_TRUE(plat::WaitForProcess(process, 5000));
}

TEST_F(LauncherTest, ElevationIsAskedForWhenTheProgramNeedsIt) {
  std::string result = *dir_ / "argument";
  plat::testing::FaultPlan plan;
  plan.startNeedsElevation = true;
  EXPECT_TRUE(Run({SetupScript("SETUP.EXE", result)}, plan).empty());
  ASSERT_EQ(trace().starts.size(), 2u);
  EXPECT_EQ(trace().starts[1].commandLine, "(elevated)");
  EXPECT_TRUE(sfxtest::Exists(result));
  EXPECT_EQ(trace().waits, (std::vector<uint32_t>{10000}));
}

TEST_F(LauncherTest, NoMarkerNoOpenAndNothingUnpacked) {
  std::string plain = *dir_ / "plain.exe";
  sfxtest::WriteFile(plain, Bytes(500, 0x42));
  auto messages = RunFile(plain, {});
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("Installation program is damaged."), std::string::npos);
  EXPECT_EQ(messages[0].text.substr(messages[0].text.size() - 14), "Error #SFXAID#");

  plat::testing::FaultPlan plan;
  plan.openFailsAtCall = 2;  // the scan opens it first, then the package is kept open
  messages = Run({StoredRecord("a", "b")}, plan);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text.substr(messages[0].text.size() - 14), "Error #SFXNDA#");
  EXPECT_FALSE(sfxtest::Exists(dest()));

  // The marker is there but no whole record follows it.
  Bytes markerOnly = sfxtest::FakeStub();
  Bytes record = sfxtest::Scramble(sfxtest::BuildArchive({StoredRecord("a", "b")}));
  markerOnly.insert(markerOnly.end(), record.begin(), record.begin() + 20);
  std::string cut = *dir_ / "cut.exe";
  sfxtest::WriteFile(cut, markerOnly);
  messages = RunFile(cut, {});
  EXPECT_EQ(messages, (std::vector<Message>{{kCaption, kNothingUnpacked}}));
}

TEST_F(LauncherTest, ACancelBeforeTheStartMessageUnpacksNothing) {
  plat::testing::OnDialogMessage([](uint32_t message) {
    if (message == plat::kWmPaint)
      (void)plat::PostWindowMessage(plat::testing::ActiveDialog(), plat::kWmCommand, plat::kIdCancel, 0);
    return true;
  });
  auto messages = Run({StoredRecord("a.txt", "x")});
  EXPECT_EQ(messages, (std::vector<Message>{{kCaption, kNothingUnpacked}}));
  EXPECT_FALSE(sfxtest::Exists(dest()));
}

TEST_F(LauncherTest, ACancelDuringAMessageBoxEndsTheDialogButNotTheWork) {
  std::string result = *dir_ / "argument";
  plat::testing::OnMessageBox([](const plat::testing::MessageBoxCall&) {
    (void)plat::PostWindowMessage(plat::testing::ActiveDialog(), plat::kWmCommand, plat::kIdCancel, 0);
  });
  plat::testing::FaultPlan plan;
  plan.createFailsForPath = "locked.txt";
  auto messages = Run({StoredRecord("locked.txt", "x"), StoredRecord("more.txt", "y"), SetupScript("SETUP.EXE", result)}, plan);
  ASSERT_EQ(messages.size(), 1u);  // the create failure only
  EXPECT_TRUE(sfxtest::Exists(dest() + "/more.txt"));
  EXPECT_TRUE(sfxtest::Exists(result));  // the setup program still ran
  EXPECT_EQ(DialogWindow, -1);
}

TEST_F(LauncherTest, TheWaitEndsAfterTenSecondsAndTheRunningProgramStays) {
  std::string result = *dir_ / "argument";
  auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(Run({SetupScript("SETUP.EXE", result, 13)}).empty());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_GE(seconds, 9.9);
  EXPECT_LT(seconds, 12.5);
  EXPECT_TRUE(sfxtest::Exists(dest() + "/SETUP.EXE"));  // in use: not deleted
  EXPECT_EQ(trace().removeAttempts, 1u);                 // and not tried again after a time-out
  std::system(("pkill -f '" + dest() + "/SETUP.EXE'").c_str());
}

TEST_F(LauncherTest, MessagesAfterTheEndAreIgnored) {
  DialogWindow = -1;
  for (uint32_t message : {plat::kWmInitDialog, plat::kWmPaint, plat::kWmUser, plat::kWmCommand})
    EXPECT_EQ(WaitDialogProc(0x1234, message, plat::kIdCancel, 0), 0) << message;
  EXPECT_EQ(DialogWindow, -1);
  EXPECT_FALSE(StartPosted);
  EXPECT_TRUE(ExtractionPending);
}

TEST_F(LauncherTest, ThePaintMessagePostsTheStartOnce) {
  int starts = 0;
  plat::testing::OnDialogMessage([&](uint32_t message) {
    if (message == plat::kWmUser) {
      ++starts;
      // More paints while the start is queued post nothing more.
      WaitDialogProc(plat::testing::ActiveDialog(), plat::kWmPaint, 0, 0);
      WaitDialogProc(plat::testing::ActiveDialog(), plat::kWmPaint, 0, 0);
    }
    return true;
  });
  Run({StoredRecord("a.txt", "x")});
  EXPECT_EQ(starts, 1);
}

TEST_F(LauncherTest, TheTemplateIsLaidOutFieldByField) {
  BuildWaitDialogTemplate();
  const uint8_t* t = WaitDialogTemplate;
  EXPECT_EQ(ReadLe32(t + 0), 0x80C80880u);
  EXPECT_EQ(ReadLe32(t + 4), 0u);
  EXPECT_EQ(ReadLe16(t + 8), 1);
  EXPECT_EQ((std::vector<uint16_t>{ReadLe16(t + 10), ReadLe16(t + 12), ReadLe16(t + 14), ReadLe16(t + 16)}),
            (std::vector<uint16_t>{328, 278, 144, 44}));
  std::string title;
  for (int i = 0; i < 17; ++i) title += static_cast<char>(ReadLe16(t + 22 + 2 * i));
  EXPECT_EQ(title, "Velmora Software ");
  EXPECT_EQ(ReadLe16(t + 56), 0);
  EXPECT_EQ(ReadLe32(t + 60), 0x50000000u);
  EXPECT_EQ((std::vector<uint16_t>{ReadLe16(t + 68), ReadLe16(t + 70), ReadLe16(t + 72), ReadLe16(t + 74), ReadLe16(t + 76)}),
            (std::vector<uint16_t>{4, 10, 160, 30, 0}));
  EXPECT_EQ(ReadLe32(t + 78), 0x0082FFFFu);
  std::string text;
  for (int i = 0; i < 64; ++i) text += static_cast<char>(ReadLe16(t + 82 + 2 * i));
  EXPECT_EQ(text, "Iniciando el asistente para la instalaci\xF3n.\rEspere un momento...");
  EXPECT_EQ(ReadLe16(t + 82 + 2 * 40), 0x00F3);  // widened by zero extension
  for (int i = 210; i < 278; ++i) EXPECT_EQ(t[i], 0) << i;
}

TEST_F(LauncherTest, ReplaceAllGoesThroughAPlaceholder) {
  struct Case { std::string s, find, replacement, expected; };
  const Case cases[] = {
      {"C:\\My Files\\a b.exe", " ", "\xAC", "C:\\My\xAC" "Files\\a\xAC" "b.exe"},
      {"no-spaces", " ", "\xAC", "no-spaces"},
      {"a\x01" "b c", " ", "_", "a_b_c"},   // a placeholder byte already there also comes out replaced
      {"a b c", " ", "  ", "a  b  c"},      // the replacement contains what is replaced
      {"", " ", "x", ""},
  };
  for (const Case& c : cases) {
    plat::ScopedByteString in, out;
    ASSERT_TRUE(in.Assign(c.s.data(), static_cast<uint32_t>(c.s.size())));
    ASSERT_TRUE(ReplaceAll(in, c.find.c_str(), c.replacement.c_str(), out));
    EXPECT_EQ(std::string(out.Text(), out.length), c.expected) << c.s;
  }
}

// The destination goes under an existing temporary folder, or nowhere: without one, or
// with one too long for "_I_\", the package says so and unpacks nothing.
TEST_F(LauncherTest, TheDestinationIsUnderAnExistingTemporaryFolder) {
  std::string base = dir_->path();
  for (char& c : base) if (c == '/') c = '\\';
  std::string fits = base + "\\" + std::string(250 - base.size() - 1, 'd');  // 250 characters
  std::string over = fits + "e";
  ASSERT_EQ(mkdir(plat::testing::ToPosixPath(fits.c_str()).c_str(), 0755), 0);
  ASSERT_EQ(mkdir(plat::testing::ToPosixPath(over.c_str()).c_str(), 0755), 0);
  struct Case { std::string temp, expected; };  // expected empty: no destination
  const Case cases[] = {
      {base + "\\", base + "\\_I_\\"},
      {base, base + "\\_I_\\"},
      {fits, fits + "\\_I_\\"},           // exactly 255
      {fits + "\\", fits + "\\_I_\\"},
      {over, ""},                         // no room
      {over + "\\", ""},
      {"", ""},
      {base + "\\missing\\", ""},
  };
  for (const Case& c : cases) {
    plat::testing::FaultPlan plan;
    plan.overrideTempPath = true;
    plan.tempPath = c.temp;
    Install(plan);
    EXPECT_EQ(ComposeTempDir(), !c.expected.empty()) << c.temp;
    if (!c.expected.empty()) EXPECT_EQ(std::string(TempDir), c.expected) << c.temp.size();
  }
  plat::testing::FaultPlan plan;
  plan.overrideTempPath = true;
  plan.tempPath = over;
  EXPECT_EQ(Run({StoredRecord("a.txt", "x")}, plan), (std::vector<Message>{{kCaption, kNoTempDir}}));
  EXPECT_TRUE(trace().createdDirectories.empty());
  EXPECT_TRUE(trace().createdFiles.empty());
}

TEST_F(LauncherTest, ALongProgramPathIsCutTo255Characters) {
  std::string longName = std::string(300, 'p');
  auto messages = RunFile("/nonexistent/" + longName, {});
  EXPECT_EQ(strlen(SelfPath), 255u);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text.substr(messages[0].text.size() - 14), "Error #SFXAID#");
}

}  // namespace

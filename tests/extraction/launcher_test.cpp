// The launcher through the stand-in: the whole package run in-process (start-up, wait
// dialog, extraction, setup program, clean-up, outcome), the dialog's state machine, the
// argument encoding and the destination's composition.
#include <errno.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>


#include "archive/extract.h"
#include "launcher/dialog.h"
#include "launcher/startup.h"
#include "tests/extraction/extraction_fixture.h"

namespace {

using namespace sfxtest;
using plat::testing::FaultPlan;

// A setup program for the stand-in: a script that writes its argument to "argument" in
// the folder above the destination (its own path up to "/_I_/").
Record SetupScript(const std::string& name) {
  return StoredRecord(name, "#!/bin/sh\nprintf '%s' \"$1\" > \"${0%%/_I_/*}/argument\"\n");
}

// The box of a setup program under the destination that did not start.
Message StartFailed(const std::string& name, int error) {
  return {kCaption, "No puedo ejecutar el programa de instalaci\xF3n\r\r\\" + name + "\r\r" + strerror(error) +
                        "\r\rError #SFXEJI#"};
}

class LauncherTest : public ExtractionTest {
 protected:
  // Writes the package under `packageName` (relative to the test folder) and runs it.
  std::vector<Message> Run(const std::vector<Record>& records, FaultPlan plan = {},
                           const std::string& packageName = "package.exe") {
    WriteFile(*dir_ / packageName, BuildPackage(records));
    plan.overrideSelfPath = true;
    plan.selfPath = *dir_ / packageName;
    if (!plan.overrideTempPath) plan.tempPath = folder() + "\\";
    plan.overrideTempPath = true;
    Install(plan);
    EXPECT_EQ(RunPackage(), 0);
    return Messages();
  }
  std::string argument() const { return *dir_ / "argument"; }
};

struct RunCase {
  const char* name;
  std::vector<Record> records;
  std::vector<Message> messages;     // the destination written as "\"
  std::vector<std::string> listing;  // what stays in the destination; none: it is removed
  std::vector<std::string> starts;   // the programs started, under the destination
  bool ran;                          // the setup program ran (and the package waited for it)
  uint32_t removes;                  // attempts to delete a file
  FaultPlan plan = {};
  void (*hook)() = nullptr;          // set up before the run
};

// Hooks: a click on Cancel when the wait window first paints, or while a message box shows.
void CancelOnFirstPaint() {
  plat::testing::OnDialogMessage([](uint32_t message) {
    if (message == plat::kWmPaint)
      (void)plat::PostWindowMessage(plat::testing::ActiveDialog(), plat::kWmCommand, plat::kIdCancel, 0);
    return true;
  });
}
void CancelDuringABox() {
  plat::testing::OnMessageBox([](const plat::testing::MessageBoxCall&) {
    (void)plat::PostWindowMessage(plat::testing::ActiveDialog(), plat::kWmCommand, plat::kIdCancel, 0);
  });
}

// After the extraction one message at most tells how it went: the completion only when
// every record was unpacked whole and there is no setup program; the failure when the
// setup program was not written whole by this run; nothing more after an early end that
// was already reported. The setup program is deleted after it ran, or failed to start.
std::vector<RunCase> RunCases() {
  auto plan = [](auto edit) { return With(FaultPlan{}, edit); };
  Record a = StoredRecord("a.txt", "a"), setup = SetupScript("SETUP.EXE");
  return {
      {"NoSetupProgram", {StoredRecord("readme.txt", "hi"), StoredRecord("setup.exe", "lowercase")},
       {{kCaption, "Instalaci\xF3n completada en\r\r\\"}}, {"readme.txt=hi", "setup.exe=lowercase"}, {}, false, 0},
      {"SetupProgramRuns", {setup}, {}, {}, {"SETUP.EXE"}, true, 1},
      {"LockedFileDeletedOnALaterTry", {setup}, {}, {}, {"SETUP.EXE"}, true, 4,
       plan([](FaultPlan& p) { p.removeFileFailsTimes = 3; })},
      {"OtherFilesStay", {StoredRecord("data.bin", "d"), setup}, {}, {"data.bin=d"}, {"SETUP.EXE"}, true, 1},
      {"SetupPathWithASpace", {SetupScript("My Setup/SETUP.EXE")}, {}, {"My Setup/"}, {"My Setup\\SETUP.EXE"}, true, 1},
      {"Elevated", {setup}, {}, {}, {"SETUP.EXE", "SETUP.EXE (elevated)"}, true, 1,
       plan([](FaultPlan& p) { p.startNeedsElevation = true; })},
      {"NotAProgram", {StoredRecord("SETUP.EXE", "\x7F" "not a program")}, {StartFailed("SETUP.EXE", ENOEXEC)}, {},
       {"SETUP.EXE"}, false, 1},
      {"AccessDenied", {StoredRecord("SETUP.EXE", "#!/bin/sh\n")}, {StartFailed("SETUP.EXE", EACCES)}, {}, {"SETUP.EXE"},
       false, 1, plan([](FaultPlan& p) { p.startFailsWithError = EACCES; })},
      {"SetupProgramNotCreated", {StoredRecord("SETUP.EXE", "x"), a}, {{"\\SETUP.EXE", kCreateFailed}, kNothingUnpacked},
       {"a.txt=a"}, {}, false, 0, plan([](FaultPlan& p) { p.createFailsForPath = "SETUP.EXE"; })},
      {"DamagedEntryAfterTheSetupProgram",
       {StoredRecord("SETUP.EXE", "x"), With(StoredRecord("data.bin", "payload"), [](Record& r) { r.crc32 = 1; })},
       {{"\\data.bin", kDamaged}, kNothingUnpacked}, {"SETUP.EXE=x", "data.bin=payload"}, {}, false, 0},
      {"FileNotCreatedNoSetupProgram", {a, StoredRecord("b.txt", "b")}, {{"\\a.txt", kCreateFailed}}, {"b.txt=b"}, {},
       false, 0, plan([](FaultPlan& p) { p.createFailsForPath = "a.txt"; })},
      {"CancelBeforeTheStart", {a}, {kNothingUnpacked}, {}, {}, false, 0, {}, CancelOnFirstPaint},
      // The cancel ends the wait window, not the work: the setup program still runs.
      {"CancelDuringABox", {StoredRecord("locked.txt", "x"), StoredRecord("more.txt", "y"), setup},
       {{"\\locked.txt", kCreateFailed}}, {"more.txt=y"}, {"SETUP.EXE"}, true, 1,
       plan([](FaultPlan& p) { p.createFailsForPath = "locked.txt"; }), CancelDuringABox},
  };
}

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class RunCaseTest : public LauncherTest, public testing::WithParamInterface<RunCase> {};

TEST_P(RunCaseTest, MessagesFilesAndPrograms) {
  const RunCase& c = GetParam();
  if (c.hook) c.hook();
  EXPECT_EQ(Run(c.records, c.plan), c.messages);
  EXPECT_EQ(Listing(), c.listing);
  EXPECT_EQ(Exists(dest()), !c.listing.empty());
  EXPECT_EQ(DialogWindow, -1);
  std::vector<std::string> starts;
  for (const auto& s : trace().starts) {
    starts.push_back(s.application.substr(strlen(::TempDir)) + (s.commandLine == "(elevated)" ? " (elevated)" : ""));
    if (s.commandLine != "(elevated)") EXPECT_EQ(s.commandLine[0] == '"', starts.back().find(' ') != std::string::npos);
  }
  EXPECT_EQ(starts, c.starts);
  EXPECT_EQ(Exists(argument()), c.ran);
  EXPECT_EQ(trace().waits, c.ran ? std::vector<uint32_t>{10000} : std::vector<uint32_t>{});
  EXPECT_EQ(trace().removeAttempts, c.removes);
}

INSTANTIATE_TEST_SUITE_P(Packages, RunCaseTest, testing::ValuesIn(RunCases()),
                         [](const testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

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
    ResetProgramState();
    mkdir((*dir_ / c.folder).c_str(), 0755);
    EXPECT_TRUE(Run({SetupScript("SETUP.EXE")}, {}, c.folder + "/the package.exe").empty());
    EXPECT_EQ(Content(argument()), dir_->path() + "/" + c.argument + "package.exe") << c.folder;
    ASSERT_EQ(trace().starts.size(), 1u);
    EXPECT_EQ(trace().starts[0].commandLine,
              std::string(::TempDir) + "SETUP.EXE " + dir_->path() + "/" + c.inCommandLine + "package.exe");
  }
}

// A package that cannot be opened again after the marker scan: a message, and nothing
// unpacked. (A file without the marker: the Wine suite's package of the stub alone.)
TEST_F(LauncherTest, APackageNotOpenedAgainUnpacksNothing) {
  auto messages = Run({StoredRecord("a", "b")}, With(FaultPlan{}, [](FaultPlan& p) { p.openFailsAtCall = 2; }));
  ASSERT_EQ(messages.size(), 1u);  // the scan opens it first, then the package is kept open
  EXPECT_EQ(messages[0].text.substr(messages[0].text.size() - 14), "Error #SFXNDA#");
  EXPECT_FALSE(Exists(dest()));
}

// The destination goes under an existing temporary folder, or nowhere: without one, or
// with one too long for "_I_\", the package says so and unpacks nothing.
TEST_F(LauncherTest, TheDestinationIsUnderAnExistingTemporaryFolder) {
  std::string base = folder();
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
    Install(With(FaultPlan{}, [&](FaultPlan& p) { p.overrideTempPath = true; p.tempPath = c.temp; }));
    EXPECT_EQ(ComposeTempDir(), !c.expected.empty()) << c.temp;
    if (!c.expected.empty()) EXPECT_EQ(std::string(::TempDir), c.expected) << c.temp.size();
  }
  auto messages = Run({StoredRecord("a.txt", "x")}, With(FaultPlan{}, [&](FaultPlan& p) {
                        p.overrideTempPath = true;
                        p.tempPath = over;
                      }));
  EXPECT_EQ(messages, (std::vector<Message>{{kCaption,
      "No puedo usar la carpeta temporal para descomprimir los archivos de instalaci\xF3n.\r\r"
      "No puc fer servir la carpeta temporal per descomprimir els arxius d'instal\xB7laci\xF3.\r\r"
      "Cannot use the temporary folder to uncompress installation archives.\r\rError #SFXETD#"}}));
  EXPECT_TRUE(trace().createdDirectories.empty());
  EXPECT_TRUE(trace().createdFiles.empty());
}

}  // namespace

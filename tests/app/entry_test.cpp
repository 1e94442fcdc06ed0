#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "app/entry.h"
#include "sim_fixture.h"
#include "ui/main_form.h"

namespace {

constexpr char kPath[] = "C:\\Program Files\\Ortavel\\OrvRapidStart.exe";
constexpr char kMutex[] = "OrvRapidStart.exe";
constexpr os::Handle kRunningWindow = 0x5150;

struct StartRow {
  const char* name;
  std::string commandLine;
  bool otherInstance;  // its mutex exists
  bool otherWindow;    // its TApplication window exists
  bool expected;
  bool posts;          // 0x819E posted and 5000 ms waited
  bool createsMutex;
  bool logOpen;
  const char* firstLogLine;
};

std::string Quoted(const std::string& args) { return std::string("\"") + kPath + "\"" + args; }

class Entry : public SimTest {};

TEST_F(Entry, CanStartTable) {
  const std::string shortPath = "C:\\PROGRA~1\\Ortavel\\OrvRapidStart.exe";
  const StartRow rows[] = {
      {"first start", Quoted(""), false, false, true, false, true, false, "\""},
      {"first start with /DEBUG", Quoted(" /DEBUG"), false, false, true, false, true, true, "\" /DEBUG"},
      {"lower-case and longer switches count", Quoted(" /debugging"), false, false, true, false, true, true,
       "\" /DEBUGGING"},
      {"unquoted path", std::string(kPath) + " /Debug", false, false, true, false, true, true, " /DEBUG"},
      {"path in another letter case", "\"c:\\program files\\ortavel\\orvrapidstart.EXE\" /debug", false, false,
       true, false, true, true, "\" /DEBUG"},
      {"second start", Quoted(""), true, true, false, false, false, false, "\""},
      {"second start with /DEBUG", Quoted(" /DEBUG"), true, true, false, false, false, true, "\" /DEBUG"},
      {"/UNINSTALL with a running instance", Quoted(" /uninstall"), true, true, false, true, false, false,
       "\" /UNINSTALL"},
      {"/UNINSTALL while its window is gone", Quoted(" /UNINSTALL"), true, false, false, false, false, false,
       "\" /UNINSTALL"},
      {"/UNINSTALL alone creates no mutex", Quoted(" /UNINSTALL /DEBUG"), false, false, false, false, false, true,
       "\" /UNINSTALL /DEBUG"},
      {"a short path", shortPath + " /UNINSTALL /DEBUG", false, false, false, false, false, true,
       " /UNINSTALL /DEBUG"},
      {"a short path with a running instance", shortPath + " /UNINSTALL", true, true, false, true, false, false,
       " /UNINSTALL"},
      {"a bare name, as a batch file writes it", "OrvRapidStart.exe\t/debug", false, false, true, false, true, true,
       "\t/DEBUG"},
      {"a relative path in quotes", "\"..\\Ortavel\\OrvRapidStart.exe\" /DEBUG", false, false, true, false, true,
       true, " /DEBUG"},
      {"a name alone", "OrvRapidStart", false, false, true, false, true, false, ""},
      {"a quote that is never closed", "\"C:\\Ortavel /DEBUG", false, false, true, false, true, false, ""},
  };
  for (const StartRow& r : rows) {
    SimPc pc;  // a machine of its own for each row
    ScopedOs seam(pc);
    pc.ModulePath = kPath;
    pc.CommandLine = r.commandLine;
    if (r.otherInstance) pc.OtherMutexes.insert(kMutex);
    if (r.otherWindow) pc.Windows.push_back({"TApplication", "OrvRapidStart", kRunningWindow});

    EXPECT_EQ(CanStart(), r.expected) << r.name;
    ASSERT_EQ(pc.Posted.size(), r.posts ? 1u : 0u) << r.name;
    if (r.posts) {
      EXPECT_EQ(pc.Posted[0].window, kRunningWindow);
      EXPECT_EQ(pc.Posted[0].msg, 0x819Eu);
      EXPECT_EQ(pc.Posted[0].wParam, 0u);
      EXPECT_EQ(pc.Posted[0].lParam, 0);
    }
    EXPECT_EQ(pc.SleptMs, r.posts ? 5000u : 0u) << r.name;
    EXPECT_EQ(pc.Count(Call::CreateMutexA), r.createsMutex ? 1 : 0) << r.name;
    TDebugConsole& log = GetDebugConsole();
    EXPECT_EQ(log.Enabled(), r.logOpen) << r.name;
    if (r.logOpen)
      EXPECT_EQ(pc.ConsoleText(), std::string("\r\n") + r.firstLogLine) << r.name;
    else
      EXPECT_EQ(log.PendingLines(), std::vector<std::string>{r.firstLogLine}) << r.name;
    ResetServices();
  }
}

TEST_F(Entry, MutexIsNamedAfterTheExecutableFile) {
  pc.ModulePath = "D:\\tools\\Copy Of Rapid.EXE";
  pc.CommandLine = "\"D:\\tools\\Copy Of Rapid.EXE\"";
  pc.OtherMutexes.insert(kMutex);  // another copy under the usual name runs
  EXPECT_TRUE(CanStart());
  EXPECT_EQ(pc.CreatedMutexes, std::set<std::string>{"Copy Of Rapid.EXE"});
  EXPECT_EQ(pc.OpenHandles(), 1) << "the winner keeps its mutex handle open";
}

TEST_F(Entry, SimultaneousStartLosesWhenCreationFindsTheMutex) {
  pc.ModulePath = kPath;
  pc.CommandLine = Quoted("");
  // The other copy created the mutex between our look-up and our creation.
  pc.OtherMutexes.insert(kMutex);
  pc.FailNth(Call::OpenMutexA, 1, os::kErrorFileNotFound);
  EXPECT_FALSE(CanStart());
  EXPECT_EQ(pc.Count(Call::CreateMutexA), 1);
  EXPECT_EQ(pc.OpenHandles(), 0) << "the losing handle is closed";
}

TEST_F(Entry, MutexOfAnotherUsersElevatedCopyRefusesTheStart) {
  pc.ModulePath = kPath;
  pc.CommandLine = Quoted("");
  pc.FailNth(Call::CreateMutexA, 1, os::kErrorAccessDenied);
  EXPECT_FALSE(CanStart());
}

TEST_F(Entry, OtherMutexFailuresStillStart) {
  pc.ModulePath = kPath;
  pc.CommandLine = Quoted("");
  pc.FailNth(Call::OpenMutexA, 1, os::kErrorAccessDenied);
  pc.FailNth(Call::CreateMutexA, 1, os::kErrorInvalidParameter);
  EXPECT_TRUE(CanStart());
}

class FakeHost : public TApplicationHost {
 public:
  std::function<void(TMainForm&)> onRun;
  std::string title;
  std::vector<std::string> shown;
  int runs = 0;

  void Initialize(const std::string& t) override { title = t; }
  void Run(TMainForm& form) override {
    ++runs;
    if (onRun) onRun(form);
  }
  void ShowException(const std::string& message) override { shown.push_back(message); }
  void WaitForWorkers() override { ++waits; }
  int waits = 0;
};

TEST_F(Entry, RunCreatesTheMainWindowAndReleasesServicesAfterTheLoop) {
  pc.CommandLine = "\"" + pc.ModulePath + "\"";
  FakeHost host;
  host.onRun = [&](TMainForm& form) {
    EXPECT_EQ(MainForm, &form);
    EXPECT_EQ(form.Caption(), "Ortavel - Intel Rapid Start");
    EXPECT_EQ(form.ClientWidth(), 700);
    EXPECT_EQ(form.ClientHeight(), 349);
  };
  EXPECT_EQ(RunApplication(host), 0);
  EXPECT_EQ(host.title, "OrvRapidStart");
  EXPECT_EQ(host.runs, 1);
  EXPECT_EQ(host.waits, 1) << "the workers are waited for before the entry returns";
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(MainForm, nullptr);
  // The detector was released by the window's teardown: a new one queries again.
  const int queries = pc.Count(Call::GetVersionExA);
  GetOsVersion();
  EXPECT_EQ(pc.Count(Call::GetVersionExA), queries + 1);
}

TEST_F(Entry, RefusedStartShowsNothingAndReleasesTheLog) {
  pc.CommandLine = "\"" + pc.ModulePath + "\" /DEBUG";
  pc.OtherMutexes.insert(kMutex);
  FakeHost host;
  EXPECT_EQ(RunApplication(host), 0);
  EXPECT_EQ(host.runs, 0);
  EXPECT_EQ(pc.Count(Call::FreeConsole), 1);
}

TEST_F(Entry, EscapingExceptionsAreShownAndExitCodeStays0) {
  pc.CommandLine = "\"" + pc.ModulePath + "\"";
  FakeHost host;
  host.onRun = [](TMainForm&) { throw std::runtime_error("Disk gone"); };
  EXPECT_EQ(RunApplication(host), 0);

  ResetServices();
  pc.CreatedMutexes.clear();
  host.onRun = [](TMainForm&) { throw 42; };
  EXPECT_EQ(RunApplication(host), 0);
  EXPECT_EQ(host.shown, (std::vector<std::string>{"Disk gone", ""}));
}

TEST_F(Entry, WholeCommandLineSwitchesTheLogOnWhenTheArgumentsDidNot) {
  pc.CommandLine = "\"C:\\Tools /debug\\OrvRapidStart.exe\"";
  ASSERT_TRUE(CanStart());
  ASSERT_FALSE(GetDebugConsole().Enabled());
  auto form = std::make_unique<TMainForm>();  // holds 64 disk records: never on the stack
  EXPECT_TRUE(form->Session.DebugMode);
  EXPECT_TRUE(GetDebugConsole().Enabled());
  // The empty argument line held by the entry is replayed first.
  EXPECT_EQ(pc.ConsoleText().substr(0, 4), "\r\n\r\n");
}

TEST_F(Entry, DirectIoFamiliesSetUseIo) {
  struct Row {
    SimVersion version;
    bool useIo;
  };
  SimVersion xp = SimVersion::Make(2, 5, 1, 2600);
  SimVersion xp64 = SimVersion::Make(2, 5, 2, 3790);
  xp64.wow64 = true;
  xp64.nativeArchitecture = os::kProcessorArchitectureAmd64;
  SimVersion srv2003 = SimVersion::Make(2, 5, 2, 3790, "", 3);  // 32-bit: family -1
  const Row rows[] = {{xp, true}, {xp64, true}, {SimVersion::Make(2, 6, 1, 7601), false}, {srv2003, false}};
  for (const Row& r : rows) {
    ResetServices();
    pc.Version = r.version;
    auto form = std::make_unique<TMainForm>();
    EXPECT_EQ(form->Session.UseIo, r.useIo);
    EXPECT_EQ(form->Session.CanResize, !r.useIo);
  }
}

}  // namespace

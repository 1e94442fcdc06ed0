#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "partops/execute_program.h"
#include "partops/run_owner.h"
#include "platform/helper_command.h"
#include "shell/global.h"
#include "sim_fixture.h"

namespace {

// A simulated PC, a GUI queue and an owner of runs on it, wired as the
// session wires its own: output collected, ends counted.
class Runner : public QueueTest {
 protected:
  Runner() : runs(std::make_unique<TRunOwner>()) {
    runs->OnOutput = [this](const std::string& chunk) { reported += chunk; };
    runs->OnEnded = CountingEnds(nullptr);
  }
  ~Runner() override { runs.reset(); }

  void Program(const std::string& name, const std::string& text, uint32_t exitCode) {
    pc.Processes.Programs[name] = [=](const std::string&, SimPc&) { return SimChildResult{text, exitCode}; };
  }
  uint64_t Start(const std::string& commandLine) { return runs->Start(commandLine); }
  int32_t Result() const { return lastExitCode; }
  // The owner goes, as it does with its window, while its runs may still report.
  void CloseOwner() { runs.reset(); }

  std::unique_ptr<TRunOwner> runs;
  std::string reported;  // every chunk of output the runs reported, in order
};

TEST_F(Runner, ExitCodesAndOutput) {
  struct Row {
    const char* commandLine;
    uint32_t exitCode;
  };
  const Row rows[] = {{"tool", 0}, {"tool /x", 1}, {"C:\\bin\\tool.exe", 0x80042413u}, {"\"C:\\a b\\tool.exe\" y", 259}};
  for (const Row& r : rows) {
    pc.Processes.Programs["tool"] = [&](const std::string&, SimPc&) { return SimChildResult{"hi", r.exitCode}; };
    reported.clear();
    EXPECT_NE(Start(r.commandLine), 0u);
    EXPECT_TRUE(runs->Busy());
    ASSERT_TRUE(RunToEnd()) << r.commandLine;
    EXPECT_FALSE(runs->Busy());
    EXPECT_EQ(static_cast<uint32_t>(Result()), r.exitCode) << r.commandLine;
    EXPECT_EQ(reported, "hi");
    EXPECT_EQ(pc.Processes.Runs.back().Flags, 0u);
    EXPECT_EQ(pc.OpenHandles(), 0) << "pipe, process and thread handles are all closed";
  }
}

TEST_F(Runner, EmptyCommandLineEndsWith0AndStartsNothing) {
  lastExitCode = 5;
  Start("");
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Result(), 0);
  EXPECT_EQ(pc.Count(Call::CreateProcessA), 0);
  EXPECT_EQ(HeldLines().back(), "Error Code: 00000000");
}

// A program that cannot be started has failed: its run never ends as a
// success, whatever result an earlier run left.
TEST_F(Runner, MissingProgramEndsWithTheErrorOfItsStart) {
  lastExitCode = 0;
  Start("nosuchprogram /x");
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(static_cast<uint32_t>(Result()), 0x80070002u);
  EXPECT_EQ(HeldLines().back(), "Error Code: 80070002");
  EXPECT_EQ(pc.OpenHandles(), 0);
}

TEST_F(Runner, ExitCodeThatCannotBeReadIsMinus1) {
  Program("tool", "", 0);
  pc.FailNth(Call::GetExitCodeProcess, 1, os::kErrorAccessDenied);
  Start("tool");
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Result(), -1);
}

// Found by the property test (seed 777931): when our copy of the pipe's write
// end cannot be closed, the pipe never reports its end; the run must still
// end with the child, with its output.
TEST_F(Runner, RunEndsWithItsChildWhenTheWriteEndCannotBeClosed) {
  Program("tool", "line 1\r\nline 2\r\n", 4);
  pc.Processes.RunMs = 3000;
  pc.FailNth(Call::CloseHandle, 1, os::kErrorInvalidHandle);
  Start("tool");
  AdvanceMs(3500);
  Settle();
  EXPECT_EQ(runsEnded, 1) << "the run ended with its child";
  EXPECT_EQ(Result(), 4);
  EXPECT_EQ(reported, "line 1\r\nline 2\r\n");
}

// A failed wait says nothing of the child: its STILL_ACTIVE is not a result.
TEST_F(Runner, FailedWaitIsNotTakenForAnExitCode) {
  Program("tool", "", 0);
  pc.FailNth(Call::WaitForSingleObject, 1, os::kErrorInvalidHandle);
  Start("tool");
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Result(), TExecuteProgram::kExitCodeUnknown);
  EXPECT_EQ(pc.Count(Call::GetExitCodeProcess), 0);
}

TEST_F(Runner, LongOutputArrivesWholeInChunksOfAtMost2047Bytes) {
  std::string output;
  for (int i = 0; output.size() < 10000; ++i) output += "line " + std::to_string(i) + "\r\n";
  Program("tool", output, 0);
  pc.Processes.PipeBufferBytes = 65536;  // all of it waiting at once
  Start("tool");
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(reported, output);
  int reads = 0;
  for (const SimCall& c : pc.Calls)
    if (c.kind == Call::ReadFile) {
      ++reads;
      EXPECT_EQ(c.detail, "2047");
    }
  EXPECT_EQ(reads, static_cast<int>((output.size() + 2046) / 2047) + 1) << "every byte read, then the broken pipe";
}

TEST_F(Runner, OutputLeftInThePipeAfterTheChildEndedIsRead) {
  // The child is gone before the first read; everything it wrote still counts.
  Program("tool", std::string(3000, 'x') + "END", 0);
  pc.Processes.PipeBufferBytes = 1000;
  Start("tool");
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(reported.size(), 3003u);
  EXPECT_EQ(reported.substr(3000), "END");
}

TEST_F(Runner, ClosingTheWindowDuringARunIsSafe) {
  Program("tool", "late output", 3);
  pc.Processes.HoldChildren = true;
  Start("tool");
  Settle();
  CloseOwner();  // the owner goes (the window closes) while the worker may still report
  pc.ReleaseChildren();
  // Output hand-offs and the end still arrive; none may touch the freed
  // window (AddressSanitizer watches), and the runner still frees itself.
  ASSERT_TRUE(gui.PumpUntil([] { return TThread::LiveCount() == 0; }));
  gui.Pump();
  EXPECT_EQ(pc.OpenHandles(), 0);
}

TEST_F(Runner, FailedPreparationEndsLikeARun) {
  EXPECT_NE(runs->StartFailed(0x12345678), 0u);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Result(), 0x12345678);
  EXPECT_EQ(pc.Count(Call::CreateProcessA), 0);
}

// One run at a time: a second start while the first is in flight starts
// nothing, and the first run keeps its script lock.
TEST_F(Runner, SecondRunIsRefusedWhileOneIsInFlight) {
  Program("tool", "", 0);
  pc.Processes.HoldChildren = true;
  const uint64_t first = Start("tool");
  ASSERT_NE(first, 0u);
  EXPECT_EQ(Start("tool"), 0u);
  EXPECT_EQ(runs->StartFailed(1), 0u);
  EXPECT_EQ(HeldLines().back(), "Run refused: another run is still in flight");
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(pc.Processes.Runs.size(), 1u);
  EXPECT_GT(Start("tool"), first) << "a new run, with an identity of its own";
  ASSERT_TRUE(RunToEnd());
}

// A run's pipe ends are inheritable only while its own child is created:
// any other child started by the process inherits nothing of them, so it
// cannot hold this run's pipe open.
TEST_F(Runner, PipeEndsAreInheritableOnlyForTheirOwnChild) {
  Program("tool", "out", 0);
  std::vector<os::Handle> atCreate;
  pc.BeforeNth(Call::CreateProcessA, 1, [&] { atCreate = pc.InheritableHandles(); });
  Start("tool");
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(atCreate.size(), 2u) << "the run's own read and write ends";
  pc.BeforeNth(Call::CreatePipe, 1, [&] { atCreate = pc.InheritableHandles(); });
  // Made, and not yet in the window where its own child is created: another
  // thread's child started now must not get it.
  std::vector<os::Handle> afterPipe = {os::kInvalid};
  pc.BeforeNth(Call::SetHandleInformation, 1, [&] { afterPipe = pc.InheritableHandles(); });
  pc.Processes.HoldChildren = true;
  Start("tool");
  Settle();
  EXPECT_TRUE(atCreate.empty());
  EXPECT_TRUE(afterPipe.empty()) << "the pipe is made uninheritable";
  EXPECT_TRUE(pc.InheritableHandles().empty()) << "nothing stays inheritable while the child runs";
  ASSERT_TRUE(RunToEnd());
}

// A run that ends after the GUI has gone (its dispatcher uninstalled) ends
// quietly: its end is dropped, the runner goes, and its handles are closed.
TEST_F(Runner, RunOutlivingTheGuiEndsQuietly) {
  Program("tool", "late", 0);
  pc.Processes.HoldChildren = true;
  Start("tool");
  Settle();
  CloseOwner();
  gui.Close();
  InstallDispatcher(nullptr);
  pc.ReleaseChildren();
  for (int i = 0; i < 2000 && TThread::LiveCount() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(TThread::LiveCount(), 0);
  EXPECT_EQ(pc.OpenHandles(), 0);
}

TEST(HelperCommandLine, TargetIsTakenFromTheSystemFolder) {
  struct Row {
    const char* in;
    const char* out;
  };
  const Row rows[] = {
      {"diskpart.exe /S \"C:\\T\\DPINPUT.TXT\"", "\"C:\\Windows\\System32\\diskpart.exe\" /S \"C:\\T\\DPINPUT.TXT\""},
      {"\"diskpart.exe\" /S x", "\"C:\\Windows\\System32\\diskpart.exe\" /S x"},
      {"C:\\Tools\\diskpart.exe /S x", "C:\\Tools\\diskpart.exe /S x"},  // a full path is taken as it stands
      {"\"C:\\a b\\p.exe\" y", "\"C:\\a b\\p.exe\" y"},
      {"", ""},
  };
  for (const Row& r : rows) EXPECT_EQ(HelperTargetCommandLine(r.in, "C:\\Windows\\System32"), r.out) << r.in;
  EXPECT_EQ(HelperTargetCommandLine("diskpart.exe /S x", ""), "") << "no system folder: nothing to run";
}

TEST(HelperCommandLine, Unwrap) {
  struct Row {
    const char* in;
    const char* out;
  };
  const Row rows[] = {
      {"\"C:\\Orv\\amd64.exe\" \"diskpart.exe /S \"C:\\T mp\\DPINPUT.TXT\"\"", "diskpart.exe /S \"C:\\T mp\\DPINPUT.TXT\""},
      {"C:\\Orv\\amd64.exe \"diskpart.exe /S C:\\T\\DPINPUT.TXT\"", "diskpart.exe /S C:\\T\\DPINPUT.TXT"},
      {"amd64.exe   \"x\"  ", "x"},
      {"amd64.exe plain args", "plain args"},
      {"amd64.exe", ""},
      {"amd64.exe \"\"", ""},
      {"\"unterminated", ""},
      {"amd64.exe \"only opening", "\"only opening"},
  };
  for (const Row& r : rows) EXPECT_EQ(UnwrapHelperCommandLine(r.in), r.out) << r.in;
}

TEST(HResult, FromWin32) {
  EXPECT_EQ(os::HResultFromWin32(0), 0u);
  EXPECT_EQ(os::HResultFromWin32(2), 0x80070002u);
  EXPECT_EQ(os::HResultFromWin32(0x80042413u), 0x80042413u) << "already an HRESULT";
}

TEST(TextHelpers, BeforeBetweenAndPaths) {
  SimPc pc;
  ScopedOs seam(pc);
  EXPECT_EQ(TextBetween("{D3BFE2DE-3DAF}", "{", "}", ""), "D3BFE2DE-3DAF");
  EXPECT_EQ(TextBetween("a{b", "{", "}", "-"), "-");
  EXPECT_EQ(TextBetween("a}b{c", "{", "}", "-"), "-") << "the right marker must follow the left one";
  EXPECT_EQ(TextBetween("xABy", "a", "Y", "-"), "B");
  EXPECT_EQ(TextBetween("{}", "{", "}", "-"), "");
  EXPECT_EQ(TextBefore("key=value", "=", "-"), "key");
  EXPECT_EQ(TextBefore("key", "=", "-"), "-");
  EXPECT_EQ(ExtractFilePath("C:\\a b\\x.exe"), "C:\\a b\\");
  EXPECT_EQ(ExtractFilePath("x.exe"), "");
  EXPECT_EQ(ExtractFileName("C:\\a b\\x.exe"), "x.exe");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\t"), "C:\\t\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\t\\"), "C:\\t\\");
  EXPECT_EQ(IncludeTrailingBackslash(""), "\\");
}

}  // namespace

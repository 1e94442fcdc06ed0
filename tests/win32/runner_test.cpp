// The program runner against real child processes: orv_probe.exe emits
// output and exit codes on demand, and amd64.exe passes them through.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "partops/execute_program.h"
#include "partops/run_owner.h"
#include "platform/win32/win32_os.h"
#include "widgets/win32/dispatcher_win32.h"

namespace {

std::string BuildDir() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path = self;
  return path.substr(0, path.find_last_of('\\') + 1);
}

std::string Expected(std::size_t bytes) {
  std::string s(bytes, ' ');
  for (std::size_t i = 0; i < bytes; ++i) s[i] = i % 64 == 63 ? '\n' : static_cast<char>('0' + i % 10);
  return s;
}

class RealRunner : public ::testing::Test {
 protected:
  RealRunner() : seam_(os_), gui_(GetModuleHandleA(nullptr)) { InstallDispatcher(&gui_); }
  ~RealRunner() override { InstallDispatcher(nullptr); }

  // Pumps this thread's messages until done() holds or timeoutMs passes.
  static bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 60000) {
    const DWORD start = GetTickCount();
    MSG msg;
    while (!done() && GetTickCount() - start < timeoutMs) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    return done();
  }

  // Runs commandLine to its end through an owner of runs.
  void Run(const std::string& commandLine) {
    TRunOwner runs;
    bool ended = false;
    runs.OnOutput = [&](const std::string& chunk) { output += chunk; };
    runs.OnEnded = [&](uint64_t, int32_t code) {
      ended = true;
      result = code;
    };
    ASSERT_NE(runs.Start(commandLine), 0u);
    ASSERT_TRUE(PumpUntil([&] { return ended; })) << commandLine;
  }

  Win32Os os_;
  ScopedOs seam_;
  Win32Dispatcher gui_;
  std::string output;
  int32_t result = 12345;
  const std::string probe = "\"" + BuildDir() + "orv_probe.exe\"";
};

TEST_F(RealRunner, ExitCodesPassThrough) {
  for (const char* code : {"0", "1", "0x80042413"}) {
    Run(probe + " emit 0 " + code);
    EXPECT_EQ(static_cast<uint32_t>(result), std::stoul(code, nullptr, 0)) << code;
  }
}

TEST_F(RealRunner, EmptyCommandLineGives0) {
  Run("");
  EXPECT_EQ(result, 0);
}

TEST_F(RealRunner, MissingProgramEndsWithTheErrorOfItsStart) {
  Run("\"" + BuildDir() + "no such program.exe\" /x");
  EXPECT_EQ(static_cast<uint32_t>(result), 0x80070002u);
}

// Two runs of two owners at once: the second child, started while the
// first still runs, must not inherit the first run's pipe, or the first run
// would not see the end of its output until the second child ended.
TEST_F(RealRunner, OverlappingRunsEachSeeTheirOwnEnd) {
  TRunOwner slow, quick;
  DWORD slowEnd = 0, quickEnd = 0;
  slow.OnEnded = [&](uint64_t, int32_t) { slowEnd = GetTickCount(); };
  quick.OnEnded = [&](uint64_t, int32_t) { quickEnd = GetTickCount(); };
  const DWORD start = GetTickCount();
  ASSERT_NE(quick.Start(probe + " sleep 500"), 0u);
  ASSERT_NE(slow.Start(probe + " sleep 4000"), 0u);
  ASSERT_TRUE(PumpUntil([&] { return slowEnd != 0 && quickEnd != 0; }));
  EXPECT_LT(quickEnd - start, 3000u) << "the quick run waited for the slow child";
  EXPECT_GE(slowEnd - start, 3900u);
}

TEST_F(RealRunner, LargeOutputArrivesWhole) {
  Run(probe + " emit 100000 3");
  EXPECT_EQ(result, 3);
  EXPECT_EQ(output.size(), 100000u);
  EXPECT_TRUE(output == Expected(100000)) << "a chunk was lost, repeated or reordered";
}

TEST_F(RealRunner, PathWithBlanks) {
  const std::string dir = BuildDir() + "dir with blanks\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((BuildDir() + "orv_probe.exe").c_str(), (dir + "probe copy.exe").c_str(), FALSE));
  Run("\"" + dir + "probe copy.exe\" emit 5000 9");
  EXPECT_EQ(result, 9);
  EXPECT_EQ(output, Expected(5000));
}

TEST_F(RealRunner, Amd64HelperPassesOutputAndExitCodeThrough) {
  const std::string dir = BuildDir() + "dir with blanks\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  CopyFileA((BuildDir() + "orv_probe.exe").c_str(), (dir + "probe copy.exe").c_str(), FALSE);
  // The quoted inner command line holds a quoted path of its own.
  Run("\"" + BuildDir() + "amd64.exe\" \"\"" + dir + "probe copy.exe\" emit 7000 0x80042413\"");
  EXPECT_EQ(static_cast<uint32_t>(result), 0x80042413u);
  EXPECT_EQ(output, Expected(7000));
}

// The helper takes a bare program name from its own system folder, never
// from the folder it sits in.
TEST_F(RealRunner, Amd64HelperRunsBareNamesFromTheSystemFolderOnly) {
  Run("\"" + BuildDir() + "amd64.exe\" \"cmd.exe /c exit 7\"");
  EXPECT_EQ(result, 7);
  Run("\"" + BuildDir() + "amd64.exe\" \"orv_probe.exe emit 0 5\"");
  EXPECT_EQ(static_cast<uint32_t>(result), 0x80070002u) << "orv_probe.exe beside the helper must not be found";
}

TEST_F(RealRunner, Amd64HelperReportsAMissingProgram) {
  Run("\"" + BuildDir() + "amd64.exe\" \"C:\\no\\such.exe\"");
  EXPECT_EQ(static_cast<uint32_t>(result) & 0xFFFF0000u, 0x80070000u);
}

}  // namespace

// The program runner against real child processes: orv_probe.exe emits
// output and exit codes on demand, and amd64.exe passes them through.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "partops/execute_program.h"
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

  // Runs commandLine to its end, pumping this thread's messages meanwhile.
  void Run(const std::string& commandLine) {
    bool ended = false;
    auto* runner = new TExecuteProgram(true, &output, &result);
    runner->OnTerminate = [&] { ended = true; };
    runner->SetCommand(commandLine, 0);
    runner->Start();
    const DWORD start = GetTickCount();
    MSG msg;
    while (!ended && GetTickCount() - start < 60000) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    ASSERT_TRUE(ended) << commandLine;
  }

  Win32Os os_;
  ScopedOs seam_;
  Win32Dispatcher gui_;
  TRichEdit output;
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

TEST_F(RealRunner, MissingProgramKeepsThePreviousResult) {
  Run("\"" + BuildDir() + "no such program.exe\" /x");
  EXPECT_EQ(result, 12345);
}

TEST_F(RealRunner, LargeOutputArrivesWhole) {
  Run(probe + " emit 100000 3");
  EXPECT_EQ(result, 3);
  EXPECT_EQ(output.Text.size(), 100000u);
  EXPECT_TRUE(output.Text == Expected(100000)) << "a chunk was lost, repeated or reordered";
}

TEST_F(RealRunner, PathWithBlanks) {
  const std::string dir = BuildDir() + "dir with blanks\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((BuildDir() + "orv_probe.exe").c_str(), (dir + "probe copy.exe").c_str(), FALSE));
  Run("\"" + dir + "probe copy.exe\" emit 5000 9");
  EXPECT_EQ(result, 9);
  EXPECT_EQ(output.Text, Expected(5000));
}

TEST_F(RealRunner, Amd64HelperPassesOutputAndExitCodeThrough) {
  const std::string dir = BuildDir() + "dir with blanks\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  CopyFileA((BuildDir() + "orv_probe.exe").c_str(), (dir + "probe copy.exe").c_str(), FALSE);
  // The quoted inner command line holds a quoted path of its own.
  Run("\"" + BuildDir() + "amd64.exe\" \"\"" + dir + "probe copy.exe\" emit 7000 0x80042413\"");
  EXPECT_EQ(static_cast<uint32_t>(result), 0x80042413u);
  EXPECT_EQ(output.Text, Expected(7000));
}

TEST_F(RealRunner, Amd64HelperReportsAMissingProgram) {
  Run("\"" + BuildDir() + "amd64.exe\" \"C:\\no\\such.exe\"");
  EXPECT_EQ(static_cast<uint32_t>(result) & 0xFFFF0000u, 0x80070000u);
}

}  // namespace

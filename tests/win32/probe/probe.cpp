// A console helper for the tests under Wine. Each command exercises the real
// Win32 layer or a real OrvRapidStart process and prints what it saw as
// key=value lines for the test script to compare.
//
//   probe osversion                 the detector's family code and name
//   probe uninstall-target EXE      plays a running instance (mutex + window),
//                                   starts EXE /UNINSTALL and reports the post
//   probe console EXE ARGS...       starts EXE in a new console, waits, reads
//                                   the console back and ends the process
//   probe emit BYTES CODE           writes BYTES bytes to standard output in one
//                                   write and exits with CODE
//   probe sleep MS                  sleeps, then exits with 0
//   probe runner-cpu                runs "probe sleep 3000" through the program
//                                   runner and prints the CPU it used per second
//   probe window                    the main windows open, the first one's
//                                   visibility and client size
#include <windows.h>

#include <cstdio>
#include <string>

#include "partops/execute_program.h"
#include "platform/win32/win32_os.h"
#include "widgets/win32/dispatcher_win32.h"
#include "shell/debug_console.h"
#include "shell/os_version.h"

namespace {

constexpr UINT kUninstallMessage = 0x819E;

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

HANDLE Start(const std::string& commandLine, DWORD flags, DWORD* pid = nullptr) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string cmd = commandLine;
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr, &si, &pi)) return nullptr;
  CloseHandle(pi.hThread);
  if (pid) *pid = pi.dwProcessId;
  return pi.hProcess;
}

int OsVersion() {
  static Win32Os os;
  InstallOs(&os);
  TOsVersion& v = GetOsVersion();
  std::printf("family=%d\nname=%s\nwow64=%d\n", static_cast<int>(v.OsFamily), v.OsName.c_str(), v.IsWow64 ? 1 : 0);
  // The name was logged as a held line, the one line the detector writes.
  std::printf("logged=%s\n", GetDebugConsole().PendingLines().empty() ? "" : GetDebugConsole().PendingLines().back().c_str());
  return 0;
}

bool g_received = false;
LRESULT CALLBACK TargetProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == kUninstallMessage && wp == 0 && lp == 0) g_received = true;
  return DefWindowProcA(w, m, wp, lp);
}

int UninstallTarget(const std::string& exe) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = TargetProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TApplication";
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(0, "TApplication", "OrvRapidStart", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           wc.hInstance, nullptr);
  const std::string name = exe.substr(exe.find_last_of("\\/") + 1);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  const DWORD start = GetTickCount();
  HANDLE child = Start(Quote(exe) + " /UNINSTALL", 0);
  if (!child) {
    std::printf("started=0\n");
    return 1;
  }
  // Pump messages while the child waits after its post.
  for (;;) {
    const DWORD r = MsgWaitForMultipleObjects(1, &child, FALSE, 30000, QS_ALLINPUT);
    if (r != WAIT_OBJECT_0 + 1) break;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  DWORD code = 1;
  GetExitCodeProcess(child, &code);
  std::printf("received=%d\nelapsed_ms=%lu\nexit=%lu\n", g_received ? 1 : 0,
              static_cast<unsigned long>(GetTickCount() - start), static_cast<unsigned long>(code));
  CloseHandle(child);
  CloseHandle(mutex);
  DestroyWindow(w);
  return 0;
}

// Console contents as lines of "attr|text", trailing blanks trimmed; stops at
// the last non-empty line.
std::string ReadConsole() {
  HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  if (!GetConsoleScreenBufferInfo(out, &info)) return "";
  std::string all;
  std::string pending;
  for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
    const DWORD width = info.dwSize.X;
    std::string chars(width, ' ');
    std::basic_string<WORD> attrs(width, 0);
    DWORD n = 0;
    COORD at = {0, row};
    ReadConsoleOutputCharacterA(out, &chars[0], width, at, &n);
    ReadConsoleOutputAttribute(out, &attrs[0], width, at, &n);
    std::size_t end = chars.find_last_not_of(' ');
    std::string text = end == std::string::npos ? "" : chars.substr(0, end + 1);
    pending += std::to_string(text.empty() ? 7 : attrs[0]) + "|" + text + "\n";
    if (!text.empty()) {
      all += pending;
      pending.clear();
    }
  }
  CloseHandle(out);
  return all;
}

int Console(const std::string& exe, const std::string& args, DWORD waitMs) {
  DWORD pid = 0;
  HANDLE child = Start(Quote(exe) + args, CREATE_NEW_CONSOLE, &pid);
  if (!child) {
    std::printf("started=0\n");
    return 1;
  }
  Sleep(waitMs);
  FreeConsole();
  std::string text;
  if (AttachConsole(pid)) {
    text = ReadConsole();
    FreeConsole();
  }
  TerminateProcess(child, 0);
  WaitForSingleObject(child, 5000);
  CloseHandle(child);
  AttachConsole(ATTACH_PARENT_PROCESS);
  std::fputs(text.c_str(), stdout);
  return 0;
}

BOOL CALLBACK CountForm(HWND w, LPARAM count) {
  char title[64] = {};
  GetWindowTextA(w, title, sizeof title);
  if (std::string(title) == "Ortavel - Intel Rapid Start") ++*reinterpret_cast<int*>(count);
  return TRUE;
}

int Window() {
  int forms = 0;
  EnumWindows(CountForm, reinterpret_cast<LPARAM>(&forms));
  std::printf("form_windows=%d\n", forms);
  HWND app = FindWindowA("TApplication", "OrvRapidStart");
  HWND form = FindWindowA(nullptr, "Ortavel - Intel Rapid Start");
  RECT client = {};
  if (form) GetClientRect(form, &client);
  std::printf("app_window=%d\nform_window=%d\nform_visible=%d\nclient=%ldx%ld\n", app ? 1 : 0, form ? 1 : 0,
              form && IsWindowVisible(form) ? 1 : 0, client.right, client.bottom);
  return 0;
}

// The byte at position i of an emitted stream: lines of digits, so a lost or
// repeated chunk shows.
char Emitted(std::size_t i) { return i % 64 == 63 ? '\n' : static_cast<char>('0' + i % 10); }

int Emit(std::size_t bytes, unsigned long code) {
  std::string out(bytes, ' ');
  for (std::size_t i = 0; i < bytes; ++i) out[i] = Emitted(i);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
  return static_cast<int>(code);
}

double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return ((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

int RunnerCpu() {
  static Win32Os os;
  InstallOs(&os);
  Win32Dispatcher gui(GetModuleHandleA(nullptr));
  InstallDispatcher(&gui);
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  int32_t result = 0;
  bool ended = false;
  auto* runner = new TExecuteProgram(true, nullptr);
  runner->OnTerminate = [&] { ended = true; result = runner->ExitCode(); };
  runner->SetCommand(Quote(self) + " sleep 3000", 0);
  const double cpu0 = CpuSeconds();
  const DWORD t0 = GetTickCount();
  runner->Start();
  MSG msg;
  while (!ended && GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  const double wall = (GetTickCount() - t0) / 1000.0;
  const double used = CpuSeconds() - cpu0;
  const double cpu = used > 0 ? used : 0;
  std::printf("wall_seconds=%.2f\ncpu_seconds=%.3f\ncpu_per_wall=%.4f\nexit=%ld\n", wall, cpu, cpu / wall,
              static_cast<long>(result));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "osversion") return OsVersion();
  if (command == "uninstall-target" && argc > 2) return UninstallTarget(argv[2]);
  if (command == "console" && argc > 3) {
    std::string args;
    for (int i = 4; i < argc; ++i) args += std::string(" ") + argv[i];
    return Console(argv[2], args, static_cast<DWORD>(std::stoul(argv[3])));
  }
  if (command == "window") return Window();
  if (command == "emit" && argc > 3) return Emit(std::stoul(argv[2]), std::stoul(argv[3], nullptr, 0));
  if (command == "sleep" && argc > 2) {
    Sleep(static_cast<DWORD>(std::stoul(argv[2])));
    return 0;
  }
  if (command == "runner-cpu") return RunnerCpu();
  std::fprintf(stderr, "usage: probe osversion | uninstall-target EXE | console EXE WAIT_MS ARGS... | window\n");
  return 2;
}

// A console helper for the tests under Wine. Each command exercises the real
// Win32 layer or a real OrvRapidStart process and prints what it saw as
// key=value lines for the test script to compare.
//
//   probe osversion                 the detector's family code and name
//   probe uninstall-target EXE      plays a running instance (mutex + window),
//                                   starts EXE /UNINSTALL and reports the post
//   probe console EXE WAIT_MS ARGS...
//                                   starts EXE in a new console 2000 columns
//                                   wide, waits until its window shows (WAIT_MS
//                                   at most), reads the console back (a row a
//                                   line) and ends the process
//   probe emit BYTES CODE           writes BYTES bytes to standard output in one
//                                   write and exits with CODE
//   probe sleep MS                  sleeps, then exits with 0
//   probe run TIMEOUT_MS EXE [ARGS...]
//                                   starts EXE, its output going nowhere, and
//                                   times it to its exit: elapsed_ms, exit_code
//   probe runner-cpu                runs "probe sleep 3000" through the program
//                                   runner and prints the CPU it used per second
//   probe window                    the main windows open, the first one's
//                                   visibility and client size
//   probe empty-window              opens an empty window of the main window's
//                                   frame and size until it is closed
//
// The window on screen, found by its title (another process's windows):
//   probe children TITLE            every descendant window in EnumChildWindows
//                                   order: class|text|visible|enabled|place in
//                                   client coordinates; the client size, its
//                                   origin on the screen and the window's frame
//   probe click TITLE CLASS TEXT [yes]
//                                   BM_CLICK on the first such descendant; with
//                                   yes, answers Yes to each question the click
//                                   asks first and prints them
//   probe status TITLE              the status line's text
//   probe status-trace TITLE TIMEOUT_MS SUFFIX
//                                   each new status text until one ends with SUFFIX
//   probe answer CAPTION ID TIMEOUT_MS
//                                   waits for that message box, prints its text
//                                   and presses the button ID (1 OK, 6 Yes, 7 No;
//                                   0 presses nothing)
//   probe hang TITLE INTERVAL_MS DURATION_MS TIMEOUT_MS [STOP_FILE]
//                                   WM_NULL every INTERVAL_MS with SMTO_ABORTIFHUNG
//                                   until DURATION_MS pass or STOP_FILE exists
//   probe tooltip TIMEOUT_MS        waits for a visible tooltip and reads its text
//   probe focus TITLE               the descendant that holds the keyboard focus
//
// Figures of the window (PIDS: Unix process ids, comma-separated, whose CPU
// time is read from /proc through the Z: drive; the first is the window's):
//   probe launch STATUS_PREFIX TIMEOUT_MS EXE [ARGS...]
//                                   starts EXE and times until its window is
//                                   visible and until it is fully painted
//                                   (STATUS_PREFIX: what the status line must
//                                   start with first, - for a window without
//                                   one), then closes it; also the status
//                                   line's text when the window was first
//                                   seen visible
//   probe repaint TITLE WHAT COUNT SLEEP_MS PIDS
//                                   CPU of COUNT repaints (WHAT: form, status)
//                                   less the same loop with WM_NULL instead
//   probe create-run TITLE TIMEOUT_MS [PIDS]
//                                   clicks Create, follows the run to its end
//                                   and answers No to the restart, sending
//                                   WM_NULL every 50 ms meanwhile: a timeline
//                                   of the run and of the slow replies, with
//                                   the time PIDS ran and waited for a CPU
//   probe cycle TITLE TIMEOUT_MS    Create, No to the restart, Delete
//   probe resources TITLE           the window's process: GDI and USER objects,
//                                   handles, memory
//
// The script file under attack, in the real temporary folder:
//   probe tamper ROUNDS READER_EVERY
//                                   writes the script file with the program's
//                                   own code while a hammer process attacks
//                                   its name, and reads it back as diskpart
//                                   would while the lock is held (also in a
//                                   started process every READER_EVERY
//                                   locked rounds)
//   probe hammer PATH SHARED_NAME   the attacker, started by tamper
//   probe readscript PATH           the file's bytes, read as a C program reads
#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "partops/execute_program.h"
#include "partops/script_file.h"
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

// Wide enough that no line the program writes wraps onto a second row, so a
// row is a line whatever the length of the paths in it. The new console gets
// this width from the start-up information, before the program writes.
constexpr DWORD kConsoleColumns = 2000;

// Console contents as lines of "attr|text", trailing blanks trimmed; stops at
// the last non-empty line.
std::string ReadConsole() {
  HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  if (!GetConsoleScreenBufferInfo(out, &info)) return "buffer=0\n";
  if (static_cast<DWORD>(info.dwSize.X) < kConsoleColumns) return "columns=" + std::to_string(info.dwSize.X) + "\n";
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

int Run(DWORD timeoutMs, const std::string& exe, const std::string& args) {
  const DWORD start = GetTickCount();
  HANDLE child = Start(Quote(exe) + args, 0);
  if (!child) {
    std::printf("started=0\n");
    return 1;
  }
  const bool ended = WaitForSingleObject(child, timeoutMs) == WAIT_OBJECT_0;
  const DWORD elapsed = GetTickCount() - start;
  DWORD code = 0;
  GetExitCodeProcess(child, &code);
  if (!ended) TerminateProcess(child, 1);
  CloseHandle(child);
  std::printf("started=1\nended=%d\nelapsed_ms=%lu\nexit_code=%lu\n", ended ? 1 : 0,
              static_cast<unsigned long>(elapsed), static_cast<unsigned long>(code));
  return 0;
}

HWND VisibleTopOf(DWORD pid);

int Console(const std::string& exe, const std::string& args, DWORD waitMs) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USECOUNTCHARS;
  si.dwXCountChars = kConsoleColumns;
  si.dwYCountChars = 1000;
  PROCESS_INFORMATION pi = {};
  std::string cmd = Quote(exe) + args;
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr, &si, &pi)) {
    std::printf("started=0\n");
    return 1;
  }
  CloseHandle(pi.hThread);
  const DWORD pid = pi.dwProcessId;
  HANDLE child = pi.hProcess;
  // Every start-up line is written before the window shows (its start-up
  // takes seconds under Wine); a program that shows none is given waitMs.
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < waitMs && !VisibleTopOf(pid)) Sleep(50);
  FreeConsole();
  std::string text = "console=none\n";
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

LRESULT CALLBACK EmptyWindowProc(HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(w, msg, wParam, lParam);
}

// A window with the main window's frame and client size, filled with the
// button face and nothing else, until it is closed: what showing a window
// costs any program here, the floor under the launch figures.
int EmptyWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = EmptyWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = "OrvProbeEmptyWindow";
  RegisterClassA(&wc);
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame = {0, 0, 700, 349};
  AdjustWindowRect(&frame, style, FALSE);
  HWND w = CreateWindowA(wc.lpszClassName, "Empty window", style, CW_USEDEFAULT, CW_USEDEFAULT,
                         frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, wc.hInstance, nullptr);
  if (!w) return 1;
  ShowWindow(w, SW_SHOWNORMAL);
  UpdateWindow(w);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
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


// ---- another process's window -------------------------------------------------

// Replies we wait for from the window under test: long enough for a busy
// paint, short enough that a hung window does not stall a test.
constexpr UINT kReplyTimeoutMs = 2000;
constexpr DWORD kPollMs = 20;
// A click handler may scan the disks before it returns.
constexpr UINT kClickTimeoutMs = 30000;

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return "";
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

// WM_GETTEXT through the W call: the A calls hand back UTF-16 bytes for some
// controls of another process under Wine. On a drop-down list it gives the
// selected item.
std::string TextOf(HWND w) {
  // One WM_GETTEXT into a buffer with room to spare: asking for the length
  // first races with a text that grows in between.
  for (std::size_t room = 512;; room *= 4) {
    std::wstring text(room, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXT, room, reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                             kReplyTimeoutMs, &copied))
      return "";
    if (copied + 1 < room || room >= 65536) {
      text.resize(copied);
      return Utf8(text);
    }
  }
}

std::string ClassOf(HWND w) {
  char name[256] = {};
  GetClassNameA(w, name, sizeof name);
  return name;
}

bool SameText(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

HWND FindTop(const std::string& title) { return FindWindowA(nullptr, title.c_str()); }

BOOL CALLBACK AddWindow(HWND w, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
  return TRUE;
}

std::vector<HWND> Descendants(HWND top) {
  std::vector<HWND> all;
  EnumChildWindows(top, AddWindow, reinterpret_cast<LPARAM>(&all));
  return all;
}

RECT ScreenRect(HWND w) {
  RECT r = {};
  GetWindowRect(w, &r);
  return r;
}

// The place of w in top's client coordinates.
RECT PlaceIn(HWND top, HWND w) {
  RECT r = ScreenRect(w);
  MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// "left,top,WIDTHxHEIGHT"
std::string PlaceText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

std::string Describe(HWND top, HWND w) {
  return ClassOf(w) + "|" + TextOf(w) + "|" + (IsWindowVisible(w) ? "1" : "0") + "|" + (IsWindowEnabled(w) ? "1" : "0") +
         "|" + PlaceText(PlaceIn(top, w));
}

int Children(const std::string& title) {
  HWND top = FindTop(title);
  std::printf("found=%d\n", top ? 1 : 0);
  if (!top) return 1;
  for (HWND w : Descendants(top)) std::printf("child=%s\n", Describe(top, w).c_str());
  RECT client = {};
  GetClientRect(top, &client);
  POINT origin = {0, 0};
  ClientToScreen(top, &origin);
  std::printf("client=%ldx%ld\norigin=%ld,%ld\nframe=%s\n", client.right, client.bottom, origin.x, origin.y,
              PlaceText(ScreenRect(top)).c_str());
  return 0;
}


// The status line: the text label at the top-left corner of the disk area,
// found by its place so it is found while empty. Places scale with the
// client width, 700 at 96 DPI.
constexpr int kStatusLeft = 8, kStatusTop = 83, kClientWidthAt96Dpi = 700;

HWND StatusLine(HWND top) {
  RECT client = {};
  GetClientRect(top, &client);
  const POINT want = {MulDiv(kStatusLeft, client.right, kClientWidthAt96Dpi),
                      MulDiv(kStatusTop, client.right, kClientWidthAt96Dpi)};
  for (HWND w : Descendants(top)) {
    const RECT r = PlaceIn(top, w);
    if (SameText(ClassOf(w), "Static") && r.left == want.x && r.top == want.y) return w;
  }
  return nullptr;
}

int Status(const std::string& title) {
  HWND top = FindTop(title);
  HWND line = top ? StatusLine(top) : nullptr;
  std::printf("found=%d\nstatus=%s\n", line ? 1 : 0, line ? TextOf(line).c_str() : "");
  return line ? 0 : 1;
}

bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// One status=... line per change, so a test sees every step of the dots.
int StatusTrace(const std::string& title, DWORD timeoutMs, const std::string& suffix) {
  HWND top = FindTop(title);
  HWND line = top ? StatusLine(top) : nullptr;
  const DWORD start = GetTickCount();
  std::string last = "\x01";
  bool ended = false;
  while (line && GetTickCount() - start < timeoutMs) {
    const std::string now = TextOf(line);
    if (now != last) {
      std::printf("status=%s\nat_ms=%lu\n", now.c_str(), static_cast<unsigned long>(GetTickCount() - start));
      std::fflush(stdout);
      last = now;
    }
    if (EndsWith(now, suffix)) {
      ended = true;
      break;
    }
    Sleep(kPollMs);
  }
  std::printf("ended=%d\nelapsed_ms=%lu\n", ended ? 1 : 0, static_cast<unsigned long>(GetTickCount() - start));
  return ended ? 0 : 1;
}

HWND VisibleTop(const char* cls, const char* title) {
  HWND w = FindWindowA(cls, title);
  return w && IsWindowVisible(w) ? w : nullptr;
}

struct BoxAnswer {
  bool found = false, pressed = false, closed = false;
  std::string text, frame;
};

// Waits for that message box and presses button (0: presses nothing).
BoxAnswer AnswerBox(const std::string& caption, int button, DWORD timeoutMs) {
  BoxAnswer a;
  const DWORD start = GetTickCount();
  HWND box = nullptr;
  while (!(box = VisibleTop("#32770", caption.c_str())) && GetTickCount() - start < timeoutMs) Sleep(kPollMs);
  if (!box) return a;
  a.found = true;
  // The message text is the box's static with text (the icon's has none);
  // its line breaks become "~", for one line of output.
  for (HWND w : Descendants(box))
    if (SameText(ClassOf(w), "Static") && a.text.empty()) a.text = TextOf(w);
  for (std::size_t at; (at = a.text.find_first_of("\r\n")) != std::string::npos;)
    a.text.replace(at, a.text.compare(at, 2, "\r\n") == 0 ? 2 : 1, "~");
  a.frame = PlaceText(ScreenRect(box));
  if (button == 0) return a;  // only wait for it
  // Posted, not sent: the answer may start work in the program (a restart)
  // that the probe need not wait for; the box going away shows it was taken.
  HWND control = GetDlgItem(box, button);
  if (control)
    PostMessageA(control, BM_CLICK, 0, 0);
  else
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  // The box is gone once the program has taken the answer.
  const DWORD pressed = GetTickCount();
  while (IsWindow(box) && GetTickCount() - pressed < kReplyTimeoutMs) Sleep(kPollMs);
  a.pressed = control != nullptr;
  a.closed = !IsWindow(box);
  return a;
}

int Answer(const std::string& caption, int button, DWORD timeoutMs) {
  const BoxAnswer a = AnswerBox(caption, button, timeoutMs);
  if (!a.found) {
    std::printf("found=0\n");
    return 1;
  }
  std::printf("found=1\ntext=%s\nframe=%s\n", a.text.c_str(), a.frame.c_str());
  if (button == 0) return 0;
  std::printf("pressed=%d\nclosed=%d\n", a.pressed ? 1 : 0, a.closed ? 1 : 0);
  return 0;
}

// While a click's handler runs, answers Yes to each question the program
// asks first (a box of its own with Yes and No) and keeps their texts.
class QuestionAnswerer {
 public:
  QuestionAnswerer() : thread_(CreateThread(nullptr, 0, &QuestionAnswerer::Main, this, 0, nullptr)) {}
  ~QuestionAnswerer() { Stop(); }
  const std::vector<std::string>& Stop() {
    if (thread_) {
      stop_ = 1;
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(thread_);
      thread_ = nullptr;
    }
    return asked_;
  }

 private:
  static DWORD WINAPI Main(void* self) {
    auto* me = static_cast<QuestionAnswerer*>(self);
    while (!me->stop_) {
      HWND box = VisibleTop("#32770", "OrvRapidStart");
      if (box && GetDlgItem(box, IDYES)) {
        const BoxAnswer a = AnswerBox("OrvRapidStart", IDYES, 0);
        if (a.found) me->asked_.push_back(a.text);
      }
      Sleep(kPollMs);
    }
    return 0;
  }
  volatile LONG stop_ = 0;
  std::vector<std::string> asked_;
  HANDLE thread_;
};

// Returns once the button's handler has run in its own thread.
bool SendClick(HWND button) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kClickTimeoutMs, &ignored) != 0;
}

int Click(const std::string& title, const std::string& cls, const std::string& text, bool answerYes) {
  HWND top = FindTop(title);
  for (HWND w : top ? Descendants(top) : std::vector<HWND>()) {
    if (!SameText(ClassOf(w), cls) || TextOf(w) != text) continue;
    if (!answerYes) {
      const bool clicked = SendClick(w);
      std::printf("clicked=%d\n", clicked ? 1 : 0);
      return clicked ? 0 : 1;
    }
    QuestionAnswerer answerer;
    const bool clicked = SendClick(w);
    const std::vector<std::string>& asked = answerer.Stop();
    std::printf("clicked=%d\nquestions=%u\n", clicked ? 1 : 0, static_cast<unsigned>(asked.size()));
    for (const std::string& q : asked) std::printf("question=%s\n", q.c_str());
    return clicked ? 0 : 1;
  }
  std::printf("clicked=0\n");
  return 1;
}

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

constexpr double kSlowReplyMs = 100;

int Hang(const std::string& title, DWORD intervalMs, DWORD durationMs, UINT timeoutMs, const std::string& stopFile) {
  HWND top = FindTop(title);
  std::printf("found=%d\n", top ? 1 : 0);
  if (!top) return 1;
  int sent = 0, timeouts = 0;
  double maxReply = 0, total = 0;
  const double start = NowMs();
  for (double next = start; NowMs() - start < durationMs; next += intervalMs) {
    if (!stopFile.empty() && GetFileAttributesA(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES) break;
    if (!IsWindow(top)) break;
    DWORD_PTR ignored = 0;
    const double t0 = NowMs();
    const bool answered = SendMessageTimeoutA(top, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &ignored) != 0;
    const double reply = NowMs() - t0;
    ++sent;
    total += reply;
    if (!answered) ++timeouts;
    if (reply > maxReply) maxReply = reply;
    // When the slow replies came, to match them with what the window did.
    if (reply >= kSlowReplyMs) std::printf("slow=%.0f ms at %.0f ms\n", reply, t0 - start);
    const double wait = next + intervalMs - NowMs();
    if (wait > 0) Sleep(static_cast<DWORD>(wait));
  }
  std::printf("sent=%d\ntimeouts=%d\nmax_reply_ms=%.0f\nmean_reply_ms=%.2f\nelapsed_ms=%.0f\n", sent, timeouts,
              maxReply, sent ? total / sent : 0.0, NowMs() - start);
  return 0;
}

BOOL CALLBACK FindTooltip(HWND w, LPARAM found) {
  if (!IsWindowVisible(w) || !SameText(ClassOf(w), TOOLTIPS_CLASSA)) return TRUE;
  *reinterpret_cast<HWND*>(found) = w;
  return FALSE;
}

HWND VisibleTooltip() {
  HWND found = nullptr;
  EnumWindows(FindTooltip, reinterpret_cast<LPARAM>(&found));
  return found;
}

// A tooltip's own window text is not always the shown text (empty in some
// Wine versions); the current tool's text is asked for with
// TTM_GETCURRENTTOOLW into memory of the tooltip's process, since pointers
// in common-control messages are not carried across processes. (The A
// message cuts the text at 80 bytes.)
std::wstring TooltipText(HWND tip, HWND* tool) {
  DWORD pid = 0;
  GetWindowThreadProcessId(tip, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return L"";
  constexpr SIZE_T kTextChars = 1024;
  const SIZE_T bytes = sizeof(TTTOOLINFOW) + kTextChars * sizeof(wchar_t);
  auto* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE));
  std::wstring text;
  if (remote) {
    std::vector<char> local(bytes, 0);
    auto* info = reinterpret_cast<TTTOOLINFOW*>(local.data());
    info->cbSize = TTTOOLINFOW_V2_SIZE;
    info->lpszText = reinterpret_cast<LPWSTR>(remote + sizeof(TTTOOLINFOW));
    SIZE_T done = 0;
    DWORD_PTR current = 0;
    if (WriteProcessMemory(process, remote, local.data(), bytes, &done) &&
        SendMessageTimeoutW(tip, TTM_GETCURRENTTOOLW, 0, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                            kReplyTimeoutMs, &current) &&
        current && ReadProcessMemory(process, remote, local.data(), bytes, &done)) {
      auto* chars = reinterpret_cast<wchar_t*>(local.data() + sizeof(TTTOOLINFOW));
      chars[kTextChars - 1] = L'\0';
      text = chars;
      if (tool) *tool = reinterpret_cast<HWND>(info->uId);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return text;
}

int Tooltip(DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  HWND tip = nullptr;
  while (!(tip = VisibleTooltip()) && GetTickCount() - start < timeoutMs) Sleep(kPollMs);
  std::printf("visible=%d\n", tip ? 1 : 0);
  if (!tip) return 1;
  HWND tool = nullptr;
  // In UTF-8, its line breaks as "~": one line of output.
  std::string text = Utf8(TooltipText(tip, &tool));
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "~");
  std::printf("text=%s\nwindow_text=%s\n", text.c_str(), TextOf(tip).c_str());
  if (tool) std::printf("tool=%s\n", TextOf(tool).c_str());
  std::printf("after_ms=%lu\n", static_cast<unsigned long>(GetTickCount() - start));
  return 0;
}

// The focus of another thread, read without attaching to its input.
int Focus(const std::string& title) {
  HWND top = FindTop(title);
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  const DWORD thread = top ? GetWindowThreadProcessId(top, nullptr) : 0;
  if (!thread || !GetGUIThreadInfo(thread, &info)) {
    std::printf("found=0\n");
    return 1;
  }
  std::printf("found=1\nactive=%d\nfocus=%s\n", info.hwndActive == top ? 1 : 0,
              info.hwndFocus ? Describe(top, info.hwndFocus).c_str() : "");
  return 0;
}

// ---- figures of the window ------------------------------------------------------

std::vector<unsigned long> PidList(const std::string& list) {
  std::vector<unsigned long> pids;
  std::size_t from = 0;
  while (from < list.size()) {
    std::size_t end = list.find(',', from);
    if (end == std::string::npos) end = list.size();
    if (end > from) pids.push_back(std::stoul(list.substr(from, end - from)));
    from = end + 1;
  }
  return pids;
}

std::string ReadWhole(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) return "";
  std::string all;
  char chunk[4096];
  DWORD n = 0;
  while (ReadFile(f, chunk, sizeof chunk, &n, nullptr) && n > 0) all.append(chunk, n);
  CloseHandle(f);
  return all;
}

// User and system time of a Unix process, all its threads, in clock ticks
// (100 a second on Linux): Wine's GetProcessTimes answers for the calling
// process only.
struct UnixUse {
  long long cpuTicks = -1, minorFaults = -1;
};

UnixUse ReadUnixUse(unsigned long pid) {
  const std::string stat = ReadWhole("Z:\\proc\\" + std::to_string(pid) + "\\stat");
  const std::size_t name = stat.rfind(')');
  UnixUse use;
  unsigned long long faults = 0, user = 0, system = 0;
  // After the name: state, ppid, pgrp, session, tty, tpgid, flags, minflt,
  // three more fault counts, then utime and stime.
  if (name != std::string::npos &&
      std::sscanf(stat.c_str() + name + 1, " %*c %*d %*d %*d %*d %*d %*u %llu %*u %*u %*u %llu %llu", &faults, &user,
                  &system) == 3)
    use = {static_cast<long long>(user + system), static_cast<long long>(faults)};
  return use;
}

long long UnixCpuTicks(unsigned long pid) { return ReadUnixUse(pid).cpuTicks; }
constexpr double kMsPerTick = 10;

std::string UnixName(unsigned long pid) {
  std::string name = ReadWhole("Z:\\proc\\" + std::to_string(pid) + "\\comm");
  while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
  return name.empty() ? std::to_string(pid) : name;
}

struct TopOf {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindTopOf(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<TopOf*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != s->pid || !IsWindowVisible(w) || (GetWindowLongA(w, GWL_STYLE) & WS_CAPTION) != WS_CAPTION) return TRUE;
  s->found = w;
  return FALSE;
}

// The process's visible window with a caption (the demo's hidden
// application window and Wine's helper windows have none).
HWND VisibleTopOf(DWORD pid) {
  TopOf s = {pid, nullptr};
  EnumWindows(FindTopOf, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// Nothing of the window or its visible descendants waits for WM_PAINT:
// BeginPaint empties a window's update region.
bool NothingToPaint(HWND top) {
  if (GetUpdateRect(top, nullptr, FALSE)) return false;
  for (HWND w : Descendants(top))
    if (IsWindowVisible(w) && GetUpdateRect(w, nullptr, FALSE)) return false;
  return true;
}

bool Answers(HWND w, UINT timeoutMs = kReplyTimeoutMs) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &ignored) != 0;
}

// A checksum of the client area as the screen shows it.
unsigned long long ScreenSum(HWND top) {
  RECT client = {};
  GetClientRect(top, &client);
  POINT origin = {0, 0};
  ClientToScreen(top, &origin);
  const int width = client.right, height = client.bottom;
  if (width <= 0 || height <= 0) return 0;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  unsigned long long sum = 1469598103934665603ULL;
  const auto* p = static_cast<const unsigned char*>(bits);
  for (std::size_t i = 0; p && i < static_cast<std::size_t>(width) * height * 4; ++i) {
    if (i % 4 == 3) continue;  // the unused byte
    sum = (sum ^ p[i]) * 1099511628211ULL;
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return sum;
}

constexpr DWORD kLaunchPollMs = 5;
constexpr DWORD kSettleMs = 1000;
constexpr DWORD kCloseTimeoutMs = 10000;

// Fully painted: the window is visible, its status line (if it has one)
// shows text, no window of it waits for WM_PAINT, and after that it still
// answered a sent WM_NULL, so every paint begun before has ended.
int Launch(const std::string& statusPrefix, DWORD timeoutMs, const std::string& commandLine) {
  SetCursorPos(0, 0);  // no hover, no tooltip on the new window
  const double start = NowMs();
  DWORD pid = 0;
  HANDLE process = Start(commandLine, 0, &pid);
  std::printf("started=%d\n", process ? 1 : 0);
  if (!process) return 1;
  HWND top = nullptr;
  double visible = -1, painted = -1;
  std::string status, statusAtVisible;
  while (NowMs() - start < timeoutMs && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
    const bool firstSeen = !top && (top = VisibleTopOf(pid));
    if (firstSeen) visible = NowMs() - start;
    if (top) {
      HWND line = statusPrefix == "-" ? nullptr : StatusLine(top);
      status = line ? TextOf(line) : "";
      if (firstSeen) statusAtVisible = status;
      const bool hasText = statusPrefix == "-" || (line && status.compare(0, statusPrefix.size(), statusPrefix) == 0);
      if (hasText && NothingToPaint(top) && Answers(top) && NothingToPaint(top)) {
        painted = NowMs() - start;
        break;
      }
    }
    Sleep(kLaunchPollMs);
  }
  std::printf("visible_ms=%.0f\npainted_ms=%.0f\n", visible, painted);
  if (statusPrefix != "-") std::printf("status=%s\nstatus_at_visible=%s\n", status.c_str(), statusAtVisible.c_str());
  if (painted >= 0) {
    // The screen from "painted" on: when its pixels changed last, if at all.
    unsigned long long last = ScreenSum(top);
    double changed = 0;
    const double from = NowMs();
    while (NowMs() - from < kSettleMs) {
      Sleep(kLaunchPollMs);
      const unsigned long long now = ScreenSum(top);
      if (now != last) changed = NowMs() - from;
      last = now;
    }
    std::printf("pixels_changed_after_ms=%.0f\n", changed);
  }
  if (top) PostMessageA(top, WM_CLOSE, 0, 0);
  const bool closed = WaitForSingleObject(process, kCloseTimeoutMs) == WAIT_OBJECT_0;
  if (!closed) TerminateProcess(process, 1);
  WaitForSingleObject(process, kCloseTimeoutMs);
  CloseHandle(process);
  std::printf("closed=%d\n", closed ? 1 : 0);
  return painted >= 0 ? 0 : 1;
}

constexpr UINT kFullRedraw = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_ERASE;

// The CPU the processes spent in a loop of COUNT steps, one step then a
// pause each, in ticks per process.
template <typename Step>
std::vector<long long> CpuOfLoop(const std::vector<unsigned long>& pids, DWORD count, DWORD sleepMs, Step step,
                                 double& wallMs) {
  std::vector<long long> before;
  for (unsigned long pid : pids) before.push_back(UnixCpuTicks(pid));
  wallMs = 0;
  for (DWORD i = 0; i < count; ++i) {
    const double t0 = NowMs();
    step();
    wallMs += NowMs() - t0;
    Sleep(sleepMs);
  }
  std::vector<long long> used;
  for (std::size_t i = 0; i < pids.size(); ++i) used.push_back(UnixCpuTicks(pids[i]) - before[i]);
  return used;
}

int Repaint(const std::string& title, const std::string& what, DWORD count, DWORD sleepMs, const std::string& pidList) {
  HWND top = FindTop(title);
  HWND target = top && what == "status" ? StatusLine(top) : top;
  const std::vector<unsigned long> pids = PidList(pidList);
  std::printf("found=%d\n", target ? 1 : 0);
  if (!target || pids.empty() || count == 0) return 1;
  std::printf("windows=%d\n", static_cast<int>(Descendants(target).size()) + 1);
  // The same loop with a message round trip and no drawing is the baseline.
  double baselineWall = 0, repaintWall = 0;
  const std::vector<long long> baseline =
      CpuOfLoop(pids, count, sleepMs, [&] { Answers(target); }, baselineWall);
  const long long faults0 = ReadUnixUse(pids[0]).minorFaults;
  const std::vector<long long> repaint = CpuOfLoop(
      pids, count, sleepMs, [&] { RedrawWindow(target, nullptr, nullptr, kFullRedraw); }, repaintWall);
  // Fresh pages the window's process touched: memory allocated per paint.
  std::printf("minor_faults_per_repaint=%lld\n", (ReadUnixUse(pids[0]).minorFaults - faults0) / count);
  for (std::size_t i = 0; i < pids.size(); ++i) {
    const double per = (repaint[i] - baseline[i]) * kMsPerTick / count;
    std::printf("cpu_ms_per_repaint.%s=%.2f\nbaseline_ms_per_step.%s=%.2f\n", UnixName(pids[i]).c_str(), per,
                UnixName(pids[i]).c_str(), baseline[i] * kMsPerTick / count);
    if (i == 0) std::printf("cpu_ms_per_repaint=%.2f\n", per);
  }
  std::printf("wall_ms_per_repaint=%.2f\ncount=%lu\n", repaintWall / count, static_cast<unsigned long>(count));
  return 0;
}

// ---- a Create from end to end ----------------------------------------------------

// A Unix thread's time on a CPU and waiting for one, in ms, from
// /proc/PID/schedstat: the process's main thread, which holds the window.
struct SchedTimes {
  double ranMs = 0, waitedMs = 0;
};

SchedTimes ReadSchedTimes(unsigned long pid) {
  const std::string text = ReadWhole("Z:\\proc\\" + std::to_string(pid) + "\\schedstat");
  unsigned long long ran = 0, waited = 0;
  SchedTimes t;
  if (std::sscanf(text.c_str(), "%llu %llu", &ran, &waited) == 2) t = {ran / 1e6, waited / 1e6};
  return t;
}

struct Reply {
  double at, ms;
  bool answered;
  std::vector<SchedTimes> during;  // per watched process
};

struct Pinger {
  HWND top;
  DWORD intervalMs;
  double start;
  volatile LONG stop;
  std::vector<unsigned long> pids;
  std::vector<Reply> replies;
};

DWORD WINAPI PingLoop(LPVOID p) {
  auto* s = static_cast<Pinger*>(p);
  for (double next = NowMs(); !s->stop; next += s->intervalMs) {
    std::vector<SchedTimes> before;
    for (unsigned long pid : s->pids) before.push_back(ReadSchedTimes(pid));
    const double t0 = NowMs();
    const bool answered = Answers(s->top);
    Reply r = {t0 - s->start, NowMs() - t0, answered, {}};
    for (std::size_t i = 0; i < s->pids.size(); ++i) {
      const SchedTimes after = ReadSchedTimes(s->pids[i]);
      r.during.push_back({after.ranMs - before[i].ranMs, after.waitedMs - before[i].waitedMs});
    }
    s->replies.push_back(r);
    const double wait = next + s->intervalMs - NowMs();
    if (wait > 0) Sleep(static_cast<DWORD>(wait));
  }
  return 0;
}

struct Event {
  double at;
  std::string what;
};

bool RunEnded(const std::string& status) { return EndsWith(status, "Done.") || EndsWith(status, "Failed."); }

// Follows the status line until the run ends; each new text is an event.
std::string FollowStatus(HWND line, DWORD timeoutMs, double start, std::vector<Event>* events) {
  std::string last = "\x01";
  const double until = NowMs() + timeoutMs;
  while (NowMs() < until) {
    const std::string now = TextOf(line);
    if (now != last) {
      if (events) events->push_back({NowMs() - start, "status " + now});
      last = now;
    }
    if (RunEnded(now)) break;
    Sleep(10);
  }
  return last;
}

// A user who answers Yes to whatever the click asks first.
bool ClickButton(HWND top, const std::string& text) {
  for (HWND w : Descendants(top)) {
    if (!SameText(ClassOf(w), "Button") || TextOf(w) != text) continue;
    QuestionAnswerer answerer;
    return SendClick(w);
  }
  return false;
}

bool WaitEnabled(HWND top, const std::string& text, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  do {
    for (HWND w : Descendants(top))
      if (SameText(ClassOf(w), "Button") && TextOf(w) == text && IsWindowEnabled(w)) return true;
    Sleep(kPollMs);
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

constexpr DWORD kPingIntervalMs = 50;
constexpr DWORD kQuestionTimeoutMs = 10000;
constexpr DWORD kAfterRunMs = 1000;
constexpr std::size_t kLongestShown = 5;

int CreateRun(const std::string& title, DWORD timeoutMs, const std::string& pidList) {
  HWND top = FindTop(title);
  HWND line = top ? StatusLine(top) : nullptr;
  std::printf("found=%d\n", line ? 1 : 0);
  if (!line) return 1;
  std::vector<Event> events;
  Pinger pinger = {top, kPingIntervalMs, NowMs(), 0, PidList(pidList), {}};
  const double start = pinger.start;
  HANDLE thread = CreateThread(nullptr, 0, PingLoop, &pinger, 0, nullptr);
  Sleep(2 * kPingIntervalMs);
  events.push_back({NowMs() - start, "click Create"});
  const bool clicked = ClickButton(top, "Create");
  events.push_back({NowMs() - start, clicked ? "click returned" : "click failed"});
  const std::string last = FollowStatus(line, timeoutMs, start, &events);
  // The restart question, answered No as soon as it shows.
  HWND box = nullptr;
  const double asked = NowMs();
  while (!(box = VisibleTop("#32770", "Reboot")) && NowMs() - asked < kQuestionTimeoutMs) Sleep(1);
  if (box) {
    events.push_back({NowMs() - start, "restart question visible"});
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    while (IsWindow(box) && NowMs() - asked < kQuestionTimeoutMs) Sleep(1);
    events.push_back({NowMs() - start, IsWindow(box) ? "restart question still open" : "restart question closed"});
  }
  Sleep(kAfterRunMs);
  pinger.stop = 1;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);

  // The start on the Unix clock, to match the times with other processes'.
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const unsigned long long unixMs =
      ((static_cast<unsigned long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime) - 116444736000000000ULL) / 10000;
  std::printf("start_unix_ms=%.0f\n", static_cast<double>(unixMs) - (NowMs() - start));
  for (const Event& e : events) std::printf("event=%.0f ms: %s\n", e.at, e.what.c_str());
  double longest = 0, total = 0;
  int timeouts = 0;
  for (const Reply& r : pinger.replies) {
    longest = r.ms > longest ? r.ms : longest;
    total += r.ms;
    if (!r.answered) ++timeouts;
  }
  // The slow replies, and the few longest ones, with what the window was
  // doing: the last event before the message was sent, and those while it
  // waited.
  std::vector<Reply> sorted = pinger.replies;
  std::sort(sorted.begin(), sorted.end(), [](const Reply& a, const Reply& b) { return a.ms > b.ms; });
  for (std::size_t i = 0; i < sorted.size() && (i < kLongestShown || sorted[i].ms >= kSlowReplyMs); ++i) {
    const Reply& r = sorted[i];
    std::string before = "the start", during;
    for (const Event& e : events) {
      if (e.at <= r.at) before = e.what;
      if (e.at > r.at && e.at <= r.at + r.ms) during += (during.empty() ? "" : "; ") + e.what;
    }
    // Time on a CPU and waiting for one meanwhile (the reading adds a
    // little on each side).
    std::string sched;
    for (std::size_t p = 0; p < r.during.size(); ++p) {
      sched += " [" + UnixName(pinger.pids[p]) + " ran " + std::to_string(static_cast<int>(r.during[p].ranMs)) + " ms, waited for a CPU " +
               std::to_string(static_cast<int>(r.during[p].waitedMs)) + " ms]";
    }
    std::printf("%s=%.0f ms at %.0f ms,%s after: %s%s%s\n", r.ms >= kSlowReplyMs ? "slow" : "long", r.ms, r.at,
                sched.c_str(), before.c_str(), during.empty() ? "" : ", during: ", during.c_str());
  }
  const std::size_t sent = pinger.replies.size();
  std::printf("sent=%d\ntimeouts=%d\nmax_reply_ms=%.0f\nmean_reply_ms=%.2f\nlast_status=%s\nquestion=%d\n",
              static_cast<int>(sent), timeouts, longest, sent ? total / sent : 0.0, last.c_str(), box ? 1 : 0);
  return RunEnded(last) ? 0 : 1;
}

// One soak cycle: Create, No to the restart question, Delete.
int Cycle(const std::string& title, DWORD timeoutMs) {
  HWND top = FindTop(title);
  HWND line = top ? StatusLine(top) : nullptr;
  std::printf("found=%d\n", line ? 1 : 0);
  if (!line) return 1;
  double t0 = NowMs();
  const bool created = WaitEnabled(top, "Create", kQuestionTimeoutMs) && ClickButton(top, "Create");
  const std::string create = created ? FollowStatus(line, timeoutMs, t0, nullptr) : "";
  std::printf("create=%s\ncreate_ms=%.0f\n", create.c_str(), NowMs() - t0);
  const BoxAnswer answer = AnswerBox("Reboot", IDNO, kQuestionTimeoutMs);
  std::printf("restart_question=%d\n", answer.found && answer.closed ? 1 : 0);
  t0 = NowMs();
  const bool deleted = WaitEnabled(top, "Delete", kQuestionTimeoutMs) && ClickButton(top, "Delete");
  const std::string del = deleted ? FollowStatus(line, timeoutMs, t0, nullptr) : "";
  std::printf("delete=%s\ndelete_ms=%.0f\n", del.c_str(), NowMs() - t0);
  const bool ok = EndsWith(create, "Creating.....Done.") && EndsWith(del, "Deleting.....Done.");
  std::printf("done=%d\n", ok ? 1 : 0);
  return ok ? 0 : 1;
}

struct WindowCount {
  DWORD pid;
  int windows;
};

BOOL CALLBACK CountWindowsOf(HWND w, LPARAM p) {
  auto* c = reinterpret_cast<WindowCount*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == c->pid) c->windows += 1 + static_cast<int>(Descendants(w).size());
  return TRUE;
}

// Wine counts neither GDI objects nor handles for GetGuiResources and
// GetProcessHandleCount (they answer 0); the same figures are read another
// way then. GDI objects: the entries in use in the process's GDI handle
// table, which Wine keeps where Windows keeps its own, behind the PEB.
template <typename Fn>
Fn NtCall(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

template <typename T>
bool ReadRemote(HANDLE process, ULONG_PTR at, T& value) {
  SIZE_T done = 0;
  return at && ReadProcessMemory(process, reinterpret_cast<const void*>(at), &value, sizeof value, &done) &&
         done == sizeof value;
}

constexpr std::size_t kGdiHandles = 0x10000, kGdiEntryBytes = 24, kGdiTypeOffset = 14;
constexpr ULONG_PTR kPeb32GdiTable = 0x94, kPeb64GdiTable = 0xF8, kPeb64BelowPeb32 = 0x1000;

long GdiTableCount(HANDLE process) {
  using QueryProcess = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  auto query = NtCall<QueryProcess>("NtQueryInformationProcess");
  PROCESS_BASIC_INFORMATION basic = {};
  if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) return -1;
  const auto peb = reinterpret_cast<ULONG_PTR>(basic.PebBaseAddress);
  // A 32-bit process in a 64-bit prefix has its table in the 64-bit PEB,
  // a page below the 32-bit one.
  ULONG table32 = 0;
  unsigned long long table64 = 0;
  ULONG_PTR table = 0;
  if (ReadRemote(process, peb + kPeb32GdiTable, table32) && table32)
    table = table32;
  else if (ReadRemote(process, peb - kPeb64BelowPeb32 + kPeb64GdiTable, table64))
    table = static_cast<ULONG_PTR>(table64);
  if (!table) return -1;
  std::vector<unsigned char> entries(kGdiHandles * kGdiEntryBytes);
  SIZE_T done = 0;
  if (!ReadProcessMemory(process, reinterpret_cast<const void*>(table), entries.data(), entries.size(), &done))
    return -1;
  long used = 0;
  for (std::size_t i = 0; i < kGdiHandles; ++i) used += entries[i * kGdiEntryBytes + kGdiTypeOffset] != 0;
  return used;
}

// Handles: the process's entries in the system's handle list.
long SystemHandleCount(DWORD pid) {
  using QuerySystem = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto query = NtCall<QuerySystem>("NtQuerySystemInformation");
  constexpr ULONG kSystemHandleInformation = 16;
  constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
  struct Entry {
    ULONG pid;
    BYTE type, flags;
    USHORT handle;
    PVOID object;
    ULONG access;
  };
  if (!query) return -1;
  std::vector<char> buffer(1 << 16);
  LONG status;
  while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), nullptr)) ==
         kInfoLengthMismatch)
    buffer.resize(buffer.size() * 2);
  if (status != 0) return -1;
  const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
  const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
  long mine = 0;
  for (ULONG i = 0; i < count; ++i) mine += (entries[i].pid & 0xFFFF) == (pid & 0xFFFF);
  return mine;
}

int Resources(const std::string& title) {
  HWND top = FindTop(title);
  DWORD pid = 0;
  if (top) GetWindowThreadProcessId(top, &pid);
  HANDLE process = pid ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid) : nullptr;
  std::printf("found=%d\n", process ? 1 : 0);
  if (!process) return 1;
  // Each figure with where it came from: the call, or the fallback where
  // the call answers nothing.
  const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS), user = GetGuiResources(process, GR_USEROBJECTS);
  WindowCount windows = {pid, 0};
  EnumWindows(CountWindowsOf, reinterpret_cast<LPARAM>(&windows));
  if (gdi)
    std::printf("gdi_objects=%lu\ngdi_from=GetGuiResources\n", gdi);
  else
    std::printf("gdi_objects=%ld\ngdi_from=GDI handle table\n", GdiTableCount(process));
  if (user)
    std::printf("user_objects=%lu\nuser_from=GetGuiResources\n", user);
  else
    std::printf("user_objects=%d\nuser_from=windows\n", windows.windows);
  DWORD handles = 0;
  if (GetProcessHandleCount(process, &handles) && handles)
    std::printf("handles=%lu\nhandles_from=GetProcessHandleCount\n", handles);
  else
    std::printf("handles=%ld\nhandles_from=system handle list\n", SystemHandleCount(pid));
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof memory;
  const bool counted =
      K32GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory) != 0;
  if (counted && memory.PrivateUsage)
    std::printf("private_bytes=%lu\n", static_cast<unsigned long>(memory.PrivateUsage));
  else
    std::printf("private_bytes=-\n");
  std::printf("working_set=%lu\nwindows=%d\n", counted ? static_cast<unsigned long>(memory.WorkingSetSize) : 0UL,
              windows.windows);
  CloseHandle(process);
  return 0;
}

// ---- the script file under attack ---------------------------------------------------

// What the hammer tries, each in its own way to make diskpart read other bytes.
enum Attack {
  kReplace,     // a new file over it (CREATE_ALWAYS)
  kOverwrite,   // its bytes written over in place
  kAppend,      // a line added at its end
  kRenameOver,  // a prepared file renamed onto its name
  kRenameAway,  // it renamed away and a new file made under its name
  kDelete,      // it deleted and a new file made under its name
  kHardLink,    // a hard link to a prepared file under its name
  kSymLink,     // a symbolic link to a prepared file under its name
  kHold,        // a handle open for writing, written through while held
  kMap,         // a writable view mapped, written through after its handles close
  kAttacks
};
const char* const kAttackNames[kAttacks] = {"replace", "overwrite", "append", "rename-over", "rename-away",
                                            "delete", "hardlink", "symlink", "hold", "map"};

// Shared between tamper and hammer through a named mapping.
struct TamperShared {
  volatile LONG epoch;  // odd while the script file is locked
  volatile LONG stop;
  volatile LONG ready;
  LONG attempts[kAttacks];
  LONG inLock[kAttacks];          // attempts made wholly while it was locked
  LONG passedUnlocked[kAttacks];  // the system carried the attack out
  LONG passedLocked[kAttacks];
  LONG symlinkWorks, hardlinkWorks;
};

const char kEvilScript[] = "select disk 0\r\nclean\r\nexit\r\n";

bool WriteNew(const std::string& path, DWORD disposition, const std::string& bytes) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  CloseHandle(f);
  return ok;
}

bool WriteInto(const std::string& path, DWORD access, const std::string& bytes, DWORD holdMs) {
  HANDLE f = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  if (holdMs) Sleep(holdMs);
  DWORD written = 0;
  const bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written > 0;
  CloseHandle(f);
  return ok;
}

bool MapAndWrite(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  const DWORD size = GetFileSize(f, nullptr);
  HANDLE mapping = size ? CreateFileMappingA(f, nullptr, PAGE_READWRITE, 0, 0, nullptr) : nullptr;
  void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0) : nullptr;
  if (mapping) CloseHandle(mapping);
  CloseHandle(f);
  if (!view) return false;
  // Only the view is left: the handles that a lock would meet are closed.
  Sleep(1);
  const std::size_t n = size < sizeof kEvilScript - 1 ? size : sizeof kEvilScript - 1;
  std::memcpy(view, kEvilScript, n);
  FlushViewOfFile(view, 0);
  UnmapViewOfFile(view);
  return true;
}

bool HasReparsePoint(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Whether this system makes symbolic and hard links at all: a call that
// reports success and leaves nothing is no attack.
void ProbeLinks(const std::string& dir, TamperShared& shared) {
  const std::string target = dir + "orv-link-target.tmp", link = dir + "orv-link.tmp";
  DeleteFileA(link.c_str());
  WriteNew(target, CREATE_ALWAYS, "target");
  const bool sym = CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  shared.symlinkWorks = sym ? (HasReparsePoint(link) || ReadWhole(link) == "target" ? 1 : 2) : 0;
  DeleteFileA(link.c_str());
  const bool hard = CreateHardLinkA(link.c_str(), target.c_str(), nullptr);
  shared.hardlinkWorks = hard && ReadWhole(link) == "target" ? 1 : 0;
  DeleteFileA(link.c_str());
  DeleteFileA(target.c_str());
}

bool AttackOnce(Attack kind, const std::string& victim, const std::string& evil, const std::string& aside) {
  switch (kind) {
    case kReplace:
      return WriteNew(victim, CREATE_ALWAYS, kEvilScript);
    case kOverwrite:
      return WriteInto(victim, GENERIC_WRITE, kEvilScript, 0);
    case kAppend:
      return WriteInto(victim, FILE_APPEND_DATA, "clean\r\n", 0);
    case kRenameOver:
      return WriteNew(aside, CREATE_ALWAYS, kEvilScript) &&
             MoveFileExA(aside.c_str(), victim.c_str(), MOVEFILE_REPLACE_EXISTING);
    case kRenameAway:
      if (!MoveFileExA(victim.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
      WriteNew(victim, CREATE_NEW, kEvilScript);
      return true;
    case kDelete:
      if (!DeleteFileA(victim.c_str())) return false;
      WriteNew(victim, CREATE_NEW, kEvilScript);
      return true;
    case kHardLink:
      DeleteFileA(victim.c_str());
      return CreateHardLinkA(victim.c_str(), evil.c_str(), nullptr);
    case kSymLink:
      DeleteFileA(victim.c_str());
      return CreateSymbolicLinkA(victim.c_str(), evil.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
             HasReparsePoint(victim);
    case kHold:
      return WriteInto(victim, GENERIC_READ | GENERIC_WRITE, kEvilScript, 1);
    case kMap:
      return MapAndWrite(victim);
    default:
      return false;
  }
}

int Hammer(const std::string& victim, const std::string& sharedName) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, sharedName.c_str());
  auto* shared = mapping ? static_cast<TamperShared*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
  if (!shared) return 1;
  const std::string dir = victim.substr(0, victim.find_last_of('\\') + 1);
  const std::string evil = dir + "DPINPUT.EVIL.TXT", aside = dir + "DPINPUT.ASIDE.TXT";
  ProbeLinks(dir, *shared);
  WriteNew(evil, CREATE_ALWAYS, kEvilScript);
  shared->ready = 1;
  for (unsigned n = 0; !shared->stop; ++n) {
    const Attack kind = static_cast<Attack>(n % kAttacks);
    if (kind == kSymLink && shared->symlinkWorks != 1) continue;  // nothing to try
    const LONG before = shared->epoch;
    MemoryBarrier();
    const bool passed = AttackOnce(kind, victim, evil, aside);
    MemoryBarrier();
    const bool locked = before == shared->epoch && (before & 1);
    ++shared->attempts[kind];
    if (locked) ++shared->inLock[kind];
    if (passed) ++(locked ? shared->passedLocked : shared->passedUnlocked)[kind];
  }
  DeleteFileA(evil.c_str());
  DeleteFileA(aside.c_str());
  UnmapViewOfFile(shared);
  CloseHandle(mapping);
  return 0;
}

// The file read as a C runtime reads it: fopen shares reading and writing.
std::string ReadAsRuntime(const std::string& path, bool& opened) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  opened = f != INVALID_HANDLE_VALUE;
  if (!opened) return "";
  std::string all;
  char chunk[512];
  DWORD n = 0;
  while (ReadFile(f, chunk, sizeof chunk, &n, nullptr) && n > 0) all.append(chunk, n);
  CloseHandle(f);
  return all;
}

// Holds a named mutex for ms, as another copy of the program would.
int HoldMutex(const std::string& name, DWORD ms) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  std::printf("held=%d\n", mutex && GetLastError() != ERROR_ALREADY_EXISTS ? 1 : 0);
  std::fflush(stdout);
  Sleep(ms);
  return 0;
}

int ReadScript(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return 3;
  _setmode(_fileno(stdout), _O_BINARY);
  char chunk[512];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) std::fwrite(chunk, 1, n, stdout);
  std::fclose(f);
  return 0;
}

// The bytes "probe readscript" prints, as a started diskpart would read them.
std::string ReadInChild(const std::string& path, bool& opened) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  opened = false;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return "";
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi = {};
  std::string cmd = Quote(self) + " readscript " + Quote(path);
  const bool started =
      CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
  CloseHandle(writeEnd);
  std::string all;
  if (started) {
    char chunk[512];
    DWORD n = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &n, nullptr) && n > 0) all.append(chunk, n);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    opened = code == 0;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(readEnd);
  return all;
}

int Tamper(DWORD rounds, DWORD readerEvery) {
  static Win32Os os;
  InstallOs(&os);
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string path = std::string(temp) + "DPINPUT.TXT";
  const std::string sharedName = "OrvTamper" + std::to_string(GetCurrentProcessId());
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(TamperShared),
                                      sharedName.c_str());
  auto* shared = mapping ? static_cast<TamperShared*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0)) : nullptr;
  if (!shared) return 1;
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  HANDLE hammer = Start(Quote(self) + " hammer " + Quote(path) + " " + sharedName, 0);
  while (hammer && !shared->ready && WaitForSingleObject(hammer, 1) == WAIT_TIMEOUT) {
  }
  std::printf("path=%s\nhammer=%d\n", path.c_str(), hammer && shared->ready ? 1 : 0);
  if (!hammer || !shared->ready) return 1;

  unsigned failures = 0, locked = 0, reads = 0, childReads = 0, mismatched = 0, unreadable = 0, linked = 0;
  std::vector<std::pair<uint32_t, unsigned>> errors;
  for (DWORD round = 0; round < rounds; ++round) {
    // Between runs the file lies unguarded, as it does between the
    // program's diskpart runs: room for the hammer to plant something.
    Sleep(round % 3);
    const std::string bytes = ScriptFileBytes(
        {"select disk 0", "select partition 3", "shrink desired=" + std::to_string(1000 + round), "exit"});
    uint32_t error = 0;
    OsHandle lock = WriteLockedScriptFile(path, bytes, error);
    if (!lock.Valid()) {
      ++failures;
      auto at = errors.begin();
      while (at != errors.end() && at->first != error) ++at;
      if (at == errors.end()) errors.push_back({error, 1});
      else ++at->second;
      continue;
    }
    InterlockedIncrement(&shared->epoch);  // locked
    ++locked;
    // A file made anew has one name; more, and it was written through a
    // hard link planted under the script's name.
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(lock.Get()), &info) || info.nNumberOfLinks != 1) ++linked;
    // Read as diskpart would, at once, by a started process now and then,
    // and again after a pause, all while the lock is held.
    auto check = [&](const std::string& seen, bool opened) {
      ++reads;
      if (!opened) ++unreadable;
      if (!opened || seen != bytes) ++mismatched;
    };
    bool opened = false;
    std::string seen = ReadAsRuntime(path, opened);
    check(seen, opened);
    if (readerEvery && locked % readerEvery == 1 % readerEvery) {
      seen = ReadInChild(path, opened);
      check(seen, opened);
      ++childReads;
    }
    Sleep(1);
    seen = ReadAsRuntime(path, opened);
    check(seen, opened);
    InterlockedIncrement(&shared->epoch);  // released below
  }
  shared->stop = 1;
  WaitForSingleObject(hammer, 30000);
  CloseHandle(hammer);
  DeleteFileA(path.c_str());

  long attempts = 0, inLock = 0, passedLocked = 0, passedUnlocked = 0;
  for (int k = 0; k < kAttacks; ++k) {
    attempts += shared->attempts[k];
    inLock += shared->inLock[k];
    passedLocked += shared->passedLocked[k];
    passedUnlocked += shared->passedUnlocked[k];
    std::printf("attack.%s=%ld attempts, %ld while locked, %ld carried out unlocked, %ld while locked\n",
                kAttackNames[k], shared->attempts[k], shared->inLock[k], shared->passedUnlocked[k],
                shared->passedLocked[k]);
  }
  std::string errorText;
  for (const auto& e : errors)
    errorText += (errorText.empty() ? "" : ",") + std::to_string(e.first) + "x" + std::to_string(e.second);
  std::printf("rounds=%lu\nattempts=%ld\nattempts_while_locked=%ld\nsucceeded_attacks=%ld\npassed_unlocked=%ld\n"
              "script_write_failures=%u\nfailure_errors=%s\nlocked_rounds=%u\nreads=%u\nchild_reads=%u\n"
              "mismatched_reads=%u\nunreadable=%u\nwritten_through_link=%u\nsymlinks=%s\nhardlinks=%s\n",
              static_cast<unsigned long>(rounds), attempts, inLock, passedLocked, passedUnlocked, failures,
              errorText.c_str(), locked, reads, childReads, mismatched, unreadable, linked,
              shared->symlinkWorks == 1 ? "made" : shared->symlinkWorks == 2 ? "reported made, none there" : "refused",
              shared->hardlinkWorks ? "made" : "refused");
  UnmapViewOfFile(shared);
  CloseHandle(mapping);
  return mismatched == 0 && linked == 0 ? 0 : 1;
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
  if (command == "run" && argc > 3) {
    std::string args;
    for (int i = 4; i < argc; ++i) args += std::string(" ") + argv[i];
    return Run(static_cast<DWORD>(std::stoul(argv[2])), argv[3], args);
  }
  if (command == "window") return Window();
  if (command == "empty-window") return EmptyWindow();
  if (command == "emit" && argc > 3) return Emit(std::stoul(argv[2]), std::stoul(argv[3], nullptr, 0));
  if (command == "sleep" && argc > 2) {
    Sleep(static_cast<DWORD>(std::stoul(argv[2])));
    return 0;
  }
  if (command == "runner-cpu") return RunnerCpu();
  auto number = [&](int i) { return static_cast<DWORD>(std::stoul(argv[i])); };
  if (command == "children" && argc > 2) return Children(argv[2]);
  if (command == "click" && argc > 4) return Click(argv[2], argv[3], argv[4], argc > 5 && std::string(argv[5]) == "yes");
  if (command == "status" && argc > 2) return Status(argv[2]);
  if (command == "status-trace" && argc > 4) return StatusTrace(argv[2], number(3), argv[4]);
  if (command == "answer" && argc > 4) return Answer(argv[2], static_cast<int>(number(3)), number(4));
  if (command == "hang" && argc > 5) return Hang(argv[2], number(3), number(4), number(5), argc > 6 ? argv[6] : "");
  if (command == "tooltip" && argc > 2) return Tooltip(number(2));
  if (command == "focus" && argc > 2) return Focus(argv[2]);
  if (command == "launch" && argc > 4) {
    std::string line = Quote(argv[4]);
    for (int i = 5; i < argc; ++i) line += std::string(" ") + argv[i];
    return Launch(argv[2], number(3), line);
  }
  if (command == "repaint" && argc > 6) return Repaint(argv[2], argv[3], number(4), number(5), argv[6]);
  if (command == "create-run" && argc > 3) return CreateRun(argv[2], number(3), argc > 4 ? argv[4] : "");
  if (command == "cycle" && argc > 3) return Cycle(argv[2], number(3));
  if (command == "resources" && argc > 2) return Resources(argv[2]);
  if (command == "tamper" && argc > 3) return Tamper(number(2), number(3));
  if (command == "hammer" && argc > 3) return Hammer(argv[2], argv[3]);
  if (command == "readscript" && argc > 2) return ReadScript(argv[2]);
  if (command == "hold-mutex" && argc > 3) return HoldMutex(argv[2], number(3));
  std::fprintf(stderr,
               "usage: probe osversion | uninstall-target EXE | console EXE WAIT_MS ARGS... | window | empty-window |\n"
               "  children TITLE |\n"
               "  click TITLE CLASS TEXT [yes] | status TITLE | status-trace TITLE TIMEOUT_MS SUFFIX |\n"
               "  answer CAPTION ID TIMEOUT_MS | hang TITLE INTERVAL_MS DURATION_MS TIMEOUT_MS [STOP_FILE] |\n"
               "  tooltip TIMEOUT_MS | focus TITLE | launch STATUS_PREFIX TIMEOUT_MS EXE [ARGS...] |\n"
               "  repaint TITLE WHAT COUNT SLEEP_MS PIDS | create-run TITLE TIMEOUT_MS [PIDS] |\n"
               "  cycle TITLE TIMEOUT_MS | resources TITLE | tamper ROUNDS READER_EVERY | hammer PATH SHARED_NAME |\n"
               "  readscript PATH | hold-mutex NAME MS\n");
  return 2;
}

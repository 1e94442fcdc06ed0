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
//
// The window on screen, found by its title (another process's windows):
//   probe children TITLE            every descendant window in EnumChildWindows
//                                   order: class|text|visible|enabled|place in
//                                   client coordinates; the client size, its
//                                   origin on the screen and the window's frame
//   probe click TITLE CLASS TEXT    BM_CLICK on the first such descendant
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
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

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

int Click(const std::string& title, const std::string& cls, const std::string& text) {
  HWND top = FindTop(title);
  for (HWND w : top ? Descendants(top) : std::vector<HWND>()) {
    if (!SameText(ClassOf(w), cls) || TextOf(w) != text) continue;
    // Returns once the button's handler has run in its own thread.
    DWORD_PTR ignored = 0;
    const bool answered = SendMessageTimeoutA(w, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kClickTimeoutMs, &ignored) != 0;
    std::printf("clicked=%d\n", answered ? 1 : 0);
    return answered ? 0 : 1;
  }
  std::printf("clicked=0\n");
  return 1;
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

int Answer(const std::string& caption, int button, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  HWND box = nullptr;
  while (!(box = VisibleTop("#32770", caption.c_str())) && GetTickCount() - start < timeoutMs) Sleep(kPollMs);
  if (!box) {
    std::printf("found=0\n");
    return 1;
  }
  // The message text is the box's static with text (the icon's has none).
  std::string text;
  for (HWND w : Descendants(box))
    if (SameText(ClassOf(w), "Static") && text.empty()) text = TextOf(w);
  std::printf("found=1\ntext=%s\nframe=%s\n", text.c_str(), PlaceText(ScreenRect(box)).c_str());
  if (button == 0) return 0;  // only wait for it
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
  std::printf("pressed=%d\nclosed=%d\n", control ? 1 : 0, IsWindow(box) ? 0 : 1);
  return 0;
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
// TTM_GETCURRENTTOOLA into memory of the tooltip's process, since pointers
// in common-control messages are not carried across processes.
std::string TooltipText(HWND tip, HWND* tool) {
  DWORD pid = 0;
  GetWindowThreadProcessId(tip, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!process) return "";
  constexpr SIZE_T kTextBytes = 256;
  const SIZE_T bytes = sizeof(TTTOOLINFOA) + kTextBytes;
  auto* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE));
  std::string text;
  if (remote) {
    std::vector<char> local(bytes, 0);
    auto* info = reinterpret_cast<TTTOOLINFOA*>(local.data());
    info->cbSize = TTTOOLINFOA_V2_SIZE;
    info->lpszText = remote + sizeof(TTTOOLINFOA);
    SIZE_T done = 0;
    DWORD_PTR current = 0;
    if (WriteProcessMemory(process, remote, local.data(), bytes, &done) &&
        SendMessageTimeoutA(tip, TTM_GETCURRENTTOOLA, 0, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                            kReplyTimeoutMs, &current) &&
        current && ReadProcessMemory(process, remote, local.data(), bytes, &done)) {
      local.back() = '\0';
      text = local.data() + sizeof(TTTOOLINFOA);
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
  const std::string text = TooltipText(tip, &tool);
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
  auto number = [&](int i) { return static_cast<DWORD>(std::stoul(argv[i])); };
  if (command == "children" && argc > 2) return Children(argv[2]);
  if (command == "click" && argc > 4) return Click(argv[2], argv[3], argv[4]);
  if (command == "status" && argc > 2) return Status(argv[2]);
  if (command == "status-trace" && argc > 4) return StatusTrace(argv[2], number(3), argv[4]);
  if (command == "answer" && argc > 4) return Answer(argv[2], static_cast<int>(number(3)), number(4));
  if (command == "hang" && argc > 5) return Hang(argv[2], number(3), number(4), number(5), argc > 6 ? argv[6] : "");
  if (command == "tooltip" && argc > 2) return Tooltip(number(2));
  if (command == "focus" && argc > 2) return Focus(argv[2]);
  std::fprintf(stderr,
               "usage: probe osversion | uninstall-target EXE | console EXE WAIT_MS ARGS... | window | children TITLE |\n"
               "  click TITLE CLASS TEXT | status TITLE | status-trace TITLE TIMEOUT_MS SUFFIX |\n"
               "  answer CAPTION ID TIMEOUT_MS | hang TITLE INTERVAL_MS DURATION_MS TIMEOUT_MS [STOP_FILE] |\n"
               "  tooltip TIMEOUT_MS | focus TITLE\n");
  return 2;
}

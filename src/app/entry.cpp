#include "app/entry.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "app/report_output.h"
#include "app/switches.h"
#include "app/unattended.h"
#include "platform/os.h"
#include "shell/debug_console.h"
#include "shell/global.h"
#include "shell/log_kv.h"
#include "shell/thread.h"
#include "ui/main_form.h"

namespace {

bool Contains(const std::string& text, const char* switchText) {
  return text.find(switchText) != std::string::npos;
}

// The text after the program's name, as written.
std::string ProcessArgumentText() {
  Os& os = CurrentOs();
  return ArgumentText(os.GetCommandLineA(), os.GetModuleFileNameA());
}

using TOut = std::function<void(const std::string&)>;

// Text of several lines, one report line each.
void OutLines(const TOut& out, const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    out(text.substr(at, end - at));
    at = end + 1;
  }
}

// The run ends before it changed anything: why, any further lines of text,
// and the exit code.
int Stop(const TOut& out, int code, const std::string& error, const std::string& text = "") {
  out("Error=" + error);
  OutLines(out, text);
  out("ExitCode=" + std::to_string(code));
  return code;
}

// An unattended run from start to exit code. Nothing is changed unless the
// command line is valid, the log file (if any) is open and no other copy runs.
int RunUnattendedProcess(const TSwitches& s) {
  TReportOutput report;
  report.Open();  // before the debug log can take the standard output
  const auto out = [&report](const std::string& line) { report.Line(line); };
  if (s.Action == TAction::Help) {
    OutLines(out, UsageText());
    return kExitOk;
  }
  if (!s.Error.empty()) return Stop(out, kExitUsage, s.Error, UsageText());
  GetDebugConsole(s.Debug);
  // Before the log file: a running copy may hold the same file open.
  if (!CanStart()) return Stop(out, kExitAnotherCopy, "another copy of OrvRapidStart is running");
  if (!s.LogPath.empty()) {
    const std::string why = GetDebugConsole().OpenLogFile(s.LogPath);
    if (!why.empty()) return Stop(out, kExitCannotLog, "the log file " + s.LogPath + " cannot be written: " + why);
  }

  TQueueDispatcher gui;
  InstallDispatcher(&gui);
  TSystemLoopClock clock;
  TUnattendedEnv env{gui, clock, out};
  int code = kExitInternal;
  try {
    code = RunUnattended(s, env);
  } catch (const std::exception& e) {
    code = Stop(out, kExitInternal, e.what());
  } catch (...) {
    code = Stop(out, kExitInternal, "unexpected exception");
  }
  // No worker may outlive the queue it reports to.
  while (!gui.PumpUntil([] { return TThread::LiveCount() == 0; })) {
  }
  gui.Close();
  InstallDispatcher(nullptr);
  return code;
}

}  // namespace

bool CanStart() {
  Os& os = CurrentOs();
  const std::string exePath = os.GetModuleFileNameA();
  const std::string mutexName = ExtractFileName(exePath);

  // Behind the full path in quotes (Explorer, a shortcut) the argument text
  // starts with the closing quote.
  const std::string args = AnsiUpperCase(ArgumentText(os.GetCommandLineA(), exePath));
  const bool debug = Contains(args, "/DEBUG");
  const bool uninstall = Contains(args, "/UNINSTALL");

  GetDebugConsole(debug).WriteLine(args);

  const os::Handle existing = os.OpenMutexA(os::kMutexAllAccess, false, mutexName);
  if (existing != os::kNull) {
    os.CloseHandle(existing);
    if (uninstall) {
      const os::Handle window = os.FindWindowA(kApplicationWindowClass, kApplicationTitle);
      if (window != os::kNull) {
        os.PostMessageA(window, kUninstallMessage, 0, 0);
        os.Sleep(kUninstallWaitMs);
      }
    }
    return false;
  }
  if (uninstall) return false;

  // Two copies started together can both miss the mutex above; the one whose
  // creation finds it already there must step back. The winner's handle stays
  // open until the process ends.
  const os::Handle mutex = os.CreateMutexA("", false, mutexName);
  const uint32_t error = os.GetLastError();
  if (mutex != os::kNull && error == os::kErrorAlreadyExists) {
    os.CloseHandle(mutex);
    return false;
  }
  // A name held by another user's elevated copy cannot even be opened.
  if (mutex == os::kNull && error == os::kErrorAccessDenied) return false;
  return true;
}

int RunApplication(TApplicationHost& host) {
  const TSwitches switches = ReadSwitches(ProcessArgumentText(), host.OwnSwitchPrefixes());
  if (switches.Action != TAction::Window) return RunUnattendedProcess(switches);
  if (!switches.LogPath.empty()) {
    // Opened before the first line, so the file holds all of them.
    const std::string why = GetDebugConsole().OpenLogFile(switches.LogPath);
    if (!why.empty()) LogLine("LogFile=" + switches.LogPath + " is not written: " + why);
  }
  if (!CanStart()) {
    ReleaseDebugConsole();
    return 0;
  }
  try {
    host.Initialize(kApplicationTitle);
    auto form = std::make_unique<TMainForm>();
    host.Run(*form);
  } catch (const std::exception& e) {
    host.ShowException(e.what());
  } catch (...) {
    host.ShowException("");
  }
  // A diskpart run may outlive the window: the process stays (and keeps the
  // single-instance mutex) until it has ended, so no second instance works
  // on the disks meanwhile.
  host.WaitForWorkers();
  return 0;
}

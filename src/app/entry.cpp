#include "app/entry.h"

#include <exception>
#include <memory>

#include "platform/os.h"
#include "shell/debug_console.h"
#include "shell/global.h"
#include "ui/main_form.h"

namespace {

bool Contains(const std::string& text, const char* switchText) {
  return text.find(switchText) != std::string::npos;
}

}  // namespace

bool CanStart() {
  Os& os = CurrentOs();
  const std::string exePath = os.GetModuleFileNameA();
  const std::string mutexName = ExtractFileName(exePath);

  // With a quoted path the argument text starts with the closing quote; a
  // command line that does not spell the full path yields no switches.
  const std::string args = AnsiUpperCase(TextAfter(os.GetCommandLineA(), exePath, ""));
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
  const os::Handle mutex = os.CreateMutexA(false, mutexName);
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

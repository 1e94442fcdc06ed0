// The process entry: the one-instance rule, the /UNINSTALL hand-off, the
// debug log switch, the main window and its message loop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TMainForm;

constexpr char kApplicationTitle[] = "OrvRapidStart";
constexpr char kApplicationWindowClass[] = "TApplication";
// WM_APP + 0x19E: posted to a running instance by a /UNINSTALL run.
constexpr uint32_t kUninstallMessage = 0x8000 + 0x19E;
constexpr uint32_t kUninstallWaitMs = 5000;

// What the entry needs of the GUI toolkit: the hidden application window, the
// main window's message loop and the exception message box. The Win32 side
// draws real windows; tests drive a stand-in.
class TApplicationHost {
 public:
  virtual ~TApplicationHost() = default;
  virtual void Initialize(const std::string& title) = 0;
  // Shows the form and runs the message loop until it closes.
  virtual void Run(TMainForm& form) = 0;
  virtual void ShowException(const std::string& message) = 0;
  // Lets the GUI thread keep serving until no worker thread is left, so none
  // outlives the dispatcher it reports to.
  virtual void WaitForWorkers() = 0;
  // Switch prefixes of this program's own ("/MACHINE=" for the demo) that an
  // unattended run passes over.
  virtual std::vector<std::string> OwnSwitchPrefixes() const { return {}; }
};

// True when this process is to create its window and run the message loop.
bool CanStart();

// The body of WinMain: the window (exit code 0), or with /STATUS, /CREATE or
// /DELETE an unattended run, whose exit code it returns.
int RunApplication(TApplicationHost& host);

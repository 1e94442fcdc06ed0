// The Win32 side of the application object: the hidden application window
// through which other instances find this one, GDI+ and the common controls,
// the main window (through the renderer) and the message loop.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/entry.h"

class TWin32Renderer;

class Win32ApplicationHost : public TApplicationHost {
 public:
  explicit Win32ApplicationHost(HINSTANCE instance) : instance_(instance) {}
  ~Win32ApplicationHost() override;

  void Initialize(const std::string& title) override;
  void Run(TMainForm& form) override;
  void ShowException(const std::string& message) override;
  void WaitForWorkers() override;

  // The process's life on Win32 once the seam is installed: the GUI
  // dispatcher, the portable entry, and the wait for the workers.
  int Main();
  // Words added to the main window's title ("Demo").
  std::string TitleSuffix;
  // Switches of this program's own, passed over by unattended runs.
  std::vector<std::string> OwnSwitches;
  std::vector<std::string> OwnSwitchPrefixes() const override { return OwnSwitches; }

 private:
  HINSTANCE instance_;
  std::string title_;
  HWND appWindow_ = nullptr;
  ULONG_PTR gdiplusToken_ = 0;
};

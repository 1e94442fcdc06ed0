// The Win32 side of the application object: the hidden application window
// through which other instances find this one, the main window and the
// message loop.
#pragma once

#include <windows.h>

#include <string>

#include "app/entry.h"

class TForm;

class Win32ApplicationHost : public TApplicationHost {
 public:
  explicit Win32ApplicationHost(HINSTANCE instance) : instance_(instance) {}
  ~Win32ApplicationHost() override;

  void Initialize(const std::string& title) override;
  void Run(TMainForm& form) override;
  void ShowException(const std::string& message) override;

 private:
  static LRESULT CALLBACK FormProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  std::string title_;
  HWND appWindow_ = nullptr;
};

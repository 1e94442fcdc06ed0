// The GUI thread's dispatcher on Win32: a message-only window owned by the
// GUI thread. Send is SendMessage (the worker waits while the GUI thread runs
// the function); Post is PostMessage. Once the window is gone both fail
// quietly and nothing runs.
#pragma once

#include <windows.h>

#include <string>

#include "shell/thread.h"

class Win32Dispatcher : public TGuiDispatcher {
 public:
  explicit Win32Dispatcher(HINSTANCE instance);
  ~Win32Dispatcher() override;
  void Send(const std::function<void()>& fn) override;
  void Post(std::function<void()> fn) override;

  // Receives the message of an exception that a handed-off function let escape.
  static std::function<void(const std::string&)> OnException;

 private:
  static void Run(const std::function<void()>& fn);
  static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
};

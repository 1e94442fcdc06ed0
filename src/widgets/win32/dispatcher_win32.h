// The GUI thread's dispatcher on Win32: a message-only window owned by the
// GUI thread. Send is SendMessage (the worker waits while the GUI thread runs
// the function); Post is PostMessage. Once the window is gone both fail
// quietly and nothing runs.
#pragma once

#include <windows.h>

#include "widgets/thread.h"

class Win32Dispatcher : public TGuiDispatcher {
 public:
  explicit Win32Dispatcher(HINSTANCE instance);
  ~Win32Dispatcher() override;
  void Send(const std::function<void()>& fn) override;
  void Post(std::function<void()> fn) override;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
};

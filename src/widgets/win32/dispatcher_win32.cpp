#include "widgets/win32/dispatcher_win32.h"

#include <memory>

namespace {
constexpr char kClass[] = "OrvRapidStartDispatcher";
constexpr UINT kSendMessage = WM_APP + 10;  // lParam: const std::function<void()>*
constexpr UINT kPostMessage = WM_APP + 11;  // lParam: std::function<void()>*, owned by the message
}  // namespace

Win32Dispatcher::Win32Dispatcher(HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.lpszClassName = kClass;
  RegisterClassA(&wc);
  window_ = CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
}

Win32Dispatcher::~Win32Dispatcher() {
  if (window_) DestroyWindow(window_);
}

std::function<void(const std::string&)> Win32Dispatcher::OnException;

// Unwinding cannot cross the system's window procedure: whatever a handed-off
// function lets escape is reported here.
void Win32Dispatcher::Run(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    if (OnException) OnException(e.what());
  } catch (...) {
    if (OnException) OnException("");
  }
}

LRESULT CALLBACK Win32Dispatcher::Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == kSendMessage) {
    Run(*reinterpret_cast<const std::function<void()>*>(lParam));
    return 0;
  }
  if (msg == kPostMessage) {
    std::unique_ptr<std::function<void()>> fn(reinterpret_cast<std::function<void()>*>(lParam));
    Run(*fn);
    return 0;
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

void Win32Dispatcher::Send(const std::function<void()>& fn) {
  SendMessageA(window_, kSendMessage, 0, reinterpret_cast<LPARAM>(&fn));
}

void Win32Dispatcher::Post(std::function<void()> fn) {
  auto* owned = new std::function<void()>(std::move(fn));
  if (!PostMessageA(window_, kPostMessage, 0, reinterpret_cast<LPARAM>(owned))) delete owned;
}

// The hidden application window ("TApplication"), the main window's frame and
// the message loop. The form object's pointer is kept in the window's user
// data from WM_NCCREATE on, so each message reaches its form.
#include "widgets/win32/app_host_win32.h"

#include <functional>
#include <stdexcept>

#include "ui/main_form.h"

namespace {

constexpr char kFormClass[] = "TMainForm";
constexpr UINT kFirstShowMessage = WM_APP + 1;

// Single fixed border, title bar with system menu and minimise box only.
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;

TForm* FormOf(HWND window) { return reinterpret_cast<TForm*>(GetWindowLongPtrA(window, GWLP_USERDATA)); }

void Raise(const std::function<void()>& event) {
  if (event) event();
}

}  // namespace

Win32ApplicationHost::~Win32ApplicationHost() {
  if (appWindow_) DestroyWindow(appWindow_);
}

void Win32ApplicationHost::Initialize(const std::string& title) {
  title_ = title;
  WNDCLASSA app = {};
  app.lpfnWndProc = DefWindowProcA;  // 0x819E from a /UNINSTALL run is ignored
  app.hInstance = instance_;
  app.lpszClassName = kApplicationWindowClass;
  RegisterClassA(&app);
  // Never shown: other processes find this instance through it.
  appWindow_ = CreateWindowExA(0, kApplicationWindowClass, title.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               instance_, nullptr);

  WNDCLASSA form = {};
  form.lpfnWndProc = FormProc;
  form.hInstance = instance_;
  form.hCursor = LoadCursor(nullptr, IDC_ARROW);
  form.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(1));
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = kFormClass;
  RegisterClassA(&form);
}

LRESULT CALLBACK Win32ApplicationHost::FormProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  TForm* form = FormOf(window);
  switch (msg) {
    case WM_CREATE:
      if (form) Raise(form->OnCreate);
      return 0;
    case kFirstShowMessage:
      if (form) Raise(form->OnShow);
      return 0;
    case WM_CLOSE:
      if (form) Raise(form->OnClose);
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, msg, wParam, lParam);
  }
}

void Win32ApplicationHost::Run(TMainForm& form) {
  RECT frame = {0, 0, form.ClientWidth, form.ClientHeight};
  AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = form.CenterOnScreen ? (GetSystemMetrics(SM_CXSCREEN) - width) / 2 : CW_USEDEFAULT;
  const int y = form.CenterOnScreen ? (GetSystemMetrics(SM_CYSCREEN) - height) / 2 : CW_USEDEFAULT;
  HWND window = CreateWindowExA(0, kFormClass, form.Caption.c_str(), kFormStyle, x, y, width, height, nullptr,
                                nullptr, instance_, static_cast<TForm*>(&form));
  if (!window) throw std::runtime_error("The main window could not be created.");
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  PostMessageA(window, kFirstShowMessage, 0, 0);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void Win32ApplicationHost::ShowException(const std::string& message) {
  MessageBoxA(nullptr, message.c_str(), title_.c_str(), MB_OK | MB_ICONERROR);
}

#include "app/win32/app_host_win32.h"

#include <commctrl.h>

#include <cstring>

#include "shell/thread.h"
#include "ui/main_form.h"
#include "widgets/win32/dispatcher_win32.h"
#include "widgets/win32/paint_win32.h"
#include "widgets/win32/renderer_win32.h"

namespace {
constexpr DWORD kWorkerPollMs = 50;

void PumpPending() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// The file version of this executable's version resource ("1.0.0.0"), from
// its fixed part; empty when there is none. Read from the loaded image: no
// version library at start-up, no second reading of the file.
std::string FileVersion(HINSTANCE instance) {
  HRSRC res = FindResourceA(instance, MAKEINTRESOURCEA(VS_VERSION_INFO), MAKEINTRESOURCEA(16));  // RT_VERSION
  HGLOBAL data = res ? LoadResource(instance, res) : nullptr;
  const auto* bytes = static_cast<const BYTE*>(data ? LockResource(data) : nullptr);
  // VS_VERSIONINFO: three WORDs, L"VS_VERSION_INFO" with its terminator,
  // padding to 32 bits, then the VS_FIXEDFILEINFO.
  constexpr DWORD kFixedAt = 40;
  VS_FIXEDFILEINFO fixed = {};
  if (!bytes || SizeofResource(instance, res) < kFixedAt + sizeof fixed) return "";
  memcpy(&fixed, bytes + kFixedAt, sizeof fixed);
  if (fixed.dwSignature != 0xFEEF04BD) return "";
  return std::to_string(HIWORD(fixed.dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed.dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed.dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed.dwFileVersionLS));
}

void ShowAbout(HINSTANCE instance, HWND owner) {
  const std::string version = FileVersion(instance);
  MessageBoxA(owner, ("OrvRapidStart\nVersion " + (version.empty() ? std::string("unknown") : version)).c_str(),
              "About OrvRapidStart", MB_OK | MB_ICONINFORMATION);
}
}  // namespace

Win32ApplicationHost::~Win32ApplicationHost() {
  if (appWindow_) DestroyWindow(appWindow_);
  if (gdiplusToken_) Gdiplus::GdiplusShutdown(gdiplusToken_);
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

  // comctl32 6 (the manifests' dependency): the standard controls and tooltips.
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr);
  TWin32Renderer::RegisterClasses(instance_);
}

int Win32ApplicationHost::Main() {
  Win32Dispatcher gui(instance_);
  Win32Dispatcher::OnException = [this](const std::string& message) { ShowException(message); };
  InstallDispatcher(&gui);
  const int code = RunApplication(*this);
  InstallDispatcher(nullptr);  // no worker is left: RunApplication waited for them
  return code;
}

void Win32ApplicationHost::Run(TMainForm& form) {
  if (!TitleSuffix.empty()) form.SetCaption(form.Caption() + " " + TitleSuffix);
  TWin32Renderer renderer(instance_, form, [this](const std::string& message) { ShowException(message); });
  HWND window = renderer.Window();
  if (!window) throw std::runtime_error("The main window could not be created.");
  renderer.AddSystemMenuItem("About OrvRapidStart...", [this, window] { ShowAbout(instance_, window); });
  renderer.Guarded([&form] {
    if (form.OnCreate) form.OnCreate();
  });
  // The show event comes as the window is about to show: its first picture
  // is the filled one, and nothing is painted twice.
  renderer.Guarded([&form] { form.Shown(); });
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    // Tab and the arrow keys move the focus among the controls; Enter on a
    // focused button clicks it.
    if (renderer.TranslateKey(msg) || IsDialogMessageA(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void Win32ApplicationHost::ShowException(const std::string& message) {
  MessageBoxA(nullptr, message.c_str(), title_.c_str(), MB_OK | MB_ICONERROR);
}

void Win32ApplicationHost::WaitForWorkers() {
  while (TThread::LiveCount() > 0) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kWorkerPollMs, QS_ALLINPUT);
    PumpPending();
  }
  PumpPending();
}

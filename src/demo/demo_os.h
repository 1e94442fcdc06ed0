// The demo's seam: the simulated PC answers for the disks, the device list,
// files, processes, WMI, the token, the shutdown and the machine-wide lock on
// disk changes; the real system answers for windows, message boxes, the
// console, the single-instance mutex, the command line and the version.
// The window and every workflow then run for real on a machine that only
// exists in memory, and a restart is shown, never made.
#pragma once

#include "platform/os.h"
#include "platform/sim/sim_pc.h"

class TDemoOs : public Os {
 public:
  TDemoOs(Os& real, SimPc& sim) : real_(real), sim_(sim) {}

  // The last error is the real thread's: after a simulated call it holds
  // what the simulated PC set.
  uint32_t GetLastError() override { return real_.GetLastError(); }
  void SetLastError(uint32_t code) override {
    real_.SetLastError(code);
    sim_.SetLastError(code);
  }

  // ---- the real system ----
  std::string GetCommandLineA() override { return real_.GetCommandLineA(); }
  std::string GetModuleFileNameA() override { return real_.GetModuleFileNameA(); }
  void Sleep(uint32_t ms) override { real_.Sleep(ms); }
  std::string CharUpperBuffA(const std::string& text) override { return real_.CharUpperBuffA(text); }
  os::Handle OpenMutexA(uint32_t access, bool inherit, const std::string& name) override {
    return real_.OpenMutexA(access, inherit, name);
  }
  // The machine-wide names guard disks, and the demo's disks are simulated.
  os::Handle CreateMutexA(const std::string& sddl, bool initialOwner, const std::string& name) override;
  os::Handle FindWindowA(const std::string& className, const std::string& windowName) override {
    return real_.FindWindowA(className, windowName);
  }
  bool PostMessageA(os::Handle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
    return real_.PostMessageA(window, msg, wParam, lParam);
  }
  int MessageBoxA(const std::string& text, const std::string& caption, uint32_t type) override {
    return real_.MessageBoxA(text, caption, type);
  }
  bool AllocConsole() override { return real_.AllocConsole(); }
  bool FreeConsole() override { return real_.FreeConsole(); }
  os::Handle GetStdHandle(uint32_t which) override { return real_.GetStdHandle(which); }
  bool WriteConsoleA(os::Handle out, const std::string& bytes) override { return real_.WriteConsoleA(out, bytes); }
  bool GetConsoleScreenBufferInfo(os::Handle out, uint16_t& attributes) override {
    return real_.GetConsoleScreenBufferInfo(out, attributes);
  }
  bool SetConsoleTextAttribute(os::Handle out, uint16_t attributes) override {
    return real_.SetConsoleTextAttribute(out, attributes);
  }
  os::Proc GetProcAddress(const std::string& module, const std::string& name) override {
    return real_.GetProcAddress(module, name);
  }
  bool IsWow64Process(os::Proc fn, bool& wow64) override { return real_.IsWow64Process(fn, wow64); }
  void GetNativeSystemInfo(os::Proc fn, os::SystemInfo& info) override { real_.GetNativeSystemInfo(fn, info); }
  bool GetProductInfo(os::Proc fn, uint32_t major, uint32_t minor, uint32_t spMajor, uint32_t spMinor,
                      uint32_t& productType) override {
    return real_.GetProductInfo(fn, major, minor, spMajor, spMinor, productType);
  }
  void GetSystemInfo(os::SystemInfo& info) override { real_.GetSystemInfo(info); }
  bool GetVersionExA(os::OsVersionInfoExA& record) override { return real_.GetVersionExA(record); }
  int GetSystemMetrics(int index) override { return real_.GetSystemMetrics(index); }
  uint32_t GetTickCount() override { return real_.GetTickCount(); }
  void GetLocalTime(os::SystemTime& time) override { real_.GetLocalTime(time); }
  bool AttachConsole(uint32_t processId) override { return real_.AttachConsole(processId); }

  // A handle is closed by whichever side made it.
  bool CloseHandle(os::Handle h) override;
  // Files: the simulated PC's devices and its temporary folder (where the
  // scripts go) are simulated; any other path (a log file the user names)
  // is a real file. Reads, writes and queries go to the side that made the
  // handle, so the real standard output stays real.
  os::Handle CreateFileA(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
                         uint32_t flags) override;
  bool DeleteFileA(const std::string& path) override;
  bool CreateDirectoryA(const std::string& path, const std::string& sddl) override;
  bool RemoveDirectoryA(const std::string& path) override;
  bool GetFileOwnerSid(os::Handle file, std::string& sid) override;
  bool WriteFile(os::Handle file, const void* data, uint32_t size, uint32_t& written) override;
  bool ReadFile(os::Handle file, void* buffer, uint32_t size, uint32_t& read) override;
  bool GetFileInformationByHandle(os::Handle file, os::FileIdentity& identity) override;

  // ---- the simulated PC ----
  std::string GetTempPathA(uint32_t bufferChars) override;
  bool DeviceIoControl(os::Handle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                       uint32_t outSize, uint32_t& bytesReturned) override;
  uint32_t GetLogicalDrives() override;
  os::Handle SetupDiGetClassDevsA(const os::Guid& cls, uint32_t flags) override;
  bool SetupDiEnumDeviceInterfaces(os::Handle set, const os::Guid& cls, uint32_t index,
                                   os::SpDeviceInterfaceData& data) override;
  bool SetupDiGetDeviceInterfaceDetailA(os::Handle set, const os::SpDeviceInterfaceData& data, void* detail,
                                        uint32_t detailSize) override;
  bool SetupDiDestroyDeviceInfoList(os::Handle set) override;
  os::Handle SetupDiGetClassDevsByEnumeratorA(const std::string& enumerator, uint32_t flags) override;
  bool SetupDiEnumDeviceInfo(os::Handle set, uint32_t index, os::SpDevInfoData& data) override;
  bool SetupDiGetDeviceRegistryPropertyA(os::Handle set, const os::SpDevInfoData& data, uint32_t property,
                                         uint32_t& regType, void* buffer, uint32_t bufferSize,
                                         uint32_t& requiredSize) override;
  bool CoCreateGuid(os::Guid& guid) override;
  bool CreatePipe(os::Handle& readEnd, os::Handle& writeEnd, bool inheritable) override;
  bool SetHandleInformation(os::Handle h, uint32_t mask, uint32_t flags) override;
  std::string GetSystemDirectoryA() override;
  std::string GetSystemWindowsDirectoryA() override;
  bool CreateProcessA(const std::string& commandLine, uint32_t flags, os::Handle stdIn, os::Handle stdOut,
                      os::Handle stdErr, os::ProcessInformation& pi) override;
  uint32_t WaitForSingleObject(os::Handle h, uint32_t ms) override;
  bool PeekNamedPipe(os::Handle pipe, uint32_t& available) override;
  bool GetExitCodeProcess(os::Handle process, uint32_t& code) override;
  os::HResult CoInitializeEx(uint32_t coInit) override;
  void CoUninitialize() override;
  os::HResult CoInitializeSecurity(uint32_t authnLevel, uint32_t impLevel, uint32_t capabilities) override;
  os::HResult CreateWbemLocator(uint32_t clsContext, os::ComObject& locator) override;
  os::HResult WbemConnectServer(os::ComObject locator, const std::wstring& ns, os::ComObject& services) override;
  os::HResult CoSetProxyBlanket(os::ComObject services, uint32_t authn, uint32_t authz, uint32_t authnLevel,
                                uint32_t impLevel, uint32_t capabilities) override;
  os::HResult WbemExecQuery(os::ComObject services, const std::wstring& language, const std::wstring& query,
                            int32_t flags, os::ComObject& enumerator) override;
  os::HResult WbemNext(os::ComObject enumerator, int32_t timeout, os::ComObject& object, uint32_t& returned) override;
  os::HResult WbemGet(os::ComObject object, const std::wstring& name, os::Variant& value) override;
  uint32_t ComRelease(os::ComObject object) override;
  void WriteStdOut(const std::string& text) override;
  void WriteStdOutWide(const std::wstring& text) override;
  os::Handle GetCurrentProcess() override;
  bool OpenProcessToken(os::Handle process, uint32_t access, os::Handle& token) override;
  bool LookupPrivilegeValueA(const std::string& name, os::Luid& luid) override;
  bool AdjustTokenPrivileges(os::Handle token, bool disableAll, const os::TokenPrivileges1& privileges) override;
  // Recorded by the simulated PC, and shown: nothing restarts.
  bool InitiateSystemShutdownA(uint32_t timeoutSeconds, bool forceAppsClosed, bool reboot) override;
  // An unattended run shows nothing modal: nobody may be there to press OK,
  // and its report says Restart=Requested already.
  bool ShowsRestart = true;

  static constexpr char kRestartShownText[] =
      "This is the demo: the simulated PC would restart now to start using its Rapid Start partition.\n\n"
      "Nothing was restarted.";
  static constexpr char kRestartShownCaption[] = "OrvRapidStart Demo";

 private:
  // Runs a call on the simulated PC and hands its last error to the real thread.
  template <class F>
  auto Sim(F&& call) -> decltype(call()) {
    auto result = call();
    real_.SetLastError(sim_.GetLastError());
    return result;
  }

  bool Simulated(const std::string& path);

  Os& real_;
  SimPc& sim_;
};

// The only door to the operating system.
//
// Every method mirrors one Windows call the program makes, with the same
// arguments and the same meaning of its result; the last error is read with
// GetLastError exactly as on Windows. platform/win32 forwards each method to
// the real call without logic; platform/sim answers from a simulated PC.
// Outside the win32/ folders only the process entries (app/winmain.cpp,
// app/demo_main.cpp, helper/amd64.cpp) include <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/os_types.h"

class Os {
 public:
  virtual ~Os() = default;

  // --- errors ---
  virtual uint32_t GetLastError() = 0;
  virtual void SetLastError(uint32_t code) = 0;

  // --- process ---
  virtual std::string GetCommandLineA() = 0;
  // GetModuleFileNameA(NULL, ...): the full path of this executable.
  virtual std::string GetModuleFileNameA() = 0;
  // GetTempPathA with a buffer of bufferChars; empty on failure.
  virtual std::string GetTempPathA(uint32_t bufferChars) = 0;
  virtual void Sleep(uint32_t ms) = 0;
  virtual bool CloseHandle(os::Handle h) = 0;
  // CharUpperBuffA: the user's locale upper-casing of ANSI text, same length.
  virtual std::string CharUpperBuffA(const std::string& text) = 0;

  // --- named mutex ---
  virtual os::Handle OpenMutexA(uint32_t access, bool inherit, const std::string& name) = 0;
  // CreateMutexA(&sa, initialOwner, name), where sa carries the security
  // descriptor that the SDDL text describes (empty: NULL attributes, the
  // default access). GetLastError tells ERROR_ALREADY_EXISTS when the mutex
  // existed before the call.
  virtual os::Handle CreateMutexA(const std::string& sddl, bool initialOwner, const std::string& name) = 0;

  // --- windows and messages ---
  virtual os::Handle FindWindowA(const std::string& className, const std::string& windowName) = 0;
  virtual bool PostMessageA(os::Handle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
  // MessageBoxA(NULL, text, caption, type); returns the button id.
  virtual int MessageBoxA(const std::string& text, const std::string& caption, uint32_t type) = 0;

  // --- console ---
  virtual bool AllocConsole() = 0;
  virtual bool FreeConsole() = 0;
  virtual os::Handle GetStdHandle(uint32_t which) = 0;
  virtual bool WriteConsoleA(os::Handle out, const std::string& bytes) = 0;
  // GetConsoleScreenBufferInfo, of which only wAttributes is used.
  virtual bool GetConsoleScreenBufferInfo(os::Handle out, uint16_t& attributes) = 0;
  virtual bool SetConsoleTextAttribute(os::Handle out, uint16_t attributes) = 0;

  // --- version and system information ---
  // GetModuleHandleA(module) + GetProcAddress(name); 0 when either is absent.
  virtual os::Proc GetProcAddress(const std::string& module, const std::string& name) = 0;
  // The following call the function found by GetProcAddress.
  virtual bool IsWow64Process(os::Proc fn, bool& wow64) = 0;  // for the current process
  virtual void GetNativeSystemInfo(os::Proc fn, os::SystemInfo& info) = 0;
  virtual bool GetProductInfo(os::Proc fn, uint32_t major, uint32_t minor, uint32_t spMajor,
                              uint32_t spMinor, uint32_t& productType) = 0;
  virtual void GetSystemInfo(os::SystemInfo& info) = 0;
  // The record's dwOSVersionInfoSize (156 or 148) says which form is asked for.
  virtual bool GetVersionExA(os::OsVersionInfoExA& record) = 0;
  virtual int GetSystemMetrics(int index) = 0;

  // --- files and devices ---
  // CreateFileA(path, access, share, NULL, disposition, flags, NULL).
  virtual os::Handle CreateFileA(const std::string& path, uint32_t access, uint32_t share,
                                 uint32_t disposition, uint32_t flags) = 0;
  virtual bool DeviceIoControl(os::Handle device, uint32_t code, const void* in, uint32_t inSize,
                               void* out, uint32_t outSize, uint32_t& bytesReturned) = 0;
  virtual uint32_t GetLogicalDrives() = 0;

  // --- SetupAPI device interfaces and device lists ---
  // SetupDiGetClassDevsA(&cls, NULL, NULL, flags); kInvalid on failure.
  virtual os::Handle SetupDiGetClassDevsA(const os::Guid& cls, uint32_t flags) = 0;
  // SetupDiEnumDeviceInterfaces(set, NULL, &cls, index, &data); the caller sets data.cbSize.
  virtual bool SetupDiEnumDeviceInterfaces(os::Handle set, const os::Guid& cls, uint32_t index,
                                           os::SpDeviceInterfaceData& data) = 0;
  // SetupDiGetDeviceInterfaceDetailA(set, &data, detail, detailSize, NULL, NULL); the
  // caller sets the detail block's cbSize; DevicePath follows it at offset 4.
  virtual bool SetupDiGetDeviceInterfaceDetailA(os::Handle set, const os::SpDeviceInterfaceData& data,
                                                void* detail, uint32_t detailSize) = 0;
  virtual bool SetupDiDestroyDeviceInfoList(os::Handle set) = 0;
  // SetupDiGetClassDevsA(NULL, enumerator, NULL, flags): the devices of every
  // setup class that the enumerator (e.g. "ACPI") reported; flags carries
  // DIGCF_ALLCLASSES. kInvalid on failure.
  virtual os::Handle SetupDiGetClassDevsByEnumeratorA(const std::string& enumerator, uint32_t flags) = 0;
  // SetupDiEnumDeviceInfo(set, index, &data); the caller sets data.cbSize.
  // GetLastError tells ERROR_NO_MORE_ITEMS past the last device.
  virtual bool SetupDiEnumDeviceInfo(os::Handle set, uint32_t index, os::SpDevInfoData& data) = 0;
  // SetupDiGetDeviceRegistryPropertyA(set, &data, property, &regType, buffer,
  // bufferSize, &requiredSize). requiredSize receives the property's size in
  // bytes, also when the buffer is too small (ERROR_INSUFFICIENT_BUFFER);
  // buffer may be null when bufferSize is 0.
  virtual bool SetupDiGetDeviceRegistryPropertyA(os::Handle set, const os::SpDevInfoData& data, uint32_t property,
                                                 uint32_t& regType, void* buffer, uint32_t bufferSize,
                                                 uint32_t& requiredSize) = 0;
  virtual bool CoCreateGuid(os::Guid& guid) = 0;

  // --- files ---
  virtual bool WriteFile(os::Handle file, const void* data, uint32_t size, uint32_t& written) = 0;
  virtual bool ReadFile(os::Handle file, void* buffer, uint32_t size, uint32_t& read) = 0;
  virtual bool DeleteFileA(const std::string& path) = 0;
  // GetSystemWindowsDirectoryA: the Windows folder all users share, without a
  // trailing backslash; empty on failure.
  virtual std::string GetSystemWindowsDirectoryA() = 0;
  // CreateDirectoryA(path, &sa), sa's descriptor as in CreateMutexA.
  virtual bool CreateDirectoryA(const std::string& path, const std::string& sddl) = 0;
  virtual bool RemoveDirectoryA(const std::string& path) = 0;
  // GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION) and
  // ConvertSidToStringSidA: the owner as "S-1-5-32-544".
  virtual bool GetFileOwnerSid(os::Handle file, std::string& sid) = 0;

  // --- processes and pipes ---
  // CreatePipe with default size and security attributes that carry no
  // descriptor; both handles are inheritable or neither is.
  virtual bool CreatePipe(os::Handle& readEnd, os::Handle& writeEnd, bool inheritable) = 0;
  virtual bool SetHandleInformation(os::Handle h, uint32_t mask, uint32_t flags) = 0;
  // GetSystemDirectoryA: the system folder, without a trailing backslash; empty on failure.
  virtual std::string GetSystemDirectoryA() = 0;
  // CreateProcessA(NULL, commandLine, inheritable, inheritable, TRUE, flags,
  // NULL, NULL, &si, &pi) where si uses the given standard handles and hides
  // the window (STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW, SW_HIDE).
  virtual bool CreateProcessA(const std::string& commandLine, uint32_t flags, os::Handle stdIn, os::Handle stdOut,
                              os::Handle stdErr, os::ProcessInformation& pi) = 0;
  virtual uint32_t WaitForSingleObject(os::Handle h, uint32_t ms) = 0;
  // PeekNamedPipe(pipe, NULL, 0, NULL, &available, NULL): bytes waiting to be read.
  virtual bool PeekNamedPipe(os::Handle pipe, uint32_t& available) = 0;
  virtual bool GetExitCodeProcess(os::Handle process, uint32_t& code) = 0;

  // --- COM and WMI ---
  virtual os::HResult CoInitializeEx(uint32_t coInit) = 0;
  virtual void CoUninitialize() = 0;
  // CoInitializeSecurity(NULL, -1, NULL, NULL, authnLevel, impLevel, NULL, capabilities, NULL).
  virtual os::HResult CoInitializeSecurity(uint32_t authnLevel, uint32_t impLevel, uint32_t capabilities) = 0;
  // CoCreateInstance(CLSID_WbemLocator, NULL, clsContext, IID_IWbemLocator, &locator).
  virtual os::HResult CreateWbemLocator(uint32_t clsContext, os::ComObject& locator) = 0;
  // IWbemLocator::ConnectServer(ns, NULL, NULL, NULL, 0, NULL, NULL, &services).
  virtual os::HResult WbemConnectServer(os::ComObject locator, const std::wstring& ns, os::ComObject& services) = 0;
  // CoSetProxyBlanket(services, authn, authz, NULL, authnLevel, impLevel, NULL, capabilities).
  virtual os::HResult CoSetProxyBlanket(os::ComObject services, uint32_t authn, uint32_t authz, uint32_t authnLevel,
                                        uint32_t impLevel, uint32_t capabilities) = 0;
  // IWbemServices::ExecQuery(language, query, flags, NULL, &enumerator).
  virtual os::HResult WbemExecQuery(os::ComObject services, const std::wstring& language, const std::wstring& query,
                                    int32_t flags, os::ComObject& enumerator) = 0;
  // IEnumWbemClassObject::Next(timeout, 1, &object, &returned).
  virtual os::HResult WbemNext(os::ComObject enumerator, int32_t timeout, os::ComObject& object,
                               uint32_t& returned) = 0;
  // IWbemClassObject::Get(name, 0, &value, NULL, NULL); the VARIANT is cleared.
  virtual os::HResult WbemGet(os::ComObject object, const std::wstring& name, os::Variant& value) = 0;
  virtual uint32_t ComRelease(os::ComObject object) = 0;

  // --- the process's standard output streams ---
  virtual void WriteStdOut(const std::string& text) = 0;       // the narrow (8-bit) stream
  virtual void WriteStdOutWide(const std::wstring& text) = 0;  // the wide-character stream

  // --- token privileges and shutdown ---
  virtual os::Handle GetCurrentProcess() = 0;
  virtual bool OpenProcessToken(os::Handle process, uint32_t access, os::Handle& token) = 0;
  // LookupPrivilegeValueA(NULL, name, &luid): on the local system.
  virtual bool LookupPrivilegeValueA(const std::string& name, os::Luid& luid) = 0;
  // AdjustTokenPrivileges(token, disableAll, &privileges, 0, NULL, NULL).
  virtual bool AdjustTokenPrivileges(os::Handle token, bool disableAll, const os::TokenPrivileges1& privileges) = 0;
  // InitiateSystemShutdownA(NULL, NULL, timeoutSeconds, forceAppsClosed, reboot): the local machine, no message.
  virtual bool InitiateSystemShutdownA(uint32_t timeoutSeconds, bool forceAppsClosed, bool reboot) = 0;

  // --- unattended runs: the clock, the parent's console, the log file ---
  virtual uint32_t GetTickCount() = 0;
  virtual void GetLocalTime(os::SystemTime& time) = 0;
  // AttachConsole(processId); os::kAttachParentProcess for the parent's console.
  virtual bool AttachConsole(uint32_t processId) = 0;
  // GetFileInformationByHandle, of which the attributes and link count are used.
  virtual bool GetFileInformationByHandle(os::Handle file, os::FileIdentity& identity) = 0;
};

// The process-wide seam. The entry installs the real one; tests install a
// simulated PC for their own lifetime.
Os& CurrentOs();
void InstallOs(Os* os);  // nullptr uninstalls

class ScopedOs {
 public:
  explicit ScopedOs(Os& os) : previous_(TryCurrentOs()) { InstallOs(&os); }
  ~ScopedOs() { InstallOs(previous_); }
  ScopedOs(const ScopedOs&) = delete;
  ScopedOs& operator=(const ScopedOs&) = delete;
  static Os* TryCurrentOs();

 private:
  Os* previous_;
};

// Owns one seam handle; closes it through the seam (so the simulated PC counts
// the close) and keeps the last error intact while doing so.
class OsHandle {
 public:
  OsHandle() = default;
  OsHandle(Os& os, os::Handle h) : os_(&os), h_(h) {}
  ~OsHandle() { Reset(); }
  OsHandle(OsHandle&& o) noexcept : os_(o.os_), h_(o.h_) { o.h_ = os::kNull; }
  OsHandle& operator=(OsHandle&& o) noexcept {
    if (this != &o) {
      Reset();
      os_ = o.os_;
      h_ = o.h_;
      o.h_ = os::kNull;
    }
    return *this;
  }
  OsHandle(const OsHandle&) = delete;
  OsHandle& operator=(const OsHandle&) = delete;

  bool Valid() const { return h_ != os::kNull && h_ != os::kInvalid; }
  os::Handle Get() const { return h_; }
  [[nodiscard]] os::Handle Release() {
    os::Handle h = h_;
    h_ = os::kNull;
    return h;
  }
  void Reset() {
    if (Valid()) {
      uint32_t saved = os_->GetLastError();
      os_->CloseHandle(h_);
      os_->SetLastError(saved);
    }
    h_ = os::kNull;
  }

 private:
  Os* os_ = nullptr;
  os::Handle h_ = os::kNull;
};

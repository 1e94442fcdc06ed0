// The real seam: each method is one Windows call, with no logic of its own.
#pragma once

#include "platform/os.h"

class Win32Os : public Os {
 public:
  uint32_t GetLastError() override;
  void SetLastError(uint32_t code) override;
  std::string GetCommandLineA() override;
  std::string GetModuleFileNameA() override;
  std::string GetTempPathA(uint32_t bufferChars) override;
  void Sleep(uint32_t ms) override;
  bool CloseHandle(os::Handle h) override;
  std::string CharUpperBuffA(const std::string& text) override;
  os::Handle OpenMutexA(uint32_t access, bool inherit, const std::string& name) override;
  os::Handle CreateMutexA(const std::string& sddl, bool initialOwner, const std::string& name) override;
  os::Handle FindWindowA(const std::string& className, const std::string& windowName) override;
  bool PostMessageA(os::Handle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  int MessageBoxA(const std::string& text, const std::string& caption, uint32_t type) override;
  bool AllocConsole() override;
  bool FreeConsole() override;
  os::Handle GetStdHandle(uint32_t which) override;
  bool WriteConsoleA(os::Handle out, const std::string& bytes) override;
  bool GetConsoleScreenBufferInfo(os::Handle out, uint16_t& attributes) override;
  bool SetConsoleTextAttribute(os::Handle out, uint16_t attributes) override;
  os::Proc GetProcAddress(const std::string& module, const std::string& name) override;
  bool IsWow64Process(os::Proc fn, bool& wow64) override;
  void GetNativeSystemInfo(os::Proc fn, os::SystemInfo& info) override;
  bool GetProductInfo(os::Proc fn, uint32_t major, uint32_t minor, uint32_t spMajor, uint32_t spMinor,
                      uint32_t& productType) override;
  void GetSystemInfo(os::SystemInfo& info) override;
  bool GetVersionExA(os::OsVersionInfoExA& record) override;
  int GetSystemMetrics(int index) override;
  os::Handle CreateFileA(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
                         uint32_t flags) override;
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
  bool WriteFile(os::Handle file, const void* data, uint32_t size, uint32_t& written) override;
  bool ReadFile(os::Handle file, void* buffer, uint32_t size, uint32_t& read) override;
  bool DeleteFileA(const std::string& path) override;
  std::string GetSystemWindowsDirectoryA() override;
  bool CreateDirectoryA(const std::string& path, const std::string& sddl) override;
  bool RemoveDirectoryA(const std::string& path) override;
  bool GetFileOwnerSid(os::Handle file, std::string& sid) override;
  bool CreatePipe(os::Handle& readEnd, os::Handle& writeEnd, bool inheritable) override;
  bool SetHandleInformation(os::Handle h, uint32_t mask, uint32_t flags) override;
  std::string GetSystemDirectoryA() override;
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
  bool InitiateSystemShutdownA(uint32_t timeoutSeconds, bool forceAppsClosed, bool reboot) override;
  uint32_t GetTickCount() override;
  void GetLocalTime(os::SystemTime& time) override;
  bool AttachConsole(uint32_t processId) override;
  bool GetFileInformationByHandle(os::Handle file, os::FileIdentity& identity) override;
};

#include "demo/demo_os.h"

#include "shell/global.h"

bool TDemoOs::CloseHandle(os::Handle h) {
  if (sim_.Owns(h)) return Sim([&] { return sim_.CloseHandle(h); });
  return real_.CloseHandle(h);
}

std::string TDemoOs::GetTempPathA(uint32_t bufferChars) {
  return Sim([&] { return sim_.GetTempPathA(bufferChars); });
}

bool TDemoOs::Simulated(const std::string& path) {
  const auto startsWith = [&path](const std::string& prefix) {
    return !prefix.empty() && UpperAscii(path.substr(0, prefix.size())) == UpperAscii(prefix);
  };
  return startsWith("\\\\.\\") || startsWith("\\\\?\\") || startsWith(sim_.TempPath) ||
         startsWith(sim_.Processes.WindowsDirectory + "\\Temp\\");
}

os::Handle TDemoOs::CreateMutexA(const std::string& sddl, bool initialOwner, const std::string& name) {
  if (name.compare(0, 7, "Global\\") != 0) return real_.CreateMutexA(sddl, initialOwner, name);
  return Sim([&] { return sim_.CreateMutexA(sddl, initialOwner, name); });
}

os::Handle TDemoOs::CreateFileA(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition, uint32_t flags) {
  if (!Simulated(path)) return real_.CreateFileA(path, access, share, disposition, flags);
  return Sim([&] { return sim_.CreateFileA(path, access, share, disposition, flags); });
}

bool TDemoOs::GetFileInformationByHandle(os::Handle file, os::FileIdentity& identity) {
  if (!sim_.Owns(file)) return real_.GetFileInformationByHandle(file, identity);
  return Sim([&] { return sim_.GetFileInformationByHandle(file, identity); });
}

bool TDemoOs::DeviceIoControl(os::Handle device, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize, uint32_t& bytesReturned) {
  return Sim([&] { return sim_.DeviceIoControl(device, code, in, inSize, out, outSize, bytesReturned); });
}

uint32_t TDemoOs::GetLogicalDrives() {
  return Sim([&] { return sim_.GetLogicalDrives(); });
}

os::Handle TDemoOs::SetupDiGetClassDevsA(const os::Guid& cls, uint32_t flags) {
  return Sim([&] { return sim_.SetupDiGetClassDevsA(cls, flags); });
}

bool TDemoOs::SetupDiEnumDeviceInterfaces(os::Handle set, const os::Guid& cls, uint32_t index, os::SpDeviceInterfaceData& data) {
  return Sim([&] { return sim_.SetupDiEnumDeviceInterfaces(set, cls, index, data); });
}

bool TDemoOs::SetupDiGetDeviceInterfaceDetailA(os::Handle set, const os::SpDeviceInterfaceData& data, void* detail, uint32_t detailSize) {
  return Sim([&] { return sim_.SetupDiGetDeviceInterfaceDetailA(set, data, detail, detailSize); });
}

bool TDemoOs::SetupDiDestroyDeviceInfoList(os::Handle set) {
  return Sim([&] { return sim_.SetupDiDestroyDeviceInfoList(set); });
}

os::Handle TDemoOs::SetupDiGetClassDevsByEnumeratorA(const std::string& enumerator, uint32_t flags) {
  return Sim([&] { return sim_.SetupDiGetClassDevsByEnumeratorA(enumerator, flags); });
}

bool TDemoOs::SetupDiEnumDeviceInfo(os::Handle set, uint32_t index, os::SpDevInfoData& data) {
  return Sim([&] { return sim_.SetupDiEnumDeviceInfo(set, index, data); });
}

bool TDemoOs::SetupDiGetDeviceRegistryPropertyA(os::Handle set, const os::SpDevInfoData& data, uint32_t property,
                                                uint32_t& regType, void* buffer, uint32_t bufferSize,
                                                uint32_t& requiredSize) {
  return Sim([&] {
    return sim_.SetupDiGetDeviceRegistryPropertyA(set, data, property, regType, buffer, bufferSize, requiredSize);
  });
}

bool TDemoOs::CoCreateGuid(os::Guid& guid) {
  return Sim([&] { return sim_.CoCreateGuid(guid); });
}

bool TDemoOs::WriteFile(os::Handle file, const void* data, uint32_t size, uint32_t& written) {
  if (!sim_.Owns(file)) return real_.WriteFile(file, data, size, written);
  return Sim([&] { return sim_.WriteFile(file, data, size, written); });
}

bool TDemoOs::ReadFile(os::Handle file, void* buffer, uint32_t size, uint32_t& read) {
  if (!sim_.Owns(file)) return real_.ReadFile(file, buffer, size, read);
  return Sim([&] { return sim_.ReadFile(file, buffer, size, read); });
}

bool TDemoOs::DeleteFileA(const std::string& path) {
  if (!Simulated(path)) return real_.DeleteFileA(path);
  return Sim([&] { return sim_.DeleteFileA(path); });
}

bool TDemoOs::CreateDirectoryA(const std::string& path, const std::string& sddl) {
  if (!Simulated(path)) return real_.CreateDirectoryA(path, sddl);
  return Sim([&] { return sim_.CreateDirectoryA(path, sddl); });
}

bool TDemoOs::RemoveDirectoryA(const std::string& path) {
  if (!Simulated(path)) return real_.RemoveDirectoryA(path);
  return Sim([&] { return sim_.RemoveDirectoryA(path); });
}

bool TDemoOs::GetFileOwnerSid(os::Handle file, std::string& sid) {
  if (!sim_.Owns(file)) return real_.GetFileOwnerSid(file, sid);
  return Sim([&] { return sim_.GetFileOwnerSid(file, sid); });
}

bool TDemoOs::CreatePipe(os::Handle& readEnd, os::Handle& writeEnd, bool inheritable) {
  return Sim([&] { return sim_.CreatePipe(readEnd, writeEnd, inheritable); });
}

bool TDemoOs::SetHandleInformation(os::Handle h, uint32_t mask, uint32_t flags) {
  return Sim([&] { return sim_.SetHandleInformation(h, mask, flags); });
}

std::string TDemoOs::GetSystemDirectoryA() {
  return Sim([&] { return sim_.GetSystemDirectoryA(); });
}

std::string TDemoOs::GetSystemWindowsDirectoryA() {
  return Sim([&] { return sim_.GetSystemWindowsDirectoryA(); });
}

bool TDemoOs::CreateProcessA(const std::string& commandLine, uint32_t flags, os::Handle stdIn, os::Handle stdOut, os::Handle stdErr, os::ProcessInformation& pi) {
  return Sim([&] { return sim_.CreateProcessA(commandLine, flags, stdIn, stdOut, stdErr, pi); });
}

uint32_t TDemoOs::WaitForSingleObject(os::Handle h, uint32_t ms) {
  return Sim([&] { return sim_.WaitForSingleObject(h, ms); });
}

bool TDemoOs::PeekNamedPipe(os::Handle pipe, uint32_t& available) {
  return Sim([&] { return sim_.PeekNamedPipe(pipe, available); });
}

bool TDemoOs::GetExitCodeProcess(os::Handle process, uint32_t& code) {
  return Sim([&] { return sim_.GetExitCodeProcess(process, code); });
}

os::HResult TDemoOs::CoInitializeEx(uint32_t coInit) {
  return Sim([&] { return sim_.CoInitializeEx(coInit); });
}

void TDemoOs::CoUninitialize() {
  sim_.CoUninitialize();
  real_.SetLastError(sim_.GetLastError());
}

os::HResult TDemoOs::CoInitializeSecurity(uint32_t authnLevel, uint32_t impLevel, uint32_t capabilities) {
  return Sim([&] { return sim_.CoInitializeSecurity(authnLevel, impLevel, capabilities); });
}

os::HResult TDemoOs::CreateWbemLocator(uint32_t clsContext, os::ComObject& locator) {
  return Sim([&] { return sim_.CreateWbemLocator(clsContext, locator); });
}

os::HResult TDemoOs::WbemConnectServer(os::ComObject locator, const std::wstring& ns, os::ComObject& services) {
  return Sim([&] { return sim_.WbemConnectServer(locator, ns, services); });
}

os::HResult TDemoOs::CoSetProxyBlanket(os::ComObject services, uint32_t authn, uint32_t authz, uint32_t authnLevel, uint32_t impLevel, uint32_t capabilities) {
  return Sim([&] { return sim_.CoSetProxyBlanket(services, authn, authz, authnLevel, impLevel, capabilities); });
}

os::HResult TDemoOs::WbemExecQuery(os::ComObject services, const std::wstring& language, const std::wstring& query, int32_t flags, os::ComObject& enumerator) {
  return Sim([&] { return sim_.WbemExecQuery(services, language, query, flags, enumerator); });
}

os::HResult TDemoOs::WbemNext(os::ComObject enumerator, int32_t timeout, os::ComObject& object, uint32_t& returned) {
  return Sim([&] { return sim_.WbemNext(enumerator, timeout, object, returned); });
}

os::HResult TDemoOs::WbemGet(os::ComObject object, const std::wstring& name, os::Variant& value) {
  return Sim([&] { return sim_.WbemGet(object, name, value); });
}

uint32_t TDemoOs::ComRelease(os::ComObject object) {
  return Sim([&] { return sim_.ComRelease(object); });
}

void TDemoOs::WriteStdOut(const std::string& text) {
  sim_.WriteStdOut(text);
  real_.SetLastError(sim_.GetLastError());
}

void TDemoOs::WriteStdOutWide(const std::wstring& text) {
  sim_.WriteStdOutWide(text);
  real_.SetLastError(sim_.GetLastError());
}

os::Handle TDemoOs::GetCurrentProcess() {
  return Sim([&] { return sim_.GetCurrentProcess(); });
}

bool TDemoOs::OpenProcessToken(os::Handle process, uint32_t access, os::Handle& token) {
  return Sim([&] { return sim_.OpenProcessToken(process, access, token); });
}

bool TDemoOs::LookupPrivilegeValueA(const std::string& name, os::Luid& luid) {
  return Sim([&] { return sim_.LookupPrivilegeValueA(name, luid); });
}

bool TDemoOs::AdjustTokenPrivileges(os::Handle token, bool disableAll, const os::TokenPrivileges1& privileges) {
  return Sim([&] { return sim_.AdjustTokenPrivileges(token, disableAll, privileges); });
}

bool TDemoOs::InitiateSystemShutdownA(uint32_t timeoutSeconds, bool forceAppsClosed, bool reboot) {
  const bool accepted = Sim([&] { return sim_.InitiateSystemShutdownA(timeoutSeconds, forceAppsClosed, reboot); });
  if (!accepted) return false;
  if (ShowsRestart) real_.MessageBoxA(kRestartShownText, kRestartShownCaption, os::kMbOk | os::kMbIconInformation);
  {
    auto lock = sim_.Lock();
    sim_.System.Shutdowns.clear();  // nothing restarted: the next Yes asks again
  }
  return true;
}

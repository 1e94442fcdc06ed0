// The real seam's COM/WMI, standard output, token and shutdown calls.
#include <windows.h>

#include "platform/win32/win32_os.h"

os::HResult Win32Os::CoInitializeEx(uint32_t) { return E_NOTIMPL; }
void Win32Os::CoUninitialize() {}
os::HResult Win32Os::CoInitializeSecurity(uint32_t, uint32_t, uint32_t) { return E_NOTIMPL; }
os::HResult Win32Os::CreateWbemLocator(uint32_t, os::ComObject&) { return E_NOTIMPL; }
os::HResult Win32Os::WbemConnectServer(os::ComObject, const std::wstring&, os::ComObject&) { return E_NOTIMPL; }
os::HResult Win32Os::CoSetProxyBlanket(os::ComObject, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {
  return E_NOTIMPL;
}
os::HResult Win32Os::WbemExecQuery(os::ComObject, const std::wstring&, const std::wstring&, int32_t,
                                   os::ComObject&) {
  return E_NOTIMPL;
}
os::HResult Win32Os::WbemNext(os::ComObject, int32_t, os::ComObject&, uint32_t& returned) {
  returned = 0;
  return E_NOTIMPL;
}
os::HResult Win32Os::WbemGet(os::ComObject, const std::wstring&, os::Variant&) { return E_NOTIMPL; }
uint32_t Win32Os::ComRelease(os::ComObject) { return 0; }
void Win32Os::WriteStdOut(const std::string&) {}
void Win32Os::WriteStdOutWide(const std::wstring&) {}
os::Handle Win32Os::GetCurrentProcess() { return reinterpret_cast<os::Handle>(::GetCurrentProcess()); }
bool Win32Os::OpenProcessToken(os::Handle, uint32_t, os::Handle&) { return false; }
bool Win32Os::LookupPrivilegeValueA(const std::string&, os::Luid&) { return false; }
bool Win32Os::AdjustTokenPrivileges(os::Handle, bool, const os::TokenPrivileges1&) { return false; }
bool Win32Os::InitiateSystemShutdownA(uint32_t, bool, bool) { return false; }

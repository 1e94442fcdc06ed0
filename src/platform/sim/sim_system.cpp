// The simulated PC's COM/WMI, standard output, token and shutdown calls.
#include "platform/sim/sim_pc.h"

os::HResult SimPc::CoInitializeEx(uint32_t) { Enter(Call::CoInitializeEx); return os::kSOk; }
void SimPc::CoUninitialize() { Enter(Call::CoUninitialize); }
os::HResult SimPc::CoInitializeSecurity(uint32_t, uint32_t, uint32_t) { Enter(Call::CoInitializeSecurity); return -1; }
os::HResult SimPc::CreateWbemLocator(uint32_t, os::ComObject&) { Enter(Call::CreateWbemLocator); return -1; }
os::HResult SimPc::WbemConnectServer(os::ComObject, const std::wstring&, os::ComObject&) { return -1; }
os::HResult SimPc::CoSetProxyBlanket(os::ComObject, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) { return -1; }
os::HResult SimPc::WbemExecQuery(os::ComObject, const std::wstring&, const std::wstring&, int32_t, os::ComObject&) {
  return -1;
}
os::HResult SimPc::WbemNext(os::ComObject, int32_t, os::ComObject&, uint32_t& returned) {
  returned = 0;
  return -1;
}
os::HResult SimPc::WbemGet(os::ComObject, const std::wstring&, os::Variant&) { return -1; }
uint32_t SimPc::ComRelease(os::ComObject) { return 0; }
void SimPc::WriteStdOut(const std::string&) { Enter(Call::WriteStdOut); }
void SimPc::WriteStdOutWide(const std::wstring&) { Enter(Call::WriteStdOutWide); }
os::Handle SimPc::GetCurrentProcess() { return static_cast<os::Handle>(-1); }
bool SimPc::OpenProcessToken(os::Handle, uint32_t, os::Handle&) { return false; }
bool SimPc::LookupPrivilegeValueA(const std::string&, os::Luid&) { return false; }
bool SimPc::AdjustTokenPrivileges(os::Handle, bool, const os::TokenPrivileges1&) { return false; }
bool SimPc::InitiateSystemShutdownA(uint32_t, bool, bool) { return false; }

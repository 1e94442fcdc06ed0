// The real seam's device calls: CreateFileA, DeviceIoControl and the SetupAPI
// volume interface enumeration, one Windows call each.
#include <windows.h>
#include <setupapi.h>

#include "platform/win32/win32_os.h"

static_assert(sizeof(os::SpDeviceInterfaceData) == sizeof(SP_DEVICE_INTERFACE_DATA), "SP_DEVICE_INTERFACE_DATA");

namespace {
const GUID* G(const os::Guid& g) { return reinterpret_cast<const GUID*>(&g); }
}  // namespace

os::Handle Win32Os::CreateFileA(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
                                uint32_t flags) {
  return reinterpret_cast<os::Handle>(
      ::CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr));
}

bool Win32Os::DeviceIoControl(os::Handle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                              uint32_t outSize, uint32_t& bytesReturned) {
  DWORD returned = 0;
  const BOOL ok = ::DeviceIoControl(reinterpret_cast<HANDLE>(device), code, const_cast<void*>(in), inSize, out,
                                    outSize, &returned, nullptr);
  bytesReturned = returned;
  return ok != FALSE;
}

uint32_t Win32Os::GetLogicalDrives() { return ::GetLogicalDrives(); }

os::Handle Win32Os::SetupDiGetClassDevsA(const os::Guid& cls, uint32_t flags) {
  return reinterpret_cast<os::Handle>(::SetupDiGetClassDevsA(G(cls), nullptr, nullptr, flags));
}

bool Win32Os::SetupDiEnumDeviceInterfaces(os::Handle set, const os::Guid& cls, uint32_t index,
                                          os::SpDeviceInterfaceData& data) {
  return ::SetupDiEnumDeviceInterfaces(reinterpret_cast<HDEVINFO>(set), nullptr, G(cls), index,
                                       reinterpret_cast<PSP_DEVICE_INTERFACE_DATA>(&data)) != FALSE;
}

bool Win32Os::SetupDiGetDeviceInterfaceDetailA(os::Handle set, const os::SpDeviceInterfaceData& data, void* detail,
                                               uint32_t detailSize) {
  return ::SetupDiGetDeviceInterfaceDetailA(
             reinterpret_cast<HDEVINFO>(set),
             reinterpret_cast<PSP_DEVICE_INTERFACE_DATA>(const_cast<os::SpDeviceInterfaceData*>(&data)),
             static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(detail), detailSize, nullptr, nullptr) != FALSE;
}

bool Win32Os::SetupDiDestroyDeviceInfoList(os::Handle set) {
  return ::SetupDiDestroyDeviceInfoList(reinterpret_cast<HDEVINFO>(set)) != FALSE;
}

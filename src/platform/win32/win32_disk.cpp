// The real seam's device calls: CreateFileA, DeviceIoControl, the SetupAPI
// volume interface enumeration and the device list, one Windows call each.
#include <windows.h>
#include <setupapi.h>

#include <winioctl.h>

#include <cstddef>

#include "platform/win32/win32_os.h"

// The seam's records and codes must be the SDK's own.
static_assert(sizeof(os::SpDeviceInterfaceData) == sizeof(SP_DEVICE_INTERFACE_DATA), "SP_DEVICE_INTERFACE_DATA");
static_assert(sizeof(os::SpDevInfoData) == sizeof(SP_DEVINFO_DATA), "SP_DEVINFO_DATA");
static_assert(offsetof(os::SpDevInfoData, DevInst) == offsetof(SP_DEVINFO_DATA, DevInst), "DevInst");
static_assert(offsetof(os::SpDevInfoData, Reserved) == offsetof(SP_DEVINFO_DATA, Reserved), "Reserved");
static_assert(os::kDigcfPresent == DIGCF_PRESENT && os::kDigcfAllClasses == DIGCF_ALLCLASSES, "DIGCF");
static_assert(os::kSpdrpHardwareId == SPDRP_HARDWAREID, "SPDRP_HARDWAREID");
static_assert(os::kRegSz == REG_SZ && os::kRegMultiSz == REG_MULTI_SZ, "registry types");
static_assert(os::kErrorInvalidData == ERROR_INVALID_DATA, "ERROR_INVALID_DATA");

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

os::Handle Win32Os::SetupDiGetClassDevsByEnumeratorA(const std::string& enumerator, uint32_t flags) {
  return reinterpret_cast<os::Handle>(::SetupDiGetClassDevsA(nullptr, enumerator.c_str(), nullptr, flags));
}

bool Win32Os::SetupDiEnumDeviceInfo(os::Handle set, uint32_t index, os::SpDevInfoData& data) {
  return ::SetupDiEnumDeviceInfo(reinterpret_cast<HDEVINFO>(set), index, reinterpret_cast<PSP_DEVINFO_DATA>(&data)) !=
         FALSE;
}

bool Win32Os::SetupDiGetDeviceRegistryPropertyA(os::Handle set, const os::SpDevInfoData& data, uint32_t property,
                                                uint32_t& regType, void* buffer, uint32_t bufferSize,
                                                uint32_t& requiredSize) {
  DWORD type = 0, required = 0;
  const BOOL ok = ::SetupDiGetDeviceRegistryPropertyA(
      reinterpret_cast<HDEVINFO>(set), reinterpret_cast<PSP_DEVINFO_DATA>(const_cast<os::SpDevInfoData*>(&data)),
      property, &type, static_cast<PBYTE>(buffer), bufferSize, &required);
  regType = type;
  requiredSize = required;
  return ok != FALSE;
}

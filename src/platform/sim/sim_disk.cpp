// The simulated PC's disk driver: no disks yet. Every device open fails as
// for an absent drive.
#include "platform/sim/sim_pc.h"

os::Handle SimPc::CreateFileA(const std::string& path, uint32_t, uint32_t, uint32_t, uint32_t) {
  if (Enter(Call::CreateFileA, path)) return os::kInvalid;
  lastError_ = os::kErrorFileNotFound;
  return os::kInvalid;
}

bool SimPc::DeviceIoControl(os::Handle, uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t& bytesReturned) {
  bytesReturned = 0;
  if (Enter(Call::DeviceIoControl)) return false;
  lastError_ = os::kErrorInvalidHandle;
  return false;
}

uint32_t SimPc::GetLogicalDrives() {
  Enter(Call::GetLogicalDrives);
  return 0;
}

os::Handle SimPc::SetupDiGetClassDevsA(const os::Guid&, uint32_t) {
  if (Enter(Call::SetupDiGetClassDevsA)) return os::kInvalid;
  return NewHandle(Kind::DeviceSet, "devices");
}

bool SimPc::SetupDiEnumDeviceInterfaces(os::Handle, const os::Guid&, uint32_t, os::SpDeviceInterfaceData&) {
  if (Enter(Call::SetupDiEnumDeviceInterfaces)) return false;
  lastError_ = os::kErrorNoMoreItems;
  return false;
}

bool SimPc::SetupDiGetDeviceInterfaceDetailA(os::Handle, const os::SpDeviceInterfaceData&, void*, uint32_t) {
  if (Enter(Call::SetupDiGetDeviceInterfaceDetailA)) return false;
  lastError_ = os::kErrorInvalidParameter;
  return false;
}

bool SimPc::SetupDiDestroyDeviceInfoList(os::Handle set) {
  if (Enter(Call::SetupDiDestroyDeviceInfoList)) return false;
  if (!Find(set, Kind::DeviceSet)) {
    lastError_ = os::kErrorInvalidHandle;
    return false;
  }
  handles_.erase(set);
  return true;
}

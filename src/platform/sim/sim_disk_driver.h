// The simulated PC's disk driver as the Os calls reach it: device opens and
// I/O control on the SimDisks description, the SetupAPI volume interface
// lists, the Plug and Play device lists and CoCreateGuid, done through the
// machine's core.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/os_types.h"
#include "platform/sim/sim_core.h"
#include "platform/sim/sim_disk.h"

// A device that Plug and Play lists, as SetupDiGetClassDevsA with a null
// class and an enumerator finds it.
struct SimPnpDevice {
  std::string Enumerator = "ACPI";
  // SPDRP_HARDWAREID exactly as the registry holds it: normally a
  // REG_MULTI_SZ such as SimMultiSz({"ACPI\\INT3392", "*INT3392"}); any
  // bytes may be given, a missing final NUL included.
  std::string HardwareIds;
  uint32_t HardwareIdType = os::kRegMultiSz;
  bool HasHardwareIds = true;  // false: reading the property fails with ERROR_INVALID_DATA
  bool Present = true;         // false: known to the system but not attached (left out under DIGCF_PRESENT)
};
// "a\0b\0\0": the strings as a REG_MULTI_SZ with its closing empty string.
std::string SimMultiSz(const std::vector<std::string>& strings);

class SimDiskDriver {
 public:
  SimDiskDriver(SimCore& core, SimDisks& disks, std::deque<SimPnpDevice>& pnpDevices)
      : core_(core), disks_(disks), pnpDevices_(pnpDevices) {}

  // Whether a CreateFileA path names a device (\\.\ or \\?\) rather than a file.
  static bool IsDevicePath(const std::string& path);
  SimPnpDevice& AddAcpiDevice(const std::vector<std::string>& hardwareIds);
  // SetupDi volume interface lists made and not yet destroyed.
  int OpenInterfaceSets() const { return static_cast<int>(interfaceSets_.size()); }

  // ---- the Os calls, as SimPc passes them on ----
  os::Handle CreateFileA(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
                         uint32_t flags);
  bool DeviceIoControl(os::Handle device, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                       uint32_t& bytesReturned);
  uint32_t GetLogicalDrives();
  os::Handle SetupDiGetClassDevsA(const os::Guid& cls, uint32_t flags);
  bool SetupDiEnumDeviceInterfaces(os::Handle set, const os::Guid& cls, uint32_t index,
                                   os::SpDeviceInterfaceData& data);
  bool SetupDiGetDeviceInterfaceDetailA(os::Handle set, const os::SpDeviceInterfaceData& data, void* detail,
                                        uint32_t detailSize);
  bool SetupDiDestroyDeviceInfoList(os::Handle set);
  os::Handle SetupDiGetClassDevsByEnumeratorA(const std::string& enumerator, uint32_t flags);
  bool SetupDiEnumDeviceInfo(os::Handle set, uint32_t index, os::SpDevInfoData& data);
  bool SetupDiGetDeviceRegistryPropertyA(os::Handle set, const os::SpDevInfoData& data, uint32_t property,
                                         uint32_t& regType, void* buffer, uint32_t bufferSize, uint32_t& requiredSize);
  bool CoCreateGuid(os::Guid& guid);

 private:
  const std::vector<SimPnpDevice>* OpenDeviceList(os::Handle set);

  SimCore& core_;
  SimDisks& disks_;
  std::deque<SimPnpDevice>& pnpDevices_;
  std::map<os::Handle, std::vector<std::string>> interfaceSets_;  // open SetupDi interface lists
  std::map<os::Handle, std::vector<SimPnpDevice>> deviceSets_;    // open device lists, as listed when made
  uint32_t guidCounter_ = 0;
};

// The simulated PC's Plug and Play device lists: SetupDiGetClassDevsA with a
// null class and an enumerator, SetupDiEnumDeviceInfo and
// SetupDiGetDeviceRegistryPropertyA, answered from SimPc::PnpDevices.
#include <cstring>

#include "platform/sim/sim_disk_driver.h"

namespace {

constexpr uint32_t kDevInfoDataCbSize = sizeof(os::SpDevInfoData);  // of the caller's bitness
constexpr uint32_t kErrorNoAccess = 998;
constexpr uint32_t kErrorInvalidUserBuffer = 1784;
constexpr uint8_t kUnreturnedBytePattern = 0xA5;

// assumed: the enumerators Windows knows on an ordinary PC; a name outside
// them (and outside the machine's own devices) is refused with
// ERROR_INVALID_DATA, as for an enumerator without a registry key.
constexpr const char* kKnownEnumerators[] = {"ACPI", "ACPI_HAL", "PCI", "ROOT", "USB", "USBSTOR", "SCSI",
                                             "STORAGE", "HID", "HDAUDIO", "SWD", "DISPLAY"};

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::string SimMultiSz(const std::vector<std::string>& strings) {
  std::string bytes;
  for (const std::string& s : strings) {
    bytes += s;
    bytes.push_back('\0');
  }
  bytes.push_back('\0');
  return bytes;
}

SimPnpDevice& SimDiskDriver::AddAcpiDevice(const std::vector<std::string>& hardwareIds) {
  const auto lock = core_.Lock();
  SimPnpDevice device;
  device.HardwareIds = SimMultiSz(hardwareIds);
  pnpDevices_.push_back(device);
  return pnpDevices_.back();
}

os::Handle SimDiskDriver::SetupDiGetClassDevsByEnumeratorA(const std::string& enumerator, uint32_t flags) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::SetupDiGetClassDevsByEnumeratorA, enumerator + "/" + std::to_string(flags))) return os::kInvalid;
  // assumed: without a class, only DIGCF_ALLCLASSES makes a list.
  if (!(flags & os::kDigcfAllClasses)) {
    core_.LastError() = os::kErrorInvalidParameter;
    return os::kInvalid;
  }
  bool known = enumerator.empty();  // a null enumerator: every device
  for (const char* name : kKnownEnumerators) known = known || SameName(enumerator, name);
  for (const SimPnpDevice& d : pnpDevices_) known = known || SameName(enumerator, d.Enumerator);
  if (!known) {
    core_.LastError() = os::kErrorInvalidData;
    return os::kInvalid;
  }
  std::vector<SimPnpDevice> listed;
  for (const SimPnpDevice& d : pnpDevices_)
    if ((enumerator.empty() || SameName(enumerator, d.Enumerator)) && (d.Present || !(flags & os::kDigcfPresent)))
      listed.push_back(d);
  const os::Handle set = core_.NewHandle(SimCore::Kind::DeviceSet, "devices of " + enumerator);
  deviceSets_[set] = std::move(listed);
  return set;
}

// The devices of a list SetupDiGetClassDevsA made, or nullptr with
// ERROR_INVALID_HANDLE for any other handle.
const std::vector<SimPnpDevice>* SimDiskDriver::OpenDeviceList(os::Handle set) {
  auto it = deviceSets_.find(set);
  if (!core_.Find(set, SimCore::Kind::DeviceSet) || it == deviceSets_.end()) {
    core_.LastError() = os::kErrorInvalidHandle;
    return nullptr;
  }
  return &it->second;
}

bool SimDiskDriver::SetupDiEnumDeviceInfo(os::Handle set, uint32_t index, os::SpDevInfoData& data) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::SetupDiEnumDeviceInfo, std::to_string(index))) return false;
  const std::vector<SimPnpDevice>* devices = OpenDeviceList(set);
  if (!devices) return false;
  if (data.cbSize != kDevInfoDataCbSize) {
    core_.LastError() = kErrorInvalidUserBuffer;
    return false;
  }
  if (index >= devices->size()) {
    core_.LastError() = os::kErrorNoMoreItems;
    return false;
  }
  data.ClassGuid = os::Guid{};  // the sim keeps no setup classes
  data.DevInst = 0x1000 + index;
  data.Reserved = index + 1;  // which member of the set; 0 is never valid
  return true;
}

bool SimDiskDriver::SetupDiGetDeviceRegistryPropertyA(os::Handle set, const os::SpDevInfoData& data, uint32_t property,
                                              uint32_t& regType, void* buffer, uint32_t bufferSize,
                                              uint32_t& requiredSize) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::SetupDiGetDeviceRegistryPropertyA, std::to_string(property))) return false;
  const std::vector<SimPnpDevice>* devices = OpenDeviceList(set);
  if (!devices) return false;
  if (data.cbSize != kDevInfoDataCbSize || data.Reserved == 0 || data.Reserved > devices->size()) {
    core_.LastError() = os::kErrorInvalidParameter;
    return false;
  }
  const SimPnpDevice& device = (*devices)[data.Reserved - 1];
  // assumed: of the properties only the hardware ids are kept; any other
  // reads as a property the device does not have.
  if (property != os::kSpdrpHardwareId || !device.HasHardwareIds) {
    core_.LastError() = os::kErrorInvalidData;
    return false;
  }
  if (buffer == nullptr && bufferSize != 0) {
    core_.LastError() = kErrorNoAccess;
    return false;
  }
  const uint32_t size = static_cast<uint32_t>(device.HardwareIds.size());
  regType = device.HardwareIdType;
  requiredSize = size;
  // Too small a buffer: nothing is copied, and the size needed is told.
  if (bufferSize < size) {
    core_.LastError() = os::kErrorInsufficientBuffer;
    return false;
  }
  uint8_t* out = static_cast<uint8_t*>(buffer);
  if (size) std::memcpy(out, device.HardwareIds.data(), size);
  // assumed: the rest of the buffer is left as it was; a pattern stands for
  // whatever was there, so a reader past the bytes returned reads nonsense.
  if (bufferSize > size) std::memset(out + size, kUnreturnedBytePattern, bufferSize - size);
  return true;
}

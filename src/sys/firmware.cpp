// The firmware check: one pass over the present ACPI devices' hardware ids.
#include "sys/firmware.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os.h"
#include "shell/global.h"

namespace {

constexpr char kRapidStartHardwareId[] = "ACPI\\INT3392";
// Room for the ids of any ordinary device; a larger list is read into a
// buffer of the size the system asks for, up to kMaxIdBytes.
constexpr uint32_t kFirstBufferBytes = 1024;
// No device lists this much; a larger size is taken as a broken answer.
constexpr uint32_t kMaxIdBytes = 64 * 1024;
// Ends the walk over a list that never says ERROR_NO_MORE_ITEMS.
constexpr uint32_t kMaxDevices = 100000;

// Whether a REG_MULTI_SZ of exactly size bytes holds the id. The list ends
// at its first empty string or at the end of the bytes, whichever comes
// first; a last string without its NUL still counts.
bool MultiSzHolds(const char* bytes, std::size_t size, const char* id) {
  std::size_t at = 0;
  while (at < size) {
    std::size_t end = at;
    while (end < size && bytes[end] != 0) ++end;
    if (end == at) return false;  // the empty string that closes the list
    if (UpperAscii(std::string(bytes + at, end - at)) == UpperAscii(id)) return true;
    at = end + 1;
  }
  return false;
}

enum class TIdRead { Read, NoIds, Failed };

// The device's hardware ids into ids (only the bytes the system returned).
TIdRead ReadHardwareIds(Os& os, os::Handle set, const os::SpDevInfoData& device, std::vector<char>& ids) {
  ids.assign(kFirstBufferBytes, 0);
  for (int attempt = 0; attempt < 2; ++attempt) {
    uint32_t type = 0, required = 0;
    const uint32_t size = static_cast<uint32_t>(ids.size());
    if (os.SetupDiGetDeviceRegistryPropertyA(set, device, os::kSpdrpHardwareId, type, ids.data(), size, required)) {
      if (type != os::kRegMultiSz && type != os::kRegSz) return TIdRead::NoIds;
      ids.resize(required < size ? required : size);
      return TIdRead::Read;
    }
    const uint32_t error = os.GetLastError();
    // A device without hardware ids (a root-enumerated one may have none).
    if (error == os::kErrorInvalidData) return TIdRead::NoIds;
    if (error != os::kErrorInsufficientBuffer || required <= size || required > kMaxIdBytes) return TIdRead::Failed;
    ids.assign(required, 0);
  }
  return TIdRead::Failed;  // the list grew again between the two reads
}

}  // namespace

TFirmwareState DetectRapidStartFirmware() {
  Os& os = CurrentOs();
  const os::Handle set = os.SetupDiGetClassDevsByEnumeratorA("ACPI", os::kDigcfAllClasses | os::kDigcfPresent);
  if (set == os::kInvalid || set == os::kNull) return TFirmwareState::Unknown;

  // Present as soon as one device has the id. Absent needs the whole list
  // read: a device whose ids could not be read might have been the one, so
  // a list with such a device and no match stays Unknown. Devices that have
  // no hardware ids at all are passed over.
  TFirmwareState state = TFirmwareState::Unknown;
  bool unreadDevice = false;
  std::vector<char> ids;
  for (uint32_t index = 0; index < kMaxDevices; ++index) {
    os::SpDevInfoData device{};
    device.cbSize = sizeof device;
    if (!os.SetupDiEnumDeviceInfo(set, index, device)) {
      if (os.GetLastError() == os::kErrorNoMoreItems && !unreadDevice) state = TFirmwareState::Absent;
      break;
    }
    const TIdRead read = ReadHardwareIds(os, set, device, ids);
    if (read == TIdRead::Failed) unreadDevice = true;
    if (read == TIdRead::Read && MultiSzHolds(ids.data(), ids.size(), kRapidStartHardwareId)) {
      state = TFirmwareState::Present;
      break;
    }
  }
  const uint32_t error = os.GetLastError();
  os.SetupDiDestroyDeviceInfoList(set);
  os.SetLastError(error);
  return state;
}

const char* FirmwareStateText(TFirmwareState state) {
  switch (state) {
    case TFirmwareState::Present: return "Present";
    case TFirmwareState::Absent: return "Absent";
    default: return "Unknown";
  }
}

// The editing side of TDisk: partition types and deletions through the disk
// driver, without diskpart.
//
// MBR edits go to the partition's volume (IOCTL_DISK_SET_PARTITION_INFO_EX);
// GPT edits read the whole drive layout, change the partition's entry and
// write the layout back (IOCTL_DISK_SET_DRIVE_LAYOUT_EX).
#include <array>
#include <cstring>
#include <functional>
#include <memory>

#include "disk/device_request.h"
#include "disk/disk.h"
#include "platform/os.h"
#include "shell/log_kv.h"

using disk::DeviceRequest;

namespace {

constexpr uint32_t kDigcfFlags = disk::kDigcfPresent | disk::kDigcfDeviceInterface;  // 0x12
constexpr uint32_t kInterfaceDetailBytes = 1024;
constexpr uint32_t kInterfaceDataCbSize = sizeof(os::SpDeviceInterfaceData);
// DeletePartition's input: a zero SET_PARTITION_INFORMATION_EX and 24 more zero bytes.
constexpr uint32_t kDeleteRecordBytes = 144;

// Why a layout just read must not be written back; nullptr when it may.
const char* LayoutProblem(bool readOk, uint32_t bytes, const disk::DriveLayoutBuffer& layout) {
  if (!readOk) return "ReadFailed";  // a zero buffer would describe an empty disk
  if (bytes < sizeof(disk::DriveLayoutHeader) ||
      layout.Header.PartitionCount > disk::LayoutEntriesCovered(bytes))
    return "Truncated";  // entries the buffer does not hold would be written as zeros
  if (layout.Header.PartitionStyle != disk::kStyleGpt) return "NotGpt";  // the GPT member overlays MBR fields
  return nullptr;
}

// The layout route: read the drive's layout, apply edit to every entry whose
// number is partNum, and write the whole layout back. Nothing is written when
// the layout cannot be trusted; the result is then false.
bool EditLayout(TDisk& disk, int32_t diskNum, int32_t partNum,
                const std::function<void(disk::PartitionInformationEx&)>& edit) {
  const std::string path = PhysicalDrivePath(diskNum);
  auto layout = std::make_unique<disk::DriveLayoutBuffer>();  // zero-filled
  uint32_t bytes = 0;
  const bool readOk = disk.GetDriveLayout(path, layout.get(), disk::kLayoutBufferBytes, &bytes);
  if (const char* problem = LayoutProblem(readOk, bytes, *layout)) {
    LogKv("LayoutNotWritten", problem);
    return false;
  }
  // What the driver did not return is not part of the layout: it goes back
  // as zeros, whatever the driver left there.
  std::memset(reinterpret_cast<uint8_t*>(layout.get()) + bytes, 0, disk::kLayoutBufferBytes - bytes);
  for (uint32_t e = 0; e < layout->Header.PartitionCount; ++e) {
    disk::PartitionInformationEx& entry = layout->Entries[e];
    if (entry.PartitionNumber != 0 && static_cast<int64_t>(entry.PartitionNumber) == partNum) edit(entry);
  }
  return disk.SetDriveLayout(path, layout.get(), disk::kLayoutBufferBytes);
}

}  // namespace

bool TDisk::SetPartitionInfo(const std::string& path, const void* record, uint32_t length) {
  uint32_t bytes = 0;
  return DeviceRequest(path, os::kGenericRead | os::kGenericWrite, disk::kIoctlDiskSetPartitionInfoEx, record,
                       length, nullptr, 0, bytes);
}

bool TDisk::SetDriveLayout(const std::string& path, const void* buffer, uint32_t length) {
  uint32_t bytes = 0;
  bool opened = false;
  const bool ok = DeviceRequest(path, os::kGenericRead | os::kGenericWrite, disk::kIoctlDiskSetDriveLayoutEx, buffer,
                                length, nullptr, 0, bytes, &opened);
  if (opened) LogKv("FileName", path);
  return ok;
}

bool TDisk::SetMbrPartitionType(int32_t diskNum, int32_t partNum, uint8_t partType) {
  LogOperation("SetMbrPartitionType", diskNum, partNum);
  LogLine("PartType=" + HexByteText(partType));
  const std::string path = GetPartitionVolumePath(diskNum, partNum);
  disk::SetPartitionInformationEx record{};
  record.PartitionStyle = disk::kStyleMbr;
  record.Mbr.PartitionType = partType;
  const bool result = SetPartitionInfo(path, &record, sizeof record);
  LogKv("res", result);
  return result;
}

bool TDisk::DeletePartition(int32_t diskNum, int32_t partNum) {
  LogHeading("TDisk::DeletePartition");
  const std::string path = GetPartitionVolumePath(diskNum, partNum);
  // All zero: the MBR style and type 0, the type of a free entry.
  const std::array<uint8_t, kDeleteRecordBytes> record{};
  return SetPartitionInfo(path, record.data(), kDeleteRecordBytes);
}

bool TDisk::SetGptPartitionType(int32_t diskNum, int32_t partNum, const os::Guid& typeGuid) {
  os::Guid newId{};
  // Without a fresh unique GUID the partition would get a zero or stale one.
  if (!CurrentOs().CoCreateGuid(newId)) {
    LogKv("LayoutNotWritten", "CoCreateGuid");
    return false;
  }
  return EditLayout(*this, diskNum, partNum, [&](disk::PartitionInformationEx& entry) {
    entry.Gpt.PartitionType = typeGuid;
    entry.Gpt.PartitionId = newId;
  });
}

bool TDisk::DeleteGptPartition(int32_t diskNum, int32_t partNum) {
  // The entry stays in the layout, all zero; PartitionCount is not changed.
  return EditLayout(*this, diskNum, partNum,
                    [](disk::PartitionInformationEx& entry) { std::memset(&entry, 0, sizeof entry); });
}

std::string TDisk::GetPartitionVolumePath(int32_t diskNum, int32_t partNum) {
  std::string path = FindVolumeInterface(kGuidDevInterfaceVolume, diskNum, partNum);
  if (path.empty()) path = FindVolumeInterface(kGuidDevInterfaceHiddenVolume, diskNum, partNum);
  return path;
}

std::string TDisk::FindVolumeInterface(const os::Guid& interfaceClass, int32_t diskNum, int32_t partNum) {
  // No volume of a stored partition has number 0, and no disk lies outside
  // 0..63: such arguments must not reach a volume by accident.
  if (diskNum < kFirstDriveNumber || diskNum > kLastDriveNumber || partNum < 1) return "";
  Os& os = CurrentOs();
  const os::Handle set = os.SetupDiGetClassDevsA(interfaceClass, kDigcfFlags);
  if (set == os::kInvalid) return "";

  std::string result;
  std::array<uint8_t, kInterfaceDetailBytes> detail{};
  const uint32_t cbSize = disk::kInterfaceDetailCbSize;
  std::memcpy(detail.data(), &cbSize, sizeof cbSize);
  for (uint32_t index = 0;; ++index) {
    os::SpDeviceInterfaceData data{};
    data.cbSize = kInterfaceDataCbSize;
    if (!os.SetupDiEnumDeviceInterfaces(set, interfaceClass, index, data)) break;
    if (!os.SetupDiGetDeviceInterfaceDetailA(set, data, detail.data(), kInterfaceDetailBytes)) break;
    const char* text = reinterpret_cast<const char*>(detail.data() + disk::kInterfaceDetailPathOffset);
    const std::string devicePath(text, strnlen(text, kInterfaceDetailBytes - disk::kInterfaceDetailPathOffset));
    // An interface whose number cannot be read is passed over; it does not
    // undo a match found before it. A later match replaces an earlier one.
    disk::StorageDeviceNumber number{};
    if (GetDeviceNumber(devicePath, number) && static_cast<int64_t>(number.DeviceNumber) == diskNum &&
        static_cast<int64_t>(number.PartitionNumber) == partNum)
      result = devicePath;
  }
  os.SetupDiDestroyDeviceInfoList(set);
  return result;
}

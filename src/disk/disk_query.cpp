// The read-only side of TDisk: device type, media, layout, drive letters and
// product text of the physical drives and volumes.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

#include "disk/device_request.h"
#include "disk/disk.h"
#include "platform/os.h"

using disk::DeviceRequest;

namespace {

constexpr uint32_t kDescriptorBufferBytes = 551;
constexpr int kFirstLetterBit = 2;   // C:; A: and B: are never examined
constexpr int kLastLetterBit = 25;   // Z:

uint32_t ReadU32(const uint8_t* bytes, std::size_t offset) {
  uint32_t v = 0;
  std::memcpy(&v, bytes + offset, sizeof v);
  return v;
}

using LetterSource = std::function<char(int32_t diskNum, int32_t partNum)>;

}  // namespace

bool TDisk::GetDeviceNumber(const std::string& path, disk::StorageDeviceNumber& number) {
  disk::StorageDeviceNumber reply{};
  uint32_t bytes = 0;
  if (!DeviceRequest(path, os::kGenericRead, disk::kIoctlStorageGetDeviceNumber, nullptr, 0, &reply, sizeof reply,
                     bytes) ||
      bytes < sizeof reply)
    return false;
  number = reply;
  return true;
}

bool TDisk::GetDriveGeometry(const std::string& path, disk::DiskGeometryEx& geometry) {
  disk::DiskGeometryEx reply{};
  uint32_t bytes = 0;
  if (!DeviceRequest(path, os::kGenericRead, disk::kIoctlDiskGetDriveGeometryEx, nullptr, 0, &reply, sizeof reply,
                     bytes) ||
      bytes < sizeof(disk::DiskGeometry))
    return false;
  geometry = reply;
  return true;
}

bool TDisk::GetDriveLayout(const std::string& path, void* buffer, uint32_t size, uint32_t* bytesReturned) {
  uint32_t bytes = 0;
  const bool ok = DeviceRequest(path, os::kGenericRead, disk::kIoctlDiskGetDriveLayoutEx, nullptr, 0, buffer, size,
                                bytes);
  if (bytesReturned) *bytesReturned = ok ? bytes : 0;
  return ok;
}

bool TDisk::GetDeviceDescriptor(const std::string& path, void* buffer, uint32_t size, uint32_t& bytesReturned) {
  disk::StoragePropertyQuery query{};
  query.PropertyId = disk::kStorageDeviceProperty;
  query.QueryType = disk::kPropertyStandardQuery;
  const bool ok = DeviceRequest(path, os::kGenericRead, disk::kIoctlStorageQueryProperty, &query, sizeof query,
                                buffer, size, bytesReturned);
  if (!ok) bytesReturned = 0;
  return ok;
}

uint32_t TDisk::GetDiskDeviceType(int32_t diskNum) {
  disk::StorageDeviceNumber number{};
  return GetDeviceNumber(PhysicalDrivePath(diskNum), number) ? number.DeviceType : disk::kFileDeviceUnknown;
}

uint32_t TDisk::GetMediaType(const std::string& path) {
  disk::DiskGeometryEx geometry{};
  return GetDriveGeometry(path, geometry) ? geometry.Geometry.MediaType : disk::kMediaUnknown;
}

uint32_t TDisk::GetDiskMediaType(int32_t diskNum) { return GetMediaType(PhysicalDrivePath(diskNum)); }

uint32_t TDisk::GetVolumeMediaType(char letter) { return GetMediaType(VolumePath(letter)); }

// Visits the fixed volumes among the letters C: to Z: in order, with the
// storage device number each one reports, until visit returns true.
void TDisk::ForEachFixedVolume(const std::function<bool(char, const disk::StorageDeviceNumber&)>& visit) {
  const uint32_t mask = CurrentOs().GetLogicalDrives();
  for (int bit = kFirstLetterBit; bit <= kLastLetterBit; ++bit) {
    if (!(mask & (1u << bit))) continue;
    const char letter = static_cast<char>('A' + bit);
    if (GetVolumeMediaType(letter) != disk::kMediaFixed) continue;
    disk::StorageDeviceNumber number{};
    if (GetDeviceNumber(VolumePath(letter), number) && visit(letter, number)) return;
  }
}

char TDisk::GetPartDriveLetter(int32_t diskNum, int32_t partNum) {
  char found = kNoDriveLetter;
  ForEachFixedVolume([&](char letter, const disk::StorageDeviceNumber& number) {
    if (static_cast<int64_t>(number.DeviceNumber) != diskNum || static_cast<int64_t>(number.PartitionNumber) != partNum)
      return false;
    found = letter;
    return true;
  });
  return found;
}

TDriveLetterMap TDisk::ReadDriveLetterMap() {
  TDriveLetterMap map;
  ForEachFixedVolume([&](char letter, const disk::StorageDeviceNumber& number) {
    map.Add(letter, number.DeviceNumber, number.PartitionNumber);
    return false;
  });
  return map;
}

namespace {

// Fills record from the layout of drive diskNum; see TDisk::GetDiskInfo.
bool FillDiskInfo(TDisk& disk, _DiskInfo& record, int32_t diskNum, const LetterSource& letterOf) {
  auto layout = std::make_unique<disk::DriveLayoutBuffer>();  // zero-filled
  uint32_t bytes = 0;
  if (!disk.GetDriveLayout(PhysicalDrivePath(diskNum), layout.get(), disk::kLayoutBufferBytes, &bytes)) return false;
  // A reply too short for its header describes nothing.
  if (bytes < sizeof(disk::DriveLayoutHeader)) return false;

  record.DiskNum = diskNum;
  record.PartitionStyle = static_cast<int32_t>(layout->Header.PartitionStyle);
  // Never read past what the driver returned, whatever count it claims.
  const uint32_t entries = std::min(layout->Header.PartitionCount, disk::LayoutEntriesCovered(bytes));
  uint32_t stored = 0;
  for (uint32_t e = 0; e < entries; ++e) {
    const disk::PartitionInformationEx& entry = layout->Entries[e];
    if (entry.PartitionNumber == 0) continue;  // an empty slot or an extended container
    if (stored == kMaxPartsPerDisk) break;
    _PartInfo& part = record.PartInfo[stored];
    part = _PartInfo{};
    part.DiskNum = diskNum;
    part.PartNum = static_cast<int32_t>(entry.PartitionNumber);
    part.PartDriveLetter = letterOf(diskNum, part.PartNum);
    part.PartOffset = entry.StartingOffset;
    part.PartLen = entry.PartitionLength;
    if (entry.PartitionStyle == disk::kStyleMbr) part.Mbr = entry.Mbr;
    if (entry.PartitionStyle == disk::kStyleGpt) part.Gpt = entry.Gpt;
    ++stored;
  }
  record.PartCount = stored;
  return true;
}

}  // namespace

bool TDisk::GetDiskInfo(_DiskInfo& record, int32_t diskNum) {
  return FillDiskInfo(*this, record, diskNum,
                      [this](int32_t n, int32_t p) { return GetPartDriveLetter(n, p); });
}

bool TDisk::GetDiskInfo(_DiskInfo& record, int32_t diskNum, const TDriveLetterMap& letters) {
  return FillDiskInfo(*this, record, diskNum, [&letters](int32_t n, int32_t p) { return letters.Find(n, p); });
}

// The drive's STORAGE_DEVICE_DESCRIPTOR into buffer; the bytes of it that
// the device returned, 0 when the request failed.
uint32_t TDisk::ReadDescriptor(const std::string& path, uint8_t* buffer) {
  const uint32_t size = kDescriptorBufferBytes;
  std::memcpy(buffer + offsetof(disk::StorageDeviceDescriptor, Size), &size, sizeof size);
  uint32_t bytes = 0;
  if (!GetDeviceDescriptor(path, buffer, kDescriptorBufferBytes, bytes)) return 0;
  // Only what the device returned is read: a descriptor larger than the
  // buffer is cut off, and its text may lie beyond the cut.
  return std::min(bytes, kDescriptorBufferBytes);
}

std::string TDisk::GetProductId(const std::string& path) {
  alignas(8) uint8_t buffer[kDescriptorBufferBytes] = {};
  const uint32_t valid = ReadDescriptor(path, buffer);
  const std::size_t offsetField = offsetof(disk::StorageDeviceDescriptor, ProductIdOffset);
  if (valid < offsetField + sizeof(uint32_t)) return "";
  const uint32_t offset = ReadU32(buffer, offsetField);
  if (offset == 0 || offset >= valid) return "";
  uint32_t end = offset;
  while (end < valid && buffer[end] != 0) ++end;
  return std::string(reinterpret_cast<const char*>(buffer + offset), end - offset);
}

int32_t TDisk::GetDiskBusType(int32_t diskNum) {
  alignas(8) uint8_t buffer[kDescriptorBufferBytes] = {};
  const uint32_t valid = ReadDescriptor(PhysicalDrivePath(diskNum), buffer);
  const std::size_t busField = offsetof(disk::StorageDeviceDescriptor, BusType);
  if (valid < busField + sizeof(uint32_t)) return -1;
  const uint32_t bus = ReadU32(buffer, busField);
  return bus > 0xFF ? -1 : static_cast<int32_t>(bus);  // STORAGE_BUS_TYPE ends below 0x80
}

bool IsExternalBus(int32_t busType) {
  constexpr int32_t kBusType1394 = 0x4, kBusTypeUsb = 0x7, kBusTypeSd = 0xC, kBusTypeMmc = 0xD;
  return busType == kBusType1394 || busType == kBusTypeUsb || busType == kBusTypeSd || busType == kBusTypeMmc;
}

std::string TDisk::GetDiskProductId(int32_t diskNum) { return GetProductId(PhysicalDrivePath(diskNum)); }

int32_t TDisk::ReadFixedDisks(_DiskInfo* disks, int32_t capacity, TLetterLookup lookup) {
  // The letter map is read when the first partition needs it, so a scan that
  // stores no partition asks no volume.
  std::optional<TDriveLetterMap> map;
  const LetterSource perPartition = [this](int32_t n, int32_t p) { return GetPartDriveLetter(n, p); };
  const LetterSource oncePerScan = [this, &map](int32_t n, int32_t p) {
    if (!map) map = ReadDriveLetterMap();
    return map->Find(n, p);
  };

  int32_t count = 0;
  for (int32_t n = kFirstDriveNumber; n <= kLastDriveNumber && count < capacity; ++n) {
    if (GetDiskDeviceType(n) != disk::kFileDeviceDisk) continue;
    // The geometry that tells fixed media also holds the size: one request for both.
    disk::DiskGeometryEx geometry{};
    if (!GetDriveGeometry(PhysicalDrivePath(n), geometry) || geometry.Geometry.MediaType != disk::kMediaFixed) continue;
    _DiskInfo& record = disks[count++];
    if (!FillDiskInfo(*this, record, n, lookup == TLetterLookup::OncePerScan ? oncePerScan : perPartition)) {
      // Never let an earlier scan's disk at this index speak for this drive.
      std::memset(&record, 0, sizeof record);
      record.DiskNum = n;
      record.PartitionStyle = kPartitionStyleUnknown;
      record.PartCount = 0;
    }
    // Asked also when the layout is unreadable: the drive may still tell.
    record.MediaKind = GetDiskMediaKind(n);
    // A reply too short to hold the size leaves it 0: unknown.
    record.DiskSize = geometry.DiskSize > 0 ? static_cast<uint64_t>(geometry.DiskSize) : 0;
  }
  return count;
}

namespace {

// The answer to a seek-penalty or TRIM query: the record's BOOLEAN, or
// nothing when the request failed or the reply does not cover the field.
// opened tells whether the device could be opened at all.
template <class Descriptor, uint8_t Descriptor::*Flag>
std::optional<bool> AskStorageFlag(const std::string& path, uint32_t propertyId, bool& opened) {
  disk::StoragePropertyQuery query{};
  query.PropertyId = propertyId;
  query.QueryType = disk::kPropertyStandardQuery;
  Descriptor reply{};
  uint32_t bytes = 0;
  if (!DeviceRequest(path, os::kGenericRead, disk::kIoctlStorageQueryProperty, &query, sizeof query, &reply,
                     sizeof reply, bytes, &opened))
    return std::nullopt;
  // A driver may return only the header when the record is larger than it
  // expects; the flag counts only when the bytes returned and the record's
  // own Version and Size all reach past it.
  const uint32_t fieldEnd = static_cast<uint32_t>(offsetof(Descriptor, Padding0));
  if (bytes < fieldEnd || reply.Version < fieldEnd || reply.Size < fieldEnd) return std::nullopt;
  return reply.*Flag != 0;
}

}  // namespace

TMediaKind TDisk::GetDiskMediaKind(int32_t diskNum) {
  const std::string path = PhysicalDrivePath(diskNum);
  bool opened = false;
  const std::optional<bool> seekPenalty =
      AskStorageFlag<disk::DeviceSeekPenaltyDescriptor, &disk::DeviceSeekPenaltyDescriptor::IncursSeekPenalty>(
          path, disk::kStorageDeviceSeekPenaltyProperty, opened);
  if (seekPenalty) return *seekPenalty ? TMediaKind::Hdd : TMediaKind::Ssd;
  // A drive that cannot be opened will not answer the second question either.
  if (!opened) return TMediaKind::Unknown;
  // Systems before the seek-penalty property, and some drivers, answer only
  // whether TRIM is on. TRIM marks a solid-state drive; its absence proves
  // nothing (a solid-state drive behind an old controller has none).
  const std::optional<bool> trim =
      AskStorageFlag<disk::DeviceTrimDescriptor, &disk::DeviceTrimDescriptor::TrimEnabled>(
          path, disk::kStorageDeviceTrimProperty, opened);
  return trim.value_or(false) ? TMediaKind::Ssd : TMediaKind::Unknown;
}

const char* PartitionStyleText(int32_t style) {
  switch (style) {
    case kPartitionStyleMbr: return "MBR";
    case kPartitionStyleGpt: return "GPT";
    case kPartitionStyleRaw: return "RAW";
    default: return nullptr;
  }
}

const char* MediaKindText(TMediaKind kind) {
  switch (kind) {
    case TMediaKind::Ssd: return "SSD";
    case TMediaKind::Hdd: return "HDD";
    default: return "Unknown";
  }
}

// TDisk: the program's access to physical drives, partitions and volumes
// through the disk and storage drivers, and the _DiskInfo/_PartInfo records
// the main window keeps its disk model in.
//
// Every device request opens its path, makes one DeviceIoControl request and
// closes the handle; nothing is cached between requests except, during one
// scan, the drive-letter map. Failures are results (false, a fallback value,
// an empty text), never exceptions.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "disk/driver_records.h"
#include "platform/os_types.h"

// One partition of a disk, as the drive layout reports it.
struct _PartInfo {
  int32_t DiskNum;       // the owning disk's drive number
  int32_t PartNum;       // the layout's partition number; never 0 in a stored entry
  char PartDriveLetter;  // 'C'..'Z', or a blank when the partition has none
  uint64_t PartOffset;   // bytes
  uint64_t PartLen;      // bytes
  // Only the member matching the disk's PartitionStyle is written and read.
  disk::PartitionInformationMbr Mbr;
  disk::PartitionInformationGpt Gpt;
};

constexpr uint32_t kMaxPartsPerDisk = 128;
constexpr char kNoDriveLetter = ' ';

// A disk's partition style: the drivers' own values (PARTITION_STYLE), and
// for a disk whose layout could not be read kPartitionStyleUnknown, neither
// MBR, GPT nor RAW, so nothing treats it as a disk whose partitions are known.
constexpr int32_t kPartitionStyleMbr = static_cast<int32_t>(os::kStyleMbr);
constexpr int32_t kPartitionStyleGpt = static_cast<int32_t>(os::kStyleGpt);
constexpr int32_t kPartitionStyleRaw = static_cast<int32_t>(os::kStyleRaw);
constexpr int32_t kPartitionStyleUnknown = -1;
// "MBR", "GPT" or "RAW"; nullptr for any other style.
const char* PartitionStyleText(int32_t style);

// Whether a disk is a solid-state drive, as its storage driver tells.
enum class TMediaKind : int32_t { Unknown = 0, Ssd = 1, Hdd = 2 };
// "SSD", "HDD" or "Unknown".
const char* MediaKindText(TMediaKind kind);

// One physical disk.
struct _DiskInfo {
  int32_t DiskNum;         // N of \\.\PhysicalDriveN
  int32_t PartitionStyle;  // kPartitionStyleMbr, Gpt, Raw; kPartitionStyleUnknown: layout unreadable
  uint32_t PartCount;      // valid entries at the front of PartInfo, 0..128
  _PartInfo PartInfo[kMaxPartsPerDisk];
  TMediaKind MediaKind;    // read with the disk by ReadFixedDisks
  uint64_t DiskSize;       // bytes, from the geometry ReadFixedDisks reads anyway; 0: unknown
};

// The entries of PartInfo that hold partitions, whatever PartCount claims.
inline uint32_t StoredPartCount(const _DiskInfo& info) {
  return info.PartCount < kMaxPartsPerDisk ? info.PartCount : kMaxPartsPerDisk;
}

// Drive numbers that are probed and may be opened.
constexpr int32_t kFirstDriveNumber = 0;
constexpr int32_t kLastDriveNumber = 63;
constexpr int kMaxDisks = 64;

// "\\.\PhysicalDriveN", or the empty text for numbers outside 0..63: an
// unchecked index could otherwise open a disk the caller never meant (0 is
// the system disk), and an empty path is never opened.
std::string PhysicalDrivePath(int32_t diskNum);
// "\\?\X:".
std::string VolumePath(char letter);

// A bus that leads out of the machine (IEEE 1394, USB, SD, MMC): a disk on it
// may report fixed media and still be a stick or a card.
bool IsExternalBus(int32_t busType);

// The partition-type test of the Rapid Start partition for the disk's style.
bool IsRapidStartPart(int32_t partitionStyle, const _PartInfo& part);

// Which volume of C: to Z: sits on which partition of which disk, read once.
// Only letters of fixed media whose device number could be read are entered.
class TDriveLetterMap {
 public:
  void Add(char letter, uint32_t diskNum, uint32_t partNum);
  // The first letter, in C..Z order, on that partition; a blank when none.
  char Find(int32_t diskNum, int32_t partNum) const;

 private:
  struct Entry {
    bool Used = false;
    uint32_t DiskNum = 0;
    uint32_t PartNum = 0;
  };
  std::array<Entry, 26> Letters_{};
};

// How a scan finds the partitions' drive letters: by asking the volumes again
// for every partition, or by reading the letter map once per scan.
enum class TLetterLookup { PerPartition, OncePerScan };

class TDisk {
 public:
  virtual ~TDisk() = default;

  // ---- one request each: open for reading, one DeviceIoControl, close ----
  // True exactly when the request succeeded and returned the whole record.
  bool GetDeviceNumber(const std::string& path, disk::StorageDeviceNumber& number);
  bool GetDriveGeometry(const std::string& path, disk::DiskGeometryEx& geometry);
  // bytesReturned (when given) receives what the driver wrote.
  bool GetDriveLayout(const std::string& path, void* buffer, uint32_t size, uint32_t* bytesReturned = nullptr);
  // The caller sets the descriptor's Size field; the request asks for size bytes.
  bool GetDeviceDescriptor(const std::string& path, void* buffer, uint32_t size, uint32_t& bytesReturned);

  // ---- queries ----
  // DeviceType of the drive; kFileDeviceUnknown when the request fails.
  uint32_t GetDiskDeviceType(int32_t diskNum);
  // MediaType of the device's geometry; kMediaUnknown when the request fails.
  uint32_t GetMediaType(const std::string& path);
  uint32_t GetDiskMediaType(int32_t diskNum);
  uint32_t GetVolumeMediaType(char letter);
  // The letter of the fixed-media volume on that partition, or a blank.
  char GetPartDriveLetter(int32_t diskNum, int32_t partNum);
  // Asks every volume of C:..Z: once.
  TDriveLetterMap ReadDriveLetterMap();
  // Fills record from the drive's layout, finding each partition's letter by
  // GetPartDriveLetter. False when the layout could not be read; the record is
  // then not touched.
  bool GetDiskInfo(_DiskInfo& record, int32_t diskNum);
  // The same with the letters taken from a map read earlier.
  bool GetDiskInfo(_DiskInfo& record, int32_t diskNum, const TDriveLetterMap& letters);
  // The device's product text (blank padding kept), or the empty text.
  std::string GetProductId(const std::string& path);
  std::string GetDiskProductId(int32_t diskNum);
  // The STORAGE_BUS_TYPE the drive's descriptor reports, or -1 when it
  // cannot be read.
  int32_t GetDiskBusType(int32_t diskNum);
  // SSD when the drive reports no seek penalty, HDD when it reports one;
  // where that is unknown, SSD when it supports TRIM; Unknown otherwise.
  TMediaKind GetDiskMediaKind(int32_t diskNum);

  // Probes drives 0..63 and fills disks[0..] with the fixed disks in drive
  // order; returns their count. A fixed disk whose layout cannot be read is
  // kept with its own number, no partitions and kPartitionStyleUnknown.
  int32_t ReadFixedDisks(_DiskInfo* disks, int32_t capacity, TLetterLookup lookup);

  // ---- partition-table edits (true: the driver accepted the request) ----
  bool SetMbrPartitionType(int32_t diskNum, int32_t partNum, uint8_t partType);
  bool SetGptPartitionType(int32_t diskNum, int32_t partNum, const os::Guid& typeGuid);
  bool DeletePartition(int32_t diskNum, int32_t partNum);
  bool DeleteGptPartition(int32_t diskNum, int32_t partNum);
  // The partition's volume device path, visible volumes first; empty if none.
  std::string GetPartitionVolumePath(int32_t diskNum, int32_t partNum);
  std::string FindVolumeInterface(const os::Guid& interfaceClass, int32_t diskNum, int32_t partNum);
  // Open for reading and writing, one request, close.
  bool SetPartitionInfo(const std::string& path, const void* record, uint32_t length);
  bool SetDriveLayout(const std::string& path, const void* buffer, uint32_t length);

 private:
  uint32_t ReadDescriptor(const std::string& path, uint8_t* buffer);
  void ForEachFixedVolume(const std::function<bool(char, const disk::StorageDeviceNumber&)>& visit);
};

// Volume device interface classes, searched in this order.
extern const os::Guid kGuidDevInterfaceVolume;        // {53F5630D-B6BF-11D0-94F2-00A0C91EFB8B}
extern const os::Guid kGuidDevInterfaceHiddenVolume;  // {7F108A28-9833-4B3B-B780-2C6B5FA5C062}

// The process's one instance, created on first use.
TDisk& GetDisk();
void ReleaseDisk();

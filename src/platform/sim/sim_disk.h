// The simulated PC's disks, volumes and disk driver.
//
// A machine description (physical drives with MBR, GPT or RAW layouts, USB
// flash drives, other device types, absent numbers; volumes with or without
// drive letters, visible or hidden) plus the driver that answers device opens,
// DeviceIoControl requests and the SetupAPI volume enumeration from it with the
// bytes and error codes Windows gives. Replies are built byte by byte at the
// offsets the Windows SDK declares, independently of the program's own record
// types, so a wrong offset on either side shows up in a round trip. Edits of
// partition tables are applied to the description, so the next scan shows them.
// Every open and every request is recorded, request bytes included.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/os_types.h"

// The Rapid Start partition's type, as MBR byte and GPT type GUID; the
// simulator's own copy, apart from the program's, so that a wrong value on
// either side shows up.
constexpr uint8_t kSimRapidStartMbrType = 0x84;
constexpr os::Guid kSimRapidStartGptType = {0xD3BFE2DE, 0x3DAF, 0x11DF, {0xBA, 0x40, 0xE3, 0xA5, 0x56, 0xD8, 0x95, 0x93}};

// One entry of a drive layout as the driver reports it.
struct SimPartition {
  uint32_t Style = 0;  // 0 MBR, 1 GPT
  uint64_t Offset = 0;
  uint64_t Length = 0;
  uint32_t Number = 0;  // 0: an empty slot or an extended container
  // MBR entries
  uint8_t MbrType = 0;
  bool Active = false;
  bool Recognized = false;
  uint32_t HiddenSectors = 0;
  // GPT entries
  os::Guid GptType{};
  os::Guid GptId{};
  uint64_t Attributes = 0;
  std::u16string Name;

  bool Used() const;  // a partition, not an empty slot
};

// What IOCTL_STORAGE_QUERY_PROPERTY reports for a drive.
struct SimDescriptor {
  std::string Vendor;
  std::string Product = "ORV SSD 512GB";
  std::string Revision = "1.0";
  std::string Serial;
  uint8_t BusType = 11;  // BusTypeSata; 7 is BusTypeUsb
  bool Removable = false;
  // -1: the product text follows the vendor text; 0: no product text (offset
  // 0); otherwise the text is placed at exactly this offset.
  int64_t ProductOffset = -1;
  uint32_t RawPropertiesLength = 0;
};

// A drive's answer to one of the storage properties that tell a solid-state
// drive from a spinning one.
enum class SimAnswer { Yes, No, NotSupported };
struct SimMediaKind {
  SimAnswer SeekPenalty = SimAnswer::No;  // StorageDeviceSeekPenaltyProperty: IncursSeekPenalty
  SimAnswer Trim = SimAnswer::Yes;        // StorageDeviceTrimProperty: TrimEnabled
  // A faulty driver: it reports at most this many bytes of each 12-byte
  // record as returned, and writes ClaimedSize as both records' Version and Size.
  uint32_t SeekPenaltyReplyBytes = 12;
  uint32_t TrimReplyBytes = 12;
  uint32_t ClaimedSize = 12;
};
constexpr SimMediaKind kSimSsd = {SimAnswer::No, SimAnswer::Yes};
constexpr SimMediaKind kSimHdd = {SimAnswer::Yes, SimAnswer::No};
// An older system or driver: neither property is known.
constexpr SimMediaKind kSimMediaUnknown = {SimAnswer::NotSupported, SimAnswer::NotSupported};

struct SimDrive {
  int Number = 0;                   // N of \\.\PhysicalDriveN
  uint32_t DeviceType = 0x07;       // FILE_DEVICE_DISK
  uint32_t MediaType = 12;          // FixedMedia; 11 RemovableMedia
  uint64_t SizeBytes = 0;
  uint32_t Style = 0;               // 0 MBR, 1 GPT, 2 RAW
  uint32_t MbrSignature = 0;
  os::Guid DiskId{};
  uint32_t GptMaxEntries = 128;     // entries the GPT header has room for
  std::vector<SimPartition> Layout;  // MBR: groups of four, the first group the partition table
  uint32_t LayoutError = 0;         // non-zero: layout requests fail with it (Wine refuses them)
  uint32_t GeometryError = 0;       // non-zero: geometry requests fail with it (a reader without media)
  uint32_t DescriptorError = 0;     // non-zero: the device descriptor request fails with it (a faulty bridge)
  // A faulty driver: the layout header claims this many entries whatever it
  // returns. -1: the true count.
  int64_t ClaimedPartitionCount = -1;
  SimDescriptor Descriptor;
  SimMediaKind Media;  // a solid-state drive unless set otherwise

  // MBR builders. slot -1 takes the first empty slot of the partition table.
  SimPartition& AddPrimary(uint8_t type, uint64_t offset, uint64_t length, bool active = false, int slot = -1);
  SimPartition& AddExtended(uint64_t offset, uint64_t length, int slot = -1);
  // A logical partition in a new extended boot record, linked from the previous one.
  SimPartition& AddLogical(uint8_t type, uint64_t offset, uint64_t length);
  // GPT builder.
  SimPartition& AddGptPartition(const os::Guid& type, uint64_t offset, uint64_t length,
                                const std::u16string& name = u"");

  SimPartition* FindPartition(uint32_t number);
  uint32_t NextPartitionNumber() const;
  // Numbers an MBR disk's partitions as Windows does: the primary entries in
  // table order, then the logical ones in chain order, so a new primary
  // partition moves the logical ones up. The volumes follow their partitions.
  void RenumberMbr();
  struct SimDisks* Owner = nullptr;  // whose volumes follow a renumbering
  // The smallest number of 1 or more that no entry of layout has.
  static uint32_t LowestFreeNumber(const std::vector<SimPartition>& layout);
};

struct SimVolume {
  int Disk = 0;
  uint32_t PartNum = 0;
  char Letter = 0;  // 0: none
  bool Hidden = false;              // enumerated only in the hidden-volume class
  bool DeviceNumberFails = false;   // IOCTL_STORAGE_GET_DEVICE_NUMBER fails, as for a spanned volume
  std::string InterfacePath;
  // What diskpart sees of it: shrink and extend work only on NTFS; "RAW" is
  // a volume without a file system (a partition just made), "FAT32" an EFI
  // system partition.
  std::string FileSystem = "NTFS";
  // The system or boot volume, or one holding the paging file: diskpart does
  // not delete it (learn.microsoft.com/windows-server/administration/
  // windows-commands/delete-partition).
  bool InUse = false;
};

struct SimDeviceOpen {
  std::string Path;
  uint32_t Access = 0;
  uint32_t Share = 0;
  uint32_t Disposition = 0;
  uint32_t Flags = 0;
  uint32_t Error = 0;  // 0: opened
};

struct SimIoRequest {
  std::string Path;
  uint32_t Code = 0;
  std::vector<uint8_t> Input;
  uint32_t OutSize = 0;
  bool Ok = false;
  uint32_t Error = 0;
  uint32_t BytesReturned = 0;
  std::vector<uint8_t> Output;  // the bytes returned
};

struct SimDisks {
  static constexpr uint64_t kGiB = 1073741824;

  // Deques, so a builder's reference stays valid while more are added.
  std::deque<SimDrive> Drives;
  std::deque<SimVolume> Volumes;
  // Letters that GetLogicalDrives reports with no volume behind them (a
  // floppy drive, a network share); bit 0 is A:.
  uint32_t ForeignLetters = 0;
  bool Elevated = true;  // false: opening a disk or volume for access is denied

  // ---- what happened ----
  bool KeepRecords = true;  // see SimCore::KeepRecords
  std::vector<SimDeviceOpen> Opens;
  std::vector<SimIoRequest> Requests;
  int CountRequests(uint32_t code) const;

  // ---- builders ----
  SimDrive& AddMbrDisk(int number, uint64_t size = 256 * kGiB);
  SimDrive& AddGptDisk(int number, uint64_t size = 512 * kGiB);
  SimDrive& AddRawDisk(int number, uint64_t size = 128 * kGiB);
  SimDrive& AddUsbFlash(int number, uint64_t size = 16 * kGiB);  // an MBR disk on removable media
  SimDrive& AddOtherDevice(int number, uint32_t deviceType);     // e.g. an optical drive
  SimVolume& AddVolume(int disk, uint32_t partNum, char letter = 0);
  SimVolume& AddHiddenVolume(int disk, uint32_t partNum);

  SimDrive* FindDrive(int number);
  SimVolume* FindVolume(int disk, uint32_t partNum);
  // Moves the volumes of a disk from old partition numbers to new ones.
  void RenumberVolumes(int disk, const std::map<uint32_t, uint32_t>& oldToNew);

  // ---- the driver, as SimPc uses it ----
  // Whether the device exists and may be opened so; error says why not.
  bool Open(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition, uint32_t flags,
            uint32_t& error);
  bool Control(const std::string& path, uint32_t access, uint32_t code, const void* in, uint32_t inSize, void* out,
               uint32_t outSize, uint32_t& bytesReturned, uint32_t& error);
  uint32_t LogicalDriveMask() const;
  // The interface paths of one volume interface class, in enumeration order.
  std::vector<std::string> InterfacePaths(const os::Guid& cls) const;

 private:
  struct Target {
    SimDrive* drive = nullptr;    // a physical drive
    SimVolume* volume = nullptr;  // or a volume
  };
  Target Resolve(const std::string& path);
  // A drive with the number (not yet in use), size and partition style.
  SimDrive& NewDrive(int number, uint64_t size, uint32_t style);
  int volumeSerial_ = 0;
  // Removes the volumes of partitions that no longer exist.
  void DropOrphanVolumes();
  friend struct SimDrive;

  bool DriveControl(SimDrive& d, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                    uint32_t& bytes, uint32_t& error);
  bool VolumeControl(SimVolume& v, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out,
                     uint32_t outSize, uint32_t& bytes, uint32_t& error);
  bool SetLayout(SimDrive& d, const uint8_t* in, uint32_t inSize, uint32_t& error);
};

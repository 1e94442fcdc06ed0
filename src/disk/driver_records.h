// Byte-exact, portable forms of the disk and storage driver records the
// program sends and receives through DeviceIoControl, with their control codes.
//
// Padding is written out, so no layout depends on how a compiler aligns 64-bit
// members (i686 System V aligns them to 4, the Windows ABI to 8). Records whose
// SDK declaration ends in a one-element array are split into a fixed header
// and an explicitly sized container, so a count read from a driver is always
// checked against a capacity known here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os_types.h"

namespace disk {

// ---- control codes (winioctl.h) ----
// Bits 14-15 of a code are the access the handle needs: 1 read, 2 write.
constexpr uint32_t kIoctlStorageGetDeviceNumber = 0x002D1080;
constexpr uint32_t kIoctlStorageQueryProperty = 0x002D1400;
constexpr uint32_t kIoctlDiskGetDriveGeometryEx = 0x000700A0;
constexpr uint32_t kIoctlDiskGetDriveLayoutEx = 0x00070050;
constexpr uint32_t kIoctlDiskSetPartitionInfoEx = 0x0007C04C;
constexpr uint32_t kIoctlDiskSetDriveLayoutEx = 0x0007C054;

// ---- values callers test ----
constexpr uint32_t kFileDeviceCdRom = 0x02;
constexpr uint32_t kFileDeviceDisk = 0x07;
constexpr uint32_t kFileDeviceUnknown = 0x22;
constexpr uint32_t kFileDeviceDvd = 0x33;

constexpr uint32_t kMediaUnknown = 0;
constexpr uint32_t kMediaRemovable = 11;  // RemovableMedia
constexpr uint32_t kMediaFixed = 12;      // FixedMedia

// PARTITION_STYLE.
using os::kStyleGpt;
using os::kStyleMbr;
using os::kStyleRaw;

constexpr uint8_t kMbrTypeUnused = 0x00;  // PARTITION_ENTRY_UNUSED

// ---- PARTITION_INFORMATION_MBR: 8 bytes ----
struct PartitionInformationMbr {
  uint8_t PartitionType;
  uint8_t BootIndicator;        // BOOLEAN
  uint8_t RecognizedPartition;  // BOOLEAN
  uint8_t Padding0;
  uint32_t HiddenSectors;
};
static_assert(sizeof(PartitionInformationMbr) == 8, "PARTITION_INFORMATION_MBR size");
static_assert(offsetof(PartitionInformationMbr, BootIndicator) == 1, "BootIndicator offset");
static_assert(offsetof(PartitionInformationMbr, HiddenSectors) == 4, "HiddenSectors offset");

// ---- PARTITION_INFORMATION_GPT: 112 bytes ----
constexpr int kGptNameChars = 36;
struct PartitionInformationGpt {
  os::Guid PartitionType;
  os::Guid PartitionId;
  uint64_t Attributes;
  char16_t Name[kGptNameChars];  // UTF-16, not necessarily terminated
};
static_assert(sizeof(PartitionInformationGpt) == 112, "PARTITION_INFORMATION_GPT size");
static_assert(offsetof(PartitionInformationGpt, PartitionId) == 16, "PartitionId offset");
static_assert(offsetof(PartitionInformationGpt, Attributes) == 32, "Attributes offset");
static_assert(offsetof(PartitionInformationGpt, Name) == 40, "Name offset");

// ---- PARTITION_INFORMATION_EX: 144 bytes ----
struct PartitionInformationEx {
  uint32_t PartitionStyle;
  uint8_t Padding0[4];
  uint64_t StartingOffset;
  uint64_t PartitionLength;
  uint32_t PartitionNumber;
  uint8_t RewritePartition;    // BOOLEAN
  uint8_t IsServicePartition;  // BOOLEAN; padding in older SDKs
  uint8_t Padding1[2];
  union {
    PartitionInformationMbr Mbr;
    PartitionInformationGpt Gpt;
  };
};
static_assert(sizeof(PartitionInformationEx) == 144, "PARTITION_INFORMATION_EX size");
static_assert(offsetof(PartitionInformationEx, StartingOffset) == 8, "StartingOffset offset");
static_assert(offsetof(PartitionInformationEx, PartitionLength) == 16, "PartitionLength offset");
static_assert(offsetof(PartitionInformationEx, PartitionNumber) == 24, "PartitionNumber offset");
static_assert(offsetof(PartitionInformationEx, RewritePartition) == 28, "RewritePartition offset");
static_assert(offsetof(PartitionInformationEx, Mbr) == 32, "Mbr offset");
static_assert(offsetof(PartitionInformationEx, Gpt) == 32, "Gpt offset");

// ---- DRIVE_LAYOUT_INFORMATION_EX without its entries: 48 bytes ----
struct DriveLayoutInformationMbr {
  uint32_t Signature;
  uint32_t CheckSum;
  uint8_t Padding0[32];  // the union is as large as its GPT member
};
struct DriveLayoutInformationGpt {
  os::Guid DiskId;
  uint64_t StartingUsableOffset;
  uint64_t UsableLength;
  uint32_t MaxPartitionCount;
  uint8_t Padding0[4];
};
static_assert(sizeof(DriveLayoutInformationMbr) == 40, "DRIVE_LAYOUT_INFORMATION_MBR in its union");
static_assert(sizeof(DriveLayoutInformationGpt) == 40, "DRIVE_LAYOUT_INFORMATION_GPT size");

struct DriveLayoutHeader {
  uint32_t PartitionStyle;
  uint32_t PartitionCount;
  union {
    DriveLayoutInformationMbr Mbr;
    DriveLayoutInformationGpt Gpt;
  };
};
static_assert(sizeof(DriveLayoutHeader) == 48, "DRIVE_LAYOUT_INFORMATION_EX header size");
static_assert(offsetof(DriveLayoutHeader, PartitionCount) == 4, "PartitionCount offset");
static_assert(offsetof(DriveLayoutHeader, Gpt) == 8, "layout union offset");
static_assert(offsetof(DriveLayoutInformationGpt, MaxPartitionCount) == 32, "MaxPartitionCount offset");

// The layout buffer the program reads and writes: the header and room for 129
// entries, 18624 bytes. Only the first PartitionCount entries are meaningful,
// and only as far as the driver said it returned bytes.
constexpr uint32_t kLayoutEntryCapacity = 129;
struct DriveLayoutBuffer {
  DriveLayoutHeader Header;
  PartitionInformationEx Entries[kLayoutEntryCapacity];
};
constexpr uint32_t kLayoutBufferBytes = 18624;
static_assert(sizeof(DriveLayoutBuffer) == kLayoutBufferBytes, "layout buffer size");
static_assert(offsetof(DriveLayoutBuffer, Entries) == 48, "first layout entry offset");

// How many entries of a layout reply may be read: the header's count, limited
// to what bytesReturned covers and to the buffer's capacity.
constexpr uint32_t LayoutEntriesCovered(uint32_t bytesReturned) {
  const uint32_t header = sizeof(DriveLayoutHeader);
  const uint32_t bytes = bytesReturned < kLayoutBufferBytes ? bytesReturned : kLayoutBufferBytes;
  return bytes < header ? 0 : (bytes - header) / sizeof(PartitionInformationEx);
}

// ---- STORAGE_DEVICE_NUMBER: 12 bytes ----
struct StorageDeviceNumber {
  uint32_t DeviceType;
  uint32_t DeviceNumber;
  uint32_t PartitionNumber;  // 0xFFFFFFFF when the device cannot be partitioned
};
static_assert(sizeof(StorageDeviceNumber) == 12, "STORAGE_DEVICE_NUMBER size");
static_assert(offsetof(StorageDeviceNumber, PartitionNumber) == 8, "PartitionNumber offset");

// ---- DISK_GEOMETRY / DISK_GEOMETRY_EX: 24 / 40 bytes ----
struct DiskGeometry {
  int64_t Cylinders;
  uint32_t MediaType;
  uint32_t TracksPerCylinder;
  uint32_t SectorsPerTrack;
  uint32_t BytesPerSector;
};
static_assert(sizeof(DiskGeometry) == 24, "DISK_GEOMETRY size");
static_assert(offsetof(DiskGeometry, MediaType) == 8, "MediaType offset");

// The SDK record ends in a one-byte Data array, padded to 40; the partition
// and detection records that may follow it are not read.
struct DiskGeometryEx {
  DiskGeometry Geometry;
  int64_t DiskSize;
  uint8_t Data[8];
};
static_assert(sizeof(DiskGeometryEx) == 40, "DISK_GEOMETRY_EX size as read");
static_assert(offsetof(DiskGeometryEx, DiskSize) == 24, "DiskSize offset");

// ---- STORAGE_PROPERTY_QUERY: 12 bytes ----
constexpr uint32_t kStorageDeviceProperty = 0;
constexpr uint32_t kPropertyStandardQuery = 0;
struct StoragePropertyQuery {
  uint32_t PropertyId;
  uint32_t QueryType;
  uint8_t AdditionalParameters[1];
  uint8_t Padding0[3];
};
static_assert(sizeof(StoragePropertyQuery) == 12, "STORAGE_PROPERTY_QUERY size");

// ---- DEVICE_SEEK_PENALTY_DESCRIPTOR / DEVICE_TRIM_DESCRIPTOR: 12 bytes ----
// Answers to STORAGE_PROPERTY_QUERY for these property ids. Version and Size
// both hold the record's size; the BOOLEAN is padded out to 12 bytes.
constexpr uint32_t kStorageDeviceSeekPenaltyProperty = 7;
constexpr uint32_t kStorageDeviceTrimProperty = 8;
struct DeviceSeekPenaltyDescriptor {
  uint32_t Version;
  uint32_t Size;
  uint8_t IncursSeekPenalty;  // BOOLEAN
  uint8_t Padding0[3];
};
static_assert(sizeof(DeviceSeekPenaltyDescriptor) == 12, "DEVICE_SEEK_PENALTY_DESCRIPTOR size");
static_assert(offsetof(DeviceSeekPenaltyDescriptor, IncursSeekPenalty) == 8, "IncursSeekPenalty offset");
struct DeviceTrimDescriptor {
  uint32_t Version;
  uint32_t Size;
  uint8_t TrimEnabled;  // BOOLEAN
  uint8_t Padding0[3];
};
static_assert(sizeof(DeviceTrimDescriptor) == 12, "DEVICE_TRIM_DESCRIPTOR size");
static_assert(offsetof(DeviceTrimDescriptor, TrimEnabled) == 8, "TrimEnabled offset");

// ---- STORAGE_DEVICE_DESCRIPTOR: 40 bytes before its variable part ----
// The texts it points to lie at offsets from the record's start, inside the
// Size bytes the device reports, which may exceed what the caller received.
struct StorageDeviceDescriptor {
  uint32_t Version;
  uint32_t Size;
  uint8_t DeviceType;
  uint8_t DeviceTypeModifier;
  uint8_t RemovableMedia;
  uint8_t CommandQueueing;
  uint32_t VendorIdOffset;
  uint32_t ProductIdOffset;
  uint32_t ProductRevisionOffset;
  uint32_t SerialNumberOffset;
  uint32_t BusType;
  uint32_t RawPropertiesLength;
  uint8_t RawDeviceProperties[1];
  uint8_t Padding0[3];
};
static_assert(sizeof(StorageDeviceDescriptor) == 40, "STORAGE_DEVICE_DESCRIPTOR size");
static_assert(offsetof(StorageDeviceDescriptor, Size) == 4, "Size offset");
static_assert(offsetof(StorageDeviceDescriptor, ProductIdOffset) == 16, "ProductIdOffset offset");
static_assert(offsetof(StorageDeviceDescriptor, RawDeviceProperties) == 36, "raw properties offset");

// ---- SET_PARTITION_INFORMATION_EX: 120 bytes ----
struct SetPartitionInformationMbr {
  uint8_t PartitionType;
  uint8_t Padding0[111];  // the union is as large as its GPT member
};
struct SetPartitionInformationEx {
  uint32_t PartitionStyle;
  uint8_t Padding0[4];
  union {
    SetPartitionInformationMbr Mbr;
    PartitionInformationGpt Gpt;
  };
};
static_assert(sizeof(SetPartitionInformationEx) == 120, "SET_PARTITION_INFORMATION_EX size");
static_assert(offsetof(SetPartitionInformationEx, Mbr) == 8, "MBR member offset");
static_assert(offsetof(SetPartitionInformationEx, Gpt) == 8, "GPT member offset");

// ---- SetupAPI ----
constexpr uint32_t kDigcfPresent = 0x02;
constexpr uint32_t kDigcfDeviceInterface = 0x10;
// SP_DEVICE_INTERFACE_DETAIL_DATA_A: a DWORD and the first character of
// DevicePath, byte-packed in a 32-bit process (5), padded to 8 in a 64-bit one.
constexpr uint32_t kInterfaceDetailCbSize = sizeof(void*) == 4 ? 5 : 8;
constexpr uint32_t kInterfaceDetailPathOffset = 4;

}  // namespace disk

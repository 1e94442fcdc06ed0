// The disk code's driver records and codes, held against the SDK's own: the
// portable code reads and writes them as the drivers do, so each size and
// offset must agree. Built only into the Windows program.
#include <windows.h>
#include <setupapi.h>

#include <winioctl.h>

#include <cstddef>

#include "disk/driver_records.h"

static_assert(disk::kInterfaceDetailCbSize == sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), "detail cbSize");
static_assert(disk::kInterfaceDetailPathOffset == offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath), "DevicePath");
static_assert(sizeof(disk::PartitionInformationEx) == sizeof(PARTITION_INFORMATION_EX), "PARTITION_INFORMATION_EX");
static_assert(offsetof(disk::PartitionInformationEx, PartitionNumber) ==
                  offsetof(PARTITION_INFORMATION_EX, PartitionNumber),
              "PartitionNumber");
static_assert(offsetof(disk::PartitionInformationEx, Gpt) == offsetof(PARTITION_INFORMATION_EX, Gpt), "Gpt");
static_assert(sizeof(disk::PartitionInformationGpt) == sizeof(PARTITION_INFORMATION_GPT), "PARTITION_INFORMATION_GPT");
// Newer SDKs append a PartitionId to the MBR member (inside the union's 112
// bytes); the fields the program reads keep their places.
static_assert(offsetof(disk::PartitionInformationMbr, HiddenSectors) ==
                  offsetof(PARTITION_INFORMATION_MBR, HiddenSectors),
              "PARTITION_INFORMATION_MBR");
static_assert(sizeof(disk::DriveLayoutHeader) == offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry),
              "DRIVE_LAYOUT_INFORMATION_EX header");
static_assert(sizeof(disk::StorageDeviceNumber) == sizeof(STORAGE_DEVICE_NUMBER), "STORAGE_DEVICE_NUMBER");
static_assert(sizeof(disk::DiskGeometry) == sizeof(DISK_GEOMETRY), "DISK_GEOMETRY");
static_assert(sizeof(disk::StoragePropertyQuery) == sizeof(STORAGE_PROPERTY_QUERY), "STORAGE_PROPERTY_QUERY");
static_assert(offsetof(disk::StorageDeviceDescriptor, ProductIdOffset) ==
                  offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset),
              "ProductIdOffset");
static_assert(sizeof(disk::SetPartitionInformationEx) == sizeof(SET_PARTITION_INFORMATION_EX),
              "SET_PARTITION_INFORMATION_EX");
static_assert(sizeof(disk::DeviceSeekPenaltyDescriptor) == sizeof(DEVICE_SEEK_PENALTY_DESCRIPTOR),
              "DEVICE_SEEK_PENALTY_DESCRIPTOR");
static_assert(offsetof(disk::DeviceSeekPenaltyDescriptor, IncursSeekPenalty) ==
                  offsetof(DEVICE_SEEK_PENALTY_DESCRIPTOR, IncursSeekPenalty),
              "IncursSeekPenalty");
static_assert(sizeof(disk::DeviceTrimDescriptor) == sizeof(DEVICE_TRIM_DESCRIPTOR), "DEVICE_TRIM_DESCRIPTOR");
static_assert(offsetof(disk::DeviceTrimDescriptor, TrimEnabled) == offsetof(DEVICE_TRIM_DESCRIPTOR, TrimEnabled),
              "TrimEnabled");
static_assert(disk::kStorageDeviceSeekPenaltyProperty == StorageDeviceSeekPenaltyProperty, "property id");
static_assert(disk::kStorageDeviceTrimProperty == StorageDeviceTrimProperty, "property id");
static_assert(disk::kIoctlStorageGetDeviceNumber == IOCTL_STORAGE_GET_DEVICE_NUMBER, "code");
static_assert(disk::kIoctlStorageQueryProperty == IOCTL_STORAGE_QUERY_PROPERTY, "code");
static_assert(disk::kIoctlDiskGetDriveGeometryEx == IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, "code");
static_assert(disk::kIoctlDiskGetDriveLayoutEx == IOCTL_DISK_GET_DRIVE_LAYOUT_EX, "code");
static_assert(disk::kIoctlDiskSetPartitionInfoEx == IOCTL_DISK_SET_PARTITION_INFO_EX, "code");
static_assert(disk::kIoctlDiskSetDriveLayoutEx == IOCTL_DISK_SET_DRIVE_LAYOUT_EX, "code");

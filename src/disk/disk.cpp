#include "disk/disk.h"

#include <memory>

#include "disk/part_identity.h"

namespace {
std::unique_ptr<TDisk> g_disk;
}  // namespace

const os::Guid kGuidDevInterfaceVolume = {0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
const os::Guid kGuidDevInterfaceHiddenVolume = {
    0x7F108A28, 0x9833, 0x4B3B, {0xB7, 0x80, 0x2C, 0x6B, 0x5F, 0xA5, 0xC0, 0x62}};

TDisk& GetDisk() {
  if (!g_disk) g_disk = std::make_unique<TDisk>();
  return *g_disk;
}

void ReleaseDisk() { g_disk.reset(); }

std::string PhysicalDrivePath(int32_t diskNum) {
  if (diskNum < kFirstDriveNumber || diskNum > kLastDriveNumber) return "";
  return "\\\\.\\PhysicalDrive" + std::to_string(diskNum);
}

std::string VolumePath(char letter) { return std::string("\\\\?\\") + letter + ":"; }

bool IsRapidStartPart(int32_t partitionStyle, const _PartInfo& part) {
  if (partitionStyle == kPartitionStyleGpt)
    return part.Gpt.PartitionType == disk::RapidStartGptType();
  return part.Mbr.PartitionType == disk::RapidStartIdentity().MbrType;
}

void TDriveLetterMap::Add(char letter, uint32_t diskNum, uint32_t partNum) {
  if (letter < 'A' || letter > 'Z') return;
  Entry& e = Letters_[static_cast<std::size_t>(letter - 'A')];
  e.Used = true;
  e.DiskNum = diskNum;
  e.PartNum = partNum;
}

char TDriveLetterMap::Find(int32_t diskNum, int32_t partNum) const {
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    const Entry& e = Letters_[static_cast<std::size_t>(letter - 'A')];
    if (e.Used && static_cast<int64_t>(e.DiskNum) == diskNum && static_cast<int64_t>(e.PartNum) == partNum)
      return letter;
  }
  return kNoDriveLetter;
}

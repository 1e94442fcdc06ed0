// Partition operations of the main window that bypass diskpart: mark a
// partition as the Rapid Start partition, delete a partition, and predict the
// number the next new partition will get. They read the disk model and never
// change it; the next scan shows their effect.
#include "disk/part_identity.h"
#include "shell/log_kv.h"
#include "shell/os_version.h"
#include "ui/main_form.h"

namespace {

bool IsGpt(const _DiskInfo& info) { return info.PartitionStyle == static_cast<int32_t>(disk::kStyleGpt); }

// A disk whose layout could not be read has unknown partition numbers: any
// number could name a data partition, so nothing is edited on it.
bool RefuseUnknownLayout(const _DiskInfo& info) {
  if (info.PartitionStyle != kPartitionStyleUnknown) return false;
  LogLine("PartitionStyle=Unknown (layout could not be read), nothing changed");
  return true;
}

bool UsesPartNum(const _DiskInfo& info, int32_t n) {
  const uint32_t parts = StoredPartCount(info);
  for (uint32_t j = 0; j < parts; ++j)
    if (info.PartInfo[j].PartNum == n) return true;
  return false;
}

}  // namespace

void TMainForm::SetRapidStartPartIdUseIo(int32_t diskNum, int32_t partNum) {
  LogOperation("SetRapidStartPartIdUseIo", diskNum, partNum);
  for (int32_t d = 0; d < DiskCount; ++d) {
    const _DiskInfo& info = DiskInfo[d];
    if (info.DiskNum != diskNum || RefuseUnknownLayout(info)) continue;
    if (IsGpt(info))
      GetDisk().SetGptPartitionType(diskNum, partNum, disk::RapidStartGptType());
    else
      GetDisk().SetMbrPartitionType(diskNum, partNum, disk::kRapidStartMbrType);
  }
}

void TMainForm::DeletePartitionUseIo(int32_t diskNum, int32_t partNum) {
  LogOperation("DeletePartitionUseIo", diskNum, partNum);
  for (int32_t d = 0; d < DiskCount; ++d) {
    const _DiskInfo& info = DiskInfo[d];
    if (info.DiskNum != diskNum || RefuseUnknownLayout(info)) continue;
    if (IsGpt(info))
      GetDisk().DeleteGptPartition(diskNum, partNum);
    else
      GetDisk().DeletePartition(diskNum, partNum);
  }
}

int32_t TMainForm::GetNewPartitionNumber(int32_t diskIndex) {
  LogHeading("GetNewPartitionNumber");
  LogKv("DiskIndex", diskIndex);
  int32_t n = -1;
  if (diskIndex >= 0 && diskIndex < DiskCount && DiskInfo[diskIndex].PartitionStyle != kPartitionStyleUnknown) {
    const _DiskInfo& info = DiskInfo[diskIndex];
    n = 1;
    while (UsesPartNum(info, n)) ++n;
    // Outside the I/O families a new partition on a GPT disk never gets number
    // 1, and it must not be predicted onto a partition that exists: the type
    // script that follows would select and re-type that one.
    if (!UsesDirectIo(GetOsVersion().OsFamily) && IsGpt(info) && n == 1) {
      n = 2;
      while (UsesPartNum(info, n)) ++n;
    }
  }
  LogKv("NewPartNum", n);
  return n;
}

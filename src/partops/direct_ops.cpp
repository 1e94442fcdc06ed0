#include "partops/direct_ops.h"

#include "disk/part_identity.h"
#include "shell/log_kv.h"
#include "shell/os_version.h"

namespace {

bool IsGpt(const _DiskInfo& info) { return info.PartitionStyle == kPartitionStyleGpt; }

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

void SetRapidStartPartIdUseIo(const TDiskModel& model, int32_t diskNum, int32_t partNum) {
  LogOperation("SetRapidStartPartIdUseIo", diskNum, partNum);
  for (int32_t d = 0; d < model.DiskCount; ++d) {
    const _DiskInfo& info = model.DiskInfo[d];
    if (info.DiskNum != diskNum || RefuseUnknownLayout(info)) continue;
    if (IsGpt(info))
      GetDisk().SetGptPartitionType(diskNum, partNum, disk::RapidStartGptType());
    else
      GetDisk().SetMbrPartitionType(diskNum, partNum, disk::kRapidStartMbrType);
  }
}

void DeletePartitionUseIo(const TDiskModel& model, int32_t diskNum, int32_t partNum) {
  LogOperation("DeletePartitionUseIo", diskNum, partNum);
  for (int32_t d = 0; d < model.DiskCount; ++d) {
    const _DiskInfo& info = model.DiskInfo[d];
    if (info.DiskNum != diskNum || RefuseUnknownLayout(info)) continue;
    if (IsGpt(info))
      GetDisk().DeleteGptPartition(diskNum, partNum);
    else
      GetDisk().DeletePartition(diskNum, partNum);
  }
}

int32_t GetNewPartitionNumber(const TDiskModel& model, int32_t diskIndex, int32_t osFamily) {
  LogHeading("GetNewPartitionNumber");
  LogKv("DiskIndex", diskIndex);
  int32_t n = -1;
  const _DiskInfo* target = model.Disk(diskIndex);
  if (target && target->PartitionStyle != kPartitionStyleUnknown) {
    const _DiskInfo& info = *target;
    n = 1;
    while (UsesPartNum(info, n)) ++n;
    // Outside the I/O families a new partition on a GPT disk never gets number
    // 1, and it must not be predicted onto a partition that exists: the type
    // script that follows would select and re-type that one.
    if (!UsesDirectIo(osFamily) && IsGpt(info) && n == 1) {
      n = 2;
      while (UsesPartNum(info, n)) ++n;
    }
  }
  LogKv("NewPartNum", n);
  return n;
}

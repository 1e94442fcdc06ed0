#include "disk/disk_model.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "disk/part_identity.h"
#include "shell/log_kv.h"

namespace {

void LogPartition(int32_t partitionStyle, int32_t j, const _PartInfo& part) {
  LogKv("PartIndex", j, kAttrPartition);
  LogKv("PartNum", part.PartNum);
  LogKv("PartDriveLetter", part.PartDriveLetter);
  if (partitionStyle == static_cast<int32_t>(disk::kStyleGpt)) {
    LogKv("PartId", disk::FormatGuidText(part.Gpt.PartitionType));
  } else {
    LogKv("PartBootable", part.Mbr.BootIndicator != 0);
    LogKv("PartId", HexByteText(part.Mbr.PartitionType));
  }
  LogKv("PartLen", SizeMbText(part.PartLen));
  LogKv("PartOffset", SizeMbText(part.PartOffset));
}

void LogDisk(int32_t d, const _DiskInfo& info) {
  LogKv("DiskIndex", d, kAttrHeading);
  LogKv("DiskNum", info.DiskNum);
  LogLine(std::string("MediaKind=") + MediaKindText(info.MediaKind));
  switch (info.PartitionStyle) {
    case static_cast<int32_t>(disk::kStyleGpt): LogLine("PartitionStyle=GPT"); break;
    case static_cast<int32_t>(disk::kStyleMbr): LogLine("PartitionStyle=MBR"); break;
    case static_cast<int32_t>(disk::kStyleRaw): LogLine("PartitionStyle=RAW"); break;
    case kPartitionStyleUnknown: LogLine("PartitionStyle=Unknown (layout could not be read)"); break;
    default: break;
  }
  LogKv("PartCount", info.PartCount);
  const uint32_t parts = StoredPartCount(info);
  for (uint32_t j = 0; j < parts; ++j) LogPartition(info.PartitionStyle, static_cast<int32_t>(j), info.PartInfo[j]);
}

}  // namespace

bool TDiskModel::ScanDisks() {
  // The drive letters are read once for the whole scan rather than once per
  // partition; the letters found and their precedence are the same.
  DiskCount = GetDisk().ReadFixedDisks(DiskInfo, kMaxDisks, TLetterLookup::OncePerScan);
  for (int32_t d = 0; d < DiskCount; ++d) LogDisk(d, DiskInfo[d]);
  return true;
}

bool TDiskModel::FindRapidStartPart() {
  RapidStartDiskIndex = -1;
  RapidStartPartIndex = -1;
  for (int32_t d = 0; d < DiskCount && RapidStartDiskIndex < 0; ++d) {
    const _DiskInfo& info = DiskInfo[d];
    const uint32_t parts = StoredPartCount(info);
    for (uint32_t j = 0; j < parts; ++j) {
      if (IsRapidStartPart(info.PartitionStyle, info.PartInfo[j])) {
        RapidStartDiskIndex = d;
        RapidStartPartIndex = static_cast<int32_t>(j);
        break;
      }
    }
  }
  LogKv("RapidStartDiskIndex", RapidStartDiskIndex);
  LogKv("RapidStartPartIndex", RapidStartPartIndex);
  return RapidStartDiskIndex >= 0;
}

const _PartInfo* TDiskModel::RapidStartPart() const {
  if (RapidStartDiskIndex < 0 || RapidStartDiskIndex >= DiskCount) return nullptr;
  const _DiskInfo& info = DiskInfo[RapidStartDiskIndex];
  if (RapidStartPartIndex < 0 || static_cast<uint32_t>(RapidStartPartIndex) >= StoredPartCount(info)) return nullptr;
  return &info.PartInfo[RapidStartPartIndex];
}

const _DiskInfo* TDiskModel::Disk(int32_t diskIndex) const {
  return diskIndex >= 0 && diskIndex < DiskCount ? &DiskInfo[diskIndex] : nullptr;
}

uint64_t LargestFreeExtent(const _DiskInfo& disk, uint64_t diskSize) {
  if (disk.PartitionStyle == kPartitionStyleUnknown) return 0;
  constexpr uint64_t kGptBackupBytes = 33 * 512;  // the backup entries and header behind the last usable sector
  const uint64_t end = disk.PartitionStyle == 1 && diskSize > kGptBackupBytes ? diskSize - kGptBackupBytes : diskSize;
  std::vector<std::pair<uint64_t, uint64_t>> used;  // [start, end) of each partition
  for (uint32_t j = 0; j < StoredPartCount(disk); ++j)
    used.emplace_back(disk.PartInfo[j].PartOffset, disk.PartInfo[j].PartOffset + disk.PartInfo[j].PartLen);
  std::sort(used.begin(), used.end());
  uint64_t largest = 0;
  uint64_t from = kBytesPerMb;
  const auto gapTo = [&](uint64_t to) {
    const uint64_t aligned = (from + kBytesPerMb - 1) / kBytesPerMb * kBytesPerMb;
    if (to > aligned) largest = std::max(largest, to - aligned);
  };
  for (const auto& [start, stop] : used) {
    gapTo(std::min(start, end));
    from = std::max(from, stop);
  }
  gapTo(end);
  return largest;
}

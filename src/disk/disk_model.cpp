#include "disk/disk_model.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "disk/part_identity.h"
#include "shell/log_kv.h"

namespace {

void LogPartition(int32_t partitionStyle, int32_t j, const _PartInfo& part) {
  LogKv("PartIndex", j, kAttrPartition);
  LogKv("PartNum", part.PartNum);
  LogKv("PartDriveLetter", part.PartDriveLetter);
  if (partitionStyle == kPartitionStyleGpt) {
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
  if (const char* style = PartitionStyleText(info.PartitionStyle))
    LogLine(std::string("PartitionStyle=") + style);
  else if (info.PartitionStyle == kPartitionStyleUnknown)
    LogLine("PartitionStyle=Unknown (layout could not be read)");
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
  // The backup table at a GPT disk's end: 33 sectors of 512 bytes, or 6 of 4096.
  constexpr uint64_t kGptBackupBytes = 6 * 4096;
  std::vector<std::pair<uint64_t, uint64_t>> used;  // [start, end) of each partition
  for (uint32_t j = 0; j < StoredPartCount(disk); ++j) {
    const _PartInfo& p = disk.PartInfo[j];
    // A length beyond the numbers' end is cut there.
    used.emplace_back(p.PartOffset, p.PartOffset + std::min(p.PartLen, std::numeric_limits<uint64_t>::max() - p.PartOffset));
  }
  std::sort(used.begin(), used.end());
  const uint64_t end = disk.PartitionStyle == kPartitionStyleGpt ? diskSize - std::min(diskSize, kGptBackupBytes) : diskSize;
  uint64_t largest = 0;
  const auto stretch = [&largest](uint64_t from, uint64_t to) {
    if (from >= to) return;  // also keeps the rounding below from passing the numbers' end
    from = (from + kBytesPerMb - 1) / kBytesPerMb * kBytesPerMb;
    if (to > from) largest = std::max(largest, (to - from) / kBytesPerMb * kBytesPerMb);
  };
  uint64_t at = kBytesPerMb;
  for (const auto& [start, stop] : used) {
    stretch(at, std::min(start, end));
    at = std::max(at, stop);
  }
  stretch(at, end);
  return largest;
}

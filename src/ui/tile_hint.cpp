#include "ui/tile_hint.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

namespace {

constexpr char kDot[] = " \xB7 ";  // the middle dot of code page 1252
constexpr uint64_t kBytesPerGb = 1024 * kBytesPerMb;
constexpr uint64_t kBytesPerTb = 1024 * kBytesPerGb;
// diskpart starts a partition on a 1 MB boundary and makes it whole MB long;
// the first MB holds the partition table.
constexpr uint64_t kAlignment = kBytesPerMb;
// The backup table at a GPT disk's end: 33 sectors of 512 bytes, or 6 of 4096.
constexpr uint64_t kGptBackupBytes = 6 * 4096;

uint64_t Rounded(uint64_t bytes, uint64_t unit) { return bytes / unit + (bytes % unit >= unit / 2 ? 1 : 0); }

// The largest partition, in whole MB, that fits into one stretch of the disk
// that no partition covers. A Create puts its partition into one stretch, so
// this, not the sum of them, is the room it has. Logical drives are
// partitions of the model and the extended partition around them is not, so
// room left inside it counts too: a Create makes a logical partition there.
uint64_t LargestFreeBytes(const _DiskInfo& disk) {
  std::vector<std::pair<uint64_t, uint64_t>> used;  // start, end
  for (uint32_t j = 0; j < StoredPartCount(disk); ++j) {
    const _PartInfo& p = disk.PartInfo[j];
    // A length beyond the numbers' end is cut there.
    used.emplace_back(p.PartOffset, p.PartOffset + std::min(p.PartLen, std::numeric_limits<uint64_t>::max() - p.PartOffset));
  }
  std::sort(used.begin(), used.end());
  const bool gpt = disk.PartitionStyle == static_cast<int32_t>(disk::kStyleGpt);
  const uint64_t end = gpt ? disk.DiskSize - std::min(disk.DiskSize, kGptBackupBytes) : disk.DiskSize;
  uint64_t largest = 0;
  const auto stretch = [&largest](uint64_t from, uint64_t to) {
    if (from >= to) return;
    from = (from + kAlignment - 1) / kAlignment * kAlignment;
    if (to > from) largest = std::max(largest, (to - from) / kAlignment * kAlignment);
  };
  uint64_t at = kAlignment;
  for (const auto& [start, stop] : used) {
    stretch(at, std::min(start, end));
    at = std::max(at, stop);
  }
  stretch(at, end);
  return largest;
}

const char* StyleText(int32_t style) {
  switch (style) {
    case static_cast<int32_t>(disk::kStyleMbr): return "MBR";
    case static_cast<int32_t>(disk::kStyleGpt): return "GPT";
    case static_cast<int32_t>(disk::kStyleRaw): return "RAW";
    default: return nullptr;  // the layout could not be read
  }
}

}  // namespace

std::string SizeText(uint64_t bytes) {
  const uint64_t mb = Rounded(bytes, kBytesPerMb);
  if (mb < 1024) return std::to_string(mb) + " MB";
  const uint64_t gb = Rounded(bytes, kBytesPerGb);
  if (gb < 1024) return std::to_string(gb) + " GB";
  // Whole TB and the rest apart: ten times the whole size could overflow.
  const uint64_t tenths = bytes / kBytesPerTb * 10 + Rounded(bytes % kBytesPerTb * 10, kBytesPerTb);
  return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "") + " TB";
}

std::string DiskTileHint(int32_t diskIndex, const std::string& product, const _DiskInfo& disk,
                         const _PartInfo* rapidStart) {
  std::string facts = "Windows disk " + std::to_string(disk.DiskNum);
  auto add = [&facts](const std::string& fact) { facts += kDot + fact; };
  const char* style = StyleText(disk.PartitionStyle);
  if (disk.DiskSize) add(SizeText(disk.DiskSize));
  if (style) add(style);
  if (disk.MediaKind != TMediaKind::Unknown) add(MediaKindText(disk.MediaKind));
  if (disk.DiskSize && style) add(SizeText(LargestFreeBytes(disk)) + " free");
  if (rapidStart) add("Rapid Start partition: " + SizeText(rapidStart->PartLen));
  return "Disk " + std::to_string(diskIndex) + ": " + product + "\r\n" + facts;
}

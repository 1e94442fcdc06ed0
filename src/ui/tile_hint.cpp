#include "ui/tile_hint.h"

#include "disk/disk_model.h"


namespace {

constexpr char kDot[] = " \xB7 ";  // the middle dot of code page 1252
constexpr uint64_t kBytesPerGb = 1024 * kBytesPerMb;
constexpr uint64_t kBytesPerTb = 1024 * kBytesPerGb;

uint64_t Rounded(uint64_t bytes, uint64_t unit) { return bytes / unit + (bytes % unit >= unit / 2 ? 1 : 0); }

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
  const char* style = PartitionStyleText(disk.PartitionStyle);
  if (disk.DiskSize) add(SizeText(disk.DiskSize));
  if (style) add(style);
  if (disk.MediaKind != TMediaKind::Unknown) add(MediaKindText(disk.MediaKind));
  if (disk.DiskSize && style) add(SizeText(LargestFreeExtent(disk, disk.DiskSize)) + " free");
  if (rapidStart) add("Rapid Start partition: " + SizeText(rapidStart->PartLen));
  return "Disk " + std::to_string(diskIndex) + ": " + product + "\r\n" + facts;
}

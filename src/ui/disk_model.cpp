// The main window's disk model: which fixed disks the machine has, how each
// is partitioned, and where the Rapid Start partition is.
//
// ScanDisks replaces the model from the drivers and writes it to the log;
// FindRapidStartPart derives the two Rapid Start indices from it. They always
// run as a pair, ScanDisks first.
#include "disk/part_identity.h"
#include "shell/log_kv.h"
#include "ui/main_form.h"

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

bool TMainForm::ScanDisks() {
  // The drive letters are read once for the whole scan rather than once per
  // partition; the letters found and their precedence are the same.
  DiskCount = GetDisk().ReadFixedDisks(DiskInfo, kMaxDisks, TLetterLookup::OncePerScan);
  for (int32_t d = 0; d < DiskCount; ++d) LogDisk(d, DiskInfo[d]);
  return true;
}

bool TMainForm::FindRapidStartPart() {
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

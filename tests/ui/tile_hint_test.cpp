// What a disk tile's hint says of its disk, and how sizes are written.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/tile_hint.h"

namespace {

constexpr uint64_t kMiB = kBytesPerMb, kGiB = 1024 * kMiB, kTiB = 1024 * kGiB;
constexpr int32_t kMbr = 0, kGpt = 1, kRaw = 2;

TEST(TileHint, SizesRoundToTheNearestUnit) {
  const std::pair<uint64_t, const char*> rows[] = {
      {0, "0 MB"},
      {kMiB / 2, "1 MB"},
      {1023 * kMiB, "1023 MB"},
      {1023 * kMiB + kMiB / 2, "1 GB"},  // 1024 MB is written as 1 GB
      {kGiB + kGiB / 2, "2 GB"},
      {1023 * kGiB + kGiB / 2, "1 TB"},
      {2000398934016ull, "1.8 TB"},  // a "2 TB" drive
      {2 * kTiB - kTiB / 20, "2 TB"},
  };
  for (const auto& [bytes, text] : rows) EXPECT_EQ(SizeText(bytes), text) << bytes;
}

struct Part {
  uint64_t offset, length;
};

TEST(TileHint, SecondLineTellsWhatTheModelKnows) {
  const struct {
    const char* name;
    int32_t style;
    TMediaKind media;
    uint64_t size;
    std::vector<Part> parts;
    uint64_t rapidStart;  // the length of the Rapid Start partition on it; 0: none
    const char* facts;
  } rows[] = {
      {"full GPT SSD", kGpt, TMediaKind::Ssd, 256 * kGiB, {{kMiB, 100 * kMiB}, {101 * kMiB, 256 * kGiB - 101 * kMiB}}, 0,
       "Windows disk 3 \xB7 256 GB \xB7 GPT \xB7 SSD \xB7 0 MB free"},
      // Two gaps, 200 and 324 GB: a Create can use one of them, not their sum.
      {"the largest gap, not the sum", kMbr, TMediaKind::Hdd, kTiB, {{kMiB, 200 * kGiB}, {400 * kGiB, 300 * kGiB}}, 0,
       "Windows disk 3 \xB7 1 TB \xB7 MBR \xB7 HDD \xB7 324 GB free"},
      {"partitions in any order", kMbr, TMediaKind::Ssd, kTiB, {{400 * kGiB, 300 * kGiB}, {kMiB, 200 * kGiB}}, 0,
       "Windows disk 3 \xB7 1 TB \xB7 MBR \xB7 SSD \xB7 324 GB free"},
      {"a few MB left", kMbr, TMediaKind::Ssd, kTiB, {{kMiB, kTiB - 3 * kMiB}}, 0,
       "Windows disk 3 \xB7 1 TB \xB7 MBR \xB7 SSD \xB7 2 MB free"},
      // The last MB of a GPT disk holds its backup table: no partition fits there.
      {"a full GPT disk", kGpt, TMediaKind::Ssd, kTiB, {{kMiB, kTiB - 2 * kMiB}}, 0,
       "Windows disk 3 \xB7 1 TB \xB7 GPT \xB7 SSD \xB7 0 MB free"},
      // A partition starts on a MB boundary: 1.5 MB from an odd place holds 1 MB.
      {"an unaligned gap", kMbr, TMediaKind::Ssd, 64 * kGiB,
       {{kMiB, 10 * kGiB - kMiB / 2}, {10 * kGiB + 2 * kMiB, 54 * kGiB - 2 * kMiB}}, 0,
       "Windows disk 3 \xB7 64 GB \xB7 MBR \xB7 SSD \xB7 1 MB free"},
      // The first MB holds the partition table.
      {"blank disk", kRaw, TMediaKind::Unknown, 128 * kGiB, {}, 0, "Windows disk 3 \xB7 128 GB \xB7 RAW \xB7 128 GB free"},
      {"layout unreadable", kPartitionStyleUnknown, TMediaKind::Ssd, 64 * kGiB, {}, 0, "Windows disk 3 \xB7 64 GB \xB7 SSD"},
      {"size unknown", kMbr, TMediaKind::Hdd, 0, {{kMiB, kGiB}}, 0, "Windows disk 3 \xB7 MBR \xB7 HDD"},
      {"holds the Rapid Start partition", kMbr, TMediaKind::Ssd, 128 * kGiB,
       {{kMiB, 100 * kGiB}, {100 * kGiB + kMiB, 4096 * kMiB}}, 4096 * kMiB,
       "Windows disk 3 \xB7 128 GB \xB7 MBR \xB7 SSD \xB7 24 GB free \xB7 Rapid Start partition: 4 GB"},
      {"a partition claiming to run past the end", kMbr, TMediaKind::Hdd, 64 * kGiB, {{kGiB, ~0ull}}, 0,
       "Windows disk 3 \xB7 64 GB \xB7 MBR \xB7 HDD \xB7 1023 MB free"},
  };
  for (const auto& r : rows) {
    auto disk = std::make_unique<_DiskInfo>();
    disk->DiskNum = 3;
    disk->PartitionStyle = r.style;
    disk->MediaKind = r.media;
    disk->DiskSize = r.size;
    for (const Part& p : r.parts) {
      _PartInfo& part = disk->PartInfo[disk->PartCount++];
      part.PartOffset = p.offset;
      part.PartLen = p.length;
    }
    const _PartInfo* rapidStart = r.rapidStart ? &disk->PartInfo[disk->PartCount - 1] : nullptr;
    EXPECT_EQ(DiskTileHint(1, "Product  ", *disk, rapidStart), std::string("Disk 1: Product  \r\n") + r.facts)
        << r.name;
  }
}

}  // namespace

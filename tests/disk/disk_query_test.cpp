// The read-only side of TDisk against the simulated driver: device calls,
// device type and media, drive letters, disk records and product texts.
#include <functional>
#include <memory>

#include "disk_test_util.h"

namespace {

using namespace disktest;

class DiskQuery : public DiskTest {};

TEST_F(DiskQuery, EveryDeviceCallOpensOnceRequestsOnceAndCloses) {
  SimDrive& d = pc.Disks.AddMbrDisk(0);
  d.AddPrimary(0x07, kMiB, 10 * kGiB);
  pc.Disks.AddVolume(0, 1, 'C');
  TDisk& disk = GetDisk();
  const std::string drive = PhysicalDrivePath(0);
  struct Row {
    const char* name;
    uint32_t code;
    std::function<bool()> call;
  };
  const Row rows[] = {
      {"GetDeviceNumber", disk::kIoctlStorageGetDeviceNumber,
       [&] { disk::StorageDeviceNumber n{}; return disk.GetDeviceNumber(drive, n); }},
      {"GetDriveGeometry", disk::kIoctlDiskGetDriveGeometryEx,
       [&] { disk::DiskGeometryEx g{}; return disk.GetDriveGeometry(drive, g); }},
      {"GetDriveLayout", disk::kIoctlDiskGetDriveLayoutEx,
       [&] {
         auto b = std::make_unique<disk::DriveLayoutBuffer>();
         return disk.GetDriveLayout(drive, b.get(), disk::kLayoutBufferBytes);
       }},
      {"GetDeviceDescriptor", disk::kIoctlStorageQueryProperty,
       [&] { uint8_t b[551] = {}; uint32_t n = 0; return disk.GetDeviceDescriptor(drive, b, sizeof b, n); }},
  };
  for (const Row& r : rows) {
    for (bool refused : {false, true}) {
      if (refused) pc.FailNth(Call::DeviceIoControl, 1, os::kErrorGenFailure);
      const Counts before = Snapshot();
      EXPECT_EQ(r.call(), !refused) << r.name;
      const Counts after = Snapshot();
      EXPECT_EQ(after.opens - before.opens, 1) << r.name;
      EXPECT_EQ(after.requests - before.requests, 1) << r.name;
      EXPECT_EQ(after.closes - before.closes, 1) << r.name;
      EXPECT_EQ(DeviceHandlesOpen(), 0) << r.name;
      const SimDeviceOpen& open = pc.Disks.Opens.back();
      EXPECT_EQ(open.Path, drive);
      EXPECT_EQ(open.Access, os::kGenericRead) << r.name;
      EXPECT_EQ(open.Share, os::kFileShareRead | os::kFileShareWrite) << r.name;
      EXPECT_EQ(open.Disposition, os::kOpenExisting) << r.name;
      EXPECT_EQ(open.Flags, 0u) << r.name;
      if (!refused) {
        EXPECT_EQ(pc.Disks.Requests.back().Code, r.code) << r.name;
      }
    }
  }
  // The property query asks for the standard device descriptor.
  for (const SimIoRequest& r : pc.Disks.Requests) {
    if (r.Code == disk::kIoctlStorageQueryProperty) {
      EXPECT_EQ(r.Input, std::vector<uint8_t>(12, 0));
    }
  }
  // A failed open makes no request and leaves nothing to close.
  const Counts before = Snapshot();
  disk::StorageDeviceNumber n{};
  EXPECT_FALSE(disk.GetDeviceNumber(PhysicalDrivePath(9), n));
  const Counts after = Snapshot();
  EXPECT_EQ(after.opens - before.opens, 1);
  EXPECT_EQ(after.requests - before.requests, 0);
  EXPECT_EQ(after.closes - before.closes, 0);
  // An out-of-range number is never opened at all.
  EXPECT_EQ(disk.GetDiskDeviceType(64), disk::kFileDeviceUnknown);
  EXPECT_EQ(disk.GetDiskMediaType(-1), disk::kMediaUnknown);
  EXPECT_EQ(Snapshot().opens, after.opens);
}

TEST_F(DiskQuery, DeviceTypeAndMediaOfEachKindOfDrive) {
  pc.Disks.AddMbrDisk(0);
  pc.Disks.AddUsbFlash(1);
  pc.Disks.AddOtherDevice(2, disk::kFileDeviceCdRom);
  pc.Disks.AddMbrDisk(3).GeometryError = os::kErrorNotReady;  // a reader without media
  struct Row {
    int32_t drive;
    uint32_t type;
    uint32_t media;
  };
  const Row rows[] = {
      {0, disk::kFileDeviceDisk, disk::kMediaFixed},
      {1, disk::kFileDeviceDisk, disk::kMediaRemovable},
      {2, disk::kFileDeviceCdRom, disk::kMediaRemovable},
      {3, disk::kFileDeviceDisk, disk::kMediaUnknown},
      {4, disk::kFileDeviceUnknown, disk::kMediaUnknown},  // absent
  };
  for (const Row& r : rows) {
    EXPECT_EQ(GetDisk().GetDiskDeviceType(r.drive), r.type) << r.drive;
    EXPECT_EQ(GetDisk().GetDiskMediaType(r.drive), r.media) << r.drive;
  }
  // Without administrator rights every drive looks absent.
  pc.Disks.Elevated = false;
  EXPECT_EQ(GetDisk().GetDiskDeviceType(0), disk::kFileDeviceUnknown);
  EXPECT_EQ(GetDisk().GetDiskMediaType(0), disk::kMediaUnknown);
}

class DriveLetters : public DiskTest {
 protected:
  DriveLetters() {
    SimDrive& d = pc.Disks.AddMbrDisk(0);
    for (int p = 0; p < 4; ++p) d.AddPrimary(0x07, kMiB + p * 10 * kGiB, 5 * kGiB);
    pc.Disks.AddVolume(0, 1, 'C');
    pc.Disks.AddVolume(0, 2, 'K');
    pc.Disks.AddVolume(0, 2, 'F');  // two letters on one partition: C..Z order decides
    pc.Disks.AddHiddenVolume(0, 3);
    pc.Disks.AddVolume(0, 4, 'A');  // A: and B: are never examined
    pc.Disks.AddUsbFlash(1).AddPrimary(0x0C, kMiB, 4 * kGiB);
    pc.Disks.AddVolume(1, 1, 'E');  // a removable medium's letter
    pc.Disks.ForeignLetters = 1u << ('Z' - 'A');  // a network letter: no volume behind it
  }
};

TEST_F(DriveLetters, OnlyFixedVolumesFromCToZAnswerAndTheLowestLetterWins) {
  struct Row {
    int32_t disk, part;
    char letter;
  };
  const Row rows[] = {{0, 1, 'C'}, {0, 2, 'F'}, {0, 3, ' '}, {0, 4, ' '}, {1, 1, ' '}, {0, 5, ' '}, {2, 1, ' '}};
  const TDriveLetterMap map = GetDisk().ReadDriveLetterMap();
  for (const Row& r : rows) {
    EXPECT_EQ(GetDisk().GetPartDriveLetter(r.disk, r.part), r.letter) << r.disk << "/" << r.part;
    EXPECT_EQ(map.Find(r.disk, r.part), r.letter) << r.disk << "/" << r.part;
  }
  for (const SimDeviceOpen& open : pc.Disks.Opens) EXPECT_NE(open.Path, "\\\\?\\A:");
  EXPECT_EQ(DeviceHandlesOpen(), 0);
}

class DiskInfoRead : public DiskTest {
 protected:
  _DiskInfo* Fresh() {
    record_ = std::make_unique<_DiskInfo>();
    return record_.get();
  }
  std::unique_ptr<_DiskInfo> record_;
};

TEST_F(DiskInfoRead, MbrSkipsEmptySlotsAndContainersAndKeepsLayoutNumbers) {
  SimDrive& d = pc.Disks.AddMbrDisk(2);
  d.AddPrimary(0x07, kMiB, 8589934592ull, true, 1);  // slot 0 stays empty
  d.AddExtended(20 * kGiB, 100 * kGiB, 2);
  d.AddLogical(0x84, 20 * kGiB + kMiB, 8 * kGiB);
  d.AddLogical(0x0C, 40 * kGiB, 4 * kGiB);
  d.FindPartition(3)->Number = 7;  // numbers may skip values
  pc.Disks.AddVolume(2, 1, 'D');
  pc.Disks.AddHiddenVolume(2, 2);

  _DiskInfo& r = *Fresh();
  ASSERT_TRUE(GetDisk().GetDiskInfo(r, 2));
  EXPECT_EQ(r.DiskNum, 2);
  EXPECT_EQ(r.PartitionStyle, 0);
  ASSERT_EQ(r.PartCount, 3u);
  struct Row {
    int32_t num;
    char letter;
    uint64_t offset, len;
    uint8_t type, boot;
  };
  const Row rows[] = {{1, 'D', kMiB, 8589934592ull, 0x07, 1},
                      {2, ' ', 20 * kGiB + kMiB, 8 * kGiB, 0x84, 0},
                      {7, ' ', 40 * kGiB, 4 * kGiB, 0x0C, 0}};
  for (uint32_t j = 0; j < 3; ++j) {
    const _PartInfo& p = r.PartInfo[j];
    EXPECT_EQ(p.DiskNum, 2);
    EXPECT_EQ(p.PartNum, rows[j].num);
    EXPECT_EQ(p.PartDriveLetter, rows[j].letter);
    EXPECT_EQ(p.PartOffset, rows[j].offset);
    EXPECT_EQ(p.PartLen, rows[j].len);
    EXPECT_EQ(p.Mbr.PartitionType, rows[j].type);
    EXPECT_EQ(p.Mbr.BootIndicator, rows[j].boot);
    EXPECT_EQ(p.Mbr.RecognizedPartition, 1);
  }
}

TEST_F(DiskInfoRead, GptCopiesTheGptMemberAndRawHasNoPartitions) {
  SimDrive& g = pc.Disks.AddGptDisk(0);
  g.AddGptPartition(EfiType(), kMiB, 100 * kMiB, u"EFI");
  g.AddGptPartition(RapidType(), 200 * kGiB, 8 * kGiB, u"Rapid Start").Attributes = 0x8000000000000001ull;
  pc.Disks.AddRawDisk(1);

  _DiskInfo& r = *Fresh();
  ASSERT_TRUE(GetDisk().GetDiskInfo(r, 0));
  EXPECT_EQ(r.PartitionStyle, 1);
  ASSERT_EQ(r.PartCount, 2u);
  EXPECT_EQ(r.PartInfo[1].Gpt.PartitionType, RapidType());
  EXPECT_EQ(r.PartInfo[1].Gpt.PartitionId, g.Layout[1].GptId);
  EXPECT_EQ(r.PartInfo[1].Gpt.Attributes, 0x8000000000000001ull);
  EXPECT_EQ(r.PartInfo[1].Gpt.Name[0], u'R');
  EXPECT_EQ(r.PartInfo[1].PartOffset, 200 * kGiB);

  ASSERT_TRUE(GetDisk().GetDiskInfo(r, 1));
  EXPECT_EQ(r.DiskNum, 1);
  EXPECT_EQ(r.PartitionStyle, 2);
  EXPECT_EQ(r.PartCount, 0u);
}

TEST_F(DiskInfoRead, StoresTheFirst128OfMoreNumberedEntries) {
  SimDrive& g = pc.Disks.AddGptDisk(0, 4096 * kGiB);
  for (int p = 0; p < 129; ++p) g.AddGptPartition(DataType(), kMiB + p * 10 * kGiB, kGiB);
  _DiskInfo& r = *Fresh();
  ASSERT_TRUE(GetDisk().GetDiskInfo(r, 0));
  EXPECT_EQ(r.PartCount, 128u);
  EXPECT_EQ(r.PartInfo[127].PartNum, 128);
  // 130 entries do not fit the 18624-byte buffer: the read fails.
  g.AddGptPartition(DataType(), 3000 * kGiB, kGiB);
  EXPECT_FALSE(GetDisk().GetDiskInfo(r, 0));
  EXPECT_EQ(pc.Disks.Requests.back().Error, os::kErrorInsufficientBuffer);
}

TEST_F(DiskInfoRead, RefusedLayoutLeavesTheRecordAndNoHandle) {
  SimDrive& d = pc.Disks.AddMbrDisk(0);
  d.AddPrimary(0x07, kMiB, kGiB);
  d.LayoutError = os::kErrorInvalidFunction;  // as Wine answers
  _DiskInfo& r = *Fresh();
  std::memset(&r, 0xA5, sizeof r);
  const std::vector<uint8_t> before(reinterpret_cast<uint8_t*>(&r), reinterpret_cast<uint8_t*>(&r) + sizeof r);
  EXPECT_FALSE(GetDisk().GetDiskInfo(r, 0));
  EXPECT_EQ(0, std::memcmp(before.data(), &r, sizeof r));
  EXPECT_EQ(DeviceHandlesOpen(), 0);
}

// Regression: a layout whose count claims more entries than the reply holds
// is read only as far as the reply goes.
TEST_F(DiskInfoRead, ClaimedCountBeyondTheReplyIsNeverReadPastIt) {
  SimDrive& small = pc.Disks.AddGptDisk(0);
  for (int p = 0; p < 3; ++p) small.AddGptPartition(DataType(), kMiB + p * 10 * kGiB, kGiB);
  small.ClaimedPartitionCount = 100000;
  SimDrive& full = pc.Disks.AddGptDisk(1, 4096 * kGiB);
  for (int p = 0; p < 129; ++p) full.AddGptPartition(DataType(), kMiB + p * 10 * kGiB, kGiB);
  full.ClaimedPartitionCount = 0xFFFFFFFF;

  _DiskInfo& r = *Fresh();
  ASSERT_TRUE(GetDisk().GetDiskInfo(r, 0));
  EXPECT_EQ(r.PartCount, 3u);
  ASSERT_TRUE(GetDisk().GetDiskInfo(r, 1));
  EXPECT_EQ(r.PartCount, 128u);
}

TEST_F(DiskInfoRead, LetterMapGivesTheSameRecordsWithFarFewerOpens) {
  BuildBusyPc(pc, 4, 8, 20);
  pc.Disks.AddUsbFlash(4).AddPrimary(0x0C, kMiB, kGiB);
  pc.Disks.AddVolume(4, 1, 'W');
  auto perPartition = std::make_unique<_DiskInfo[]>(kMaxDisks);
  auto oncePerScan = std::make_unique<_DiskInfo[]>(kMaxDisks);

  const int opens0 = pc.Count(Call::CreateFileA);
  const int32_t n1 = GetDisk().ReadFixedDisks(perPartition.get(), kMaxDisks, TLetterLookup::PerPartition);
  const int opens1 = pc.Count(Call::CreateFileA);
  const int32_t n2 = GetDisk().ReadFixedDisks(oncePerScan.get(), kMaxDisks, TLetterLookup::OncePerScan);
  const int opens2 = pc.Count(Call::CreateFileA);

  ASSERT_EQ(n1, 4);
  ASSERT_EQ(n2, 4);
  for (int d = 0; d < 4; ++d) ExpectSameDisk(perPartition[d], oncePerScan[d]);
  EXPECT_EQ(oncePerScan[2].PartInfo[3].PartDriveLetter, 'V');
  EXPECT_EQ(oncePerScan[2].PartInfo[4].PartDriveLetter, ' ');
  EXPECT_GE(opens1 - opens0, 5 * (opens2 - opens1));
}

struct ProductRow {
  const char* name;
  std::string product;
  int64_t offset;     // SimDescriptor::ProductOffset
  bool refused;       // the request fails
  std::string expected;
};

TEST_F(DiskQuery, ProductIdStopsAtZeroAtTheReplyEndAndNeverReadsPastTheBuffer) {
  const ProductRow rows[] = {
      {"plain", "ORV SSD 512GB", -1, false, "ORV SSD 512GB"},
      {"blank padding kept", "ORV HDD 2TB     ", -1, false, "ORV HDD 2TB     "},
      {"offset 0", "ignored", 0, false, ""},
      {"text cut by the buffer", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 540, false, "ABCDEFGHIJK"},
      {"last byte", "XY", 550, false, "X"},
      {"offset at the buffer end", "XY", 551, false, ""},  // regression
      {"offset past the buffer", "XY", 600, false, ""},    // regression
      {"refused", "ORV", -1, true, ""},
  };
  int n = 0;
  for (const ProductRow& r : rows) {
    SimDrive& d = pc.Disks.AddMbrDisk(n);
    d.Descriptor.Product = r.product;
    d.Descriptor.ProductOffset = r.offset;
    if (r.refused) pc.FailNth(Call::DeviceIoControl, 1, os::kErrorInvalidFunction);
    EXPECT_EQ(GetDisk().GetDiskProductId(n), r.expected) << r.name;
    ++n;
  }
  EXPECT_EQ(GetDisk().GetDiskProductId(n), "") << "absent drive";
  EXPECT_EQ(DeviceHandlesOpen(), 0);
}

}  // namespace

// The disk model: which drives are kept, the disk block of the log, and
// which partition is "the" Rapid Start partition.
#include <functional>
#include <memory>

#include "disk_test_util.h"
#include "partops/direct_ops.h"

namespace {

using namespace disktest;

class DiskModel : public DiskTest {
 protected:
  DiskModel() { EnableLog(); }
};

TEST_F(DiskModel, MixedPcLogsTheDiskBlockExactly) {
  BuildMixedPc(pc);
  auto model = NewModel();  // as the session builds it at start-up
  EXPECT_EQ(model->DiskCount, 2);
  EXPECT_EQ(model->RapidStartDiskIndex, 1);

  ClearLog();
  EXPECT_TRUE(model->ScanDisks());
  EXPECT_TRUE(model->FindRapidStartPart());
  const std::vector<LogLine> expected = {
      {14, "DiskIndex=0"},
      {7, "DiskNum=0"},
      {7, "MediaKind=SSD"},
      {7, "PartitionStyle=MBR"},
      {7, "PartCount=2"},
      {10, "PartIndex=0"},
      {7, "PartNum=1"},
      {7, "PartDriveLetter=C"},
      {7, "PartBootable=True"},
      {7, "PartId=0x07"},
      {7, "PartLen=8192MB (8589934592)"},
      {7, "PartOffset=1MB (1048576)"},
      {10, "PartIndex=1"},
      {7, "PartNum=2"},
      {7, "PartDriveLetter= "},
      {7, "PartBootable=False"},
      {7, "PartId=0x0C"},
      {7, "PartLen=20480MB (21475885055)"},  // MB truncated
      {7, "PartOffset=10240MB (10737418240)"},
      {14, "DiskIndex=1"},
      {7, "DiskNum=2"},
      {7, "MediaKind=HDD"},
      {7, "PartitionStyle=GPT"},
      {7, "PartCount=4"},
      {10, "PartIndex=0"},
      {7, "PartNum=1"},
      {7, "PartDriveLetter= "},
      {7, "PartId={C12A7328-F81F-11D2-BA4B-00A0C93EC93B}"},
      {7, "PartLen=100MB (104857600)"},
      {7, "PartOffset=1MB (1048576)"},
      {10, "PartIndex=1"},
      {7, "PartNum=2"},
      {7, "PartDriveLetter= "},
      {7, "PartId={E3C9E316-0B5C-4DB8-817D-F92DF00215AE}"},
      {7, "PartLen=16MB (16777216)"},
      {7, "PartOffset=101MB (105906176)"},
      {10, "PartIndex=2"},
      {7, "PartNum=3"},
      {7, "PartDriveLetter=F"},
      {7, "PartId={EBD0A0A2-B9E5-4433-87C0-68B6B72699C7}"},
      {7, "PartLen=409600MB (429496729600)"},
      {7, "PartOffset=117MB (122683392)"},
      {10, "PartIndex=3"},
      {7, "PartNum=4"},
      {7, "PartDriveLetter= "},
      {7, "PartId={D3BFE2DE-3DAF-11DF-BA40-E3A556D89593}"},
      {7, "PartLen=8192MB (8589934592)"},
      {7, "PartOffset=430080MB (450971566080)"},
      {7, "RapidStartDiskIndex=1"},
      {7, "RapidStartPartIndex=3"},
  };
  EXPECT_EQ(Lines(), expected);
  // Indices are positions, not drive numbers.
  EXPECT_EQ(model->DiskInfo[1].DiskNum, 2);
  EXPECT_EQ(DeviceHandlesOpen(), 0);
}

TEST_F(DiskModel, NoFixedDiskLeavesAnEmptyModelAndLogsMinusOne) {
  pc.Disks.AddUsbFlash(0).AddPrimary(0x0C, kMiB, kGiB);
  pc.Disks.AddVolume(0, 1, 'E');
  pc.Disks.AddOtherDevice(1, disk::kFileDeviceCdRom).MediaType = disk::kMediaFixed;  // the type test alone excludes it
  auto model = NewModel();
  ClearLog();
  model->ScanDisks();
  EXPECT_FALSE(model->FindRapidStartPart());
  EXPECT_EQ(model->DiskCount, 0);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"RapidStartDiskIndex=-1", "RapidStartPartIndex=-1"}));
}

TEST_F(DiskModel, TheFirstRapidStartPartitionInDiskThenPartitionOrderWins) {
  struct Row {
    const char* name;
    std::function<void(SimDisks&)> build;
    int32_t disk, part;
  };
  const Row rows[] = {
      {"lower disk index wins",
       [](SimDisks& s) {
         s.AddMbrDisk(1).AddPrimary(0x84, kMiB, 4 * kGiB);
         SimDrive& g = s.AddGptDisk(0);
         g.AddGptPartition(DataType(), kMiB, 10 * kGiB);
         g.AddGptPartition(RapidType(), 20 * kGiB, 8 * kGiB);
       },
       0, 1},
      {"lower partition index wins on one disk",
       [](SimDisks& s) {
         SimDrive& d = s.AddMbrDisk(0);
         d.AddPrimary(0x07, kMiB, 10 * kGiB);
         d.AddPrimary(0x84, 20 * kGiB, 2 * kGiB, false, 3);
         d.AddPrimary(0x84, 30 * kGiB, 2 * kGiB, false, 1);  // numbered 3, yet first in the layout
       },
       0, 1},
      {"found whatever the boot flag",
       [](SimDisks& s) { s.AddMbrDisk(0).AddPrimary(0x84, kMiB, 8 * kGiB, true); }, 0, 0},
      {"a logical partition counts",
       [](SimDisks& s) {
         SimDrive& d = s.AddMbrDisk(4);
         d.AddExtended(kMiB, 50 * kGiB);
         d.AddLogical(0x07, 2 * kMiB, 10 * kGiB);
         d.AddLogical(0x84, 20 * kGiB, 8 * kGiB);
       },
       0, 1},
      {"skipped drives do not shift the answer",
       [](SimDisks& s) {
         s.AddUsbFlash(0).AddPrimary(0x84, kMiB, kGiB);
         s.AddGptDisk(1).AddGptPartition(DataType(), kMiB, kGiB);
         s.AddMbrDisk(2).AddPrimary(0x84, kMiB, kGiB);
       },
       1, 0},
      {"none", [](SimDisks& s) { s.AddGptDisk(0).AddGptPartition(DataType(), kMiB, kGiB); }, -1, -1},
  };
  for (const Row& r : rows) {
    SimPc local;
    ScopedOs scoped(local);
    r.build(local.Disks);
    auto model = NewModel();
    EXPECT_EQ(model->RapidStartDiskIndex, r.disk) << r.name;
    EXPECT_EQ(model->RapidStartPartIndex, r.part) << r.name;
    EXPECT_EQ(model->FindRapidStartPart(), r.disk >= 0) << r.name;
  }
}

// A record is never read past its 128 entries, whatever its count claims.
TEST_F(DiskModel, ACountAbove128IsReadAs128) {
  auto model = std::make_unique<TDiskModel>();
  model->DiskCount = 2;
  model->DiskInfo[0].PartitionStyle = 1;
  model->DiskInfo[0].PartCount = 200;
  model->DiskInfo[1].PartitionStyle = 1;
  model->DiskInfo[1].PartCount = 1;
  model->DiskInfo[1].PartInfo[0].Gpt.PartitionType = RapidType();
  ASSERT_TRUE(model->FindRapidStartPart());
  EXPECT_EQ(model->RapidStartDiskIndex, 1);
  model->RapidStartDiskIndex = 0;
  model->RapidStartPartIndex = 150;
  EXPECT_EQ(model->RapidStartPart(), nullptr);
  model->RapidStartPartIndex = 127;
  EXPECT_EQ(model->RapidStartPart(), &model->DiskInfo[0].PartInfo[127]);
}

// Regression: a drive whose layout cannot be read used to keep the record an
// earlier scan left at its index, with that disk's number and partitions.
TEST_F(DiskModel, AnUnreadableLayoutNeverShowsAnEarlierScansDisk) {
  SimDrive& first = pc.Disks.AddMbrDisk(0);
  first.AddPrimary(0x07, kMiB, 50 * kGiB);
  first.AddPrimary(0x84, 60 * kGiB, 8 * kGiB);
  SimDrive& second = pc.Disks.AddGptDisk(1);
  second.AddGptPartition(DataType(), kMiB, 10 * kGiB);
  auto model = NewModel();
  ASSERT_EQ(model->DiskCount, 2);
  ASSERT_EQ(model->RapidStartDiskIndex, 0);

  first.MediaType = disk::kMediaRemovable;
  second.LayoutError = os::kErrorInvalidFunction;
  ClearLog();
  model->ScanDisks();
  model->FindRapidStartPart();
  ASSERT_EQ(model->DiskCount, 1);
  const _DiskInfo& d = model->DiskInfo[0];
  EXPECT_EQ(d.DiskNum, 1);
  EXPECT_EQ(d.PartitionStyle, kPartitionStyleUnknown);
  EXPECT_EQ(d.PartCount, 0u);
  EXPECT_EQ(d.PartInfo[0].PartNum, 0) << "no partition of the earlier disk survives";
  EXPECT_EQ(model->RapidStartDiskIndex, -1);
  EXPECT_EQ(d.MediaKind, TMediaKind::Ssd) << "the drive still answers for its media";
  EXPECT_EQ(Texts(), (std::vector<std::string>{"DiskIndex=0", "DiskNum=1", "MediaKind=SSD",
                                               "PartitionStyle=Unknown (layout could not be read)", "PartCount=0",
                                               "RapidStartDiskIndex=-1", "RapidStartPartIndex=-1"}));
  EXPECT_EQ(DeviceHandlesOpen(), 0);

  // Nothing is edited on it, and no partition number is predicted for it.
  const int opens = pc.Count(Call::CreateFileA);
  SetRapidStartPartIdUseIo(*model, 1, 1);
  DeletePartitionUseIo(*model, 1, 1);
  EXPECT_EQ(GetNewPartitionNumber(*model, 0, GetOsVersion().OsFamily), -1);
  EXPECT_EQ(pc.Count(Call::CreateFileA), opens);
}

TEST_F(DiskModel, AScanOpensEachVolumeAtMostTwiceWhateverThePartitionCount) {
  BuildBusyPc(pc, 4, 8, 20);
  const int before = pc.Count(Call::CreateFileA);
  auto model = NewModel();
  ASSERT_EQ(model->DiskCount, 4);
  // 64 device-type probes, 4 media probes, 4 layouts, 20 letters asked twice
  // and 4 media-kind queries (each drive answers the first question).
  EXPECT_EQ(pc.Count(Call::CreateFileA) - before, 64 + 4 + 4 + 40 + 4);
  EXPECT_EQ(model->DiskInfo[1].PartInfo[7].PartDriveLetter, 'R');
}

}  // namespace

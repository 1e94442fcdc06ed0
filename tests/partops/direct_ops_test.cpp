// The direct partition operations: the predicted number of a
// new partition, and marking and deleting partitions without diskpart.
#include <memory>

#include "disk_test_util.h"
#include "partops/direct_ops.h"

namespace {

using namespace disktest;

const SimVersion kXp = SimVersion::Make(2, 5, 1, 2600, "Service Pack 3");  // family 1
const SimVersion kWin7 = SimVersion::Make(2, 6, 1, 7601, "Service Pack 1");  // family 4

class DirectOps : public DiskTest {
 protected:
  DirectOps() { EnableLog(); }
};

struct NumberRow {
  const char* name;
  bool ioFamily;
  int32_t style;
  std::vector<int32_t> used;
  int32_t expected;
};

TEST_F(DirectOps, NewPartitionNumberIsTheSmallestFreeOneWithTheGptCorrection) {
  const NumberRow rows[] = {
      {"empty MBR", false, 0, {}, 1},
      {"empty RAW", false, 2, {}, 1},
      {"empty GPT, I/O family", true, 1, {}, 1},
      {"empty GPT, other family", false, 1, {}, 2},
      {"gap", false, 0, {1, 2, 4}, 3},
      {"unsorted", false, 0, {4, 2, 1, 3}, 5},
      {"first free is 1", false, 0, {2, 3}, 1},
      {"GPT 2 and 3, I/O family", true, 1, {2, 3}, 1},
      {"GPT 2 and 3, other family", false, 1, {2, 3}, 4},  // regression: not onto partition 2
      {"GPT 2 only, other family", false, 1, {2}, 3},      // regression
      {"GPT 3 only, other family", false, 1, {3}, 2},
      {"GPT 1 2 4, other family", false, 1, {1, 2, 4}, 3},
  };
  for (const NumberRow& r : rows) {
    pc.Version = r.ioFamily ? kXp : kWin7;
    auto model = NewModel();
    ASSERT_EQ(GetOsVersion().OsFamily, r.ioFamily ? kOsNt5x32 : kOsNt6x32);
    model->DiskCount = 2;
    _DiskInfo& d = model->DiskInfo[1];
    d.PartitionStyle = r.style;
    d.PartCount = static_cast<uint32_t>(r.used.size());
    for (std::size_t j = 0; j < r.used.size(); ++j) d.PartInfo[j].PartNum = r.used[j];
    ClearLog();
    EXPECT_EQ(GetNewPartitionNumber(*model, 1, GetOsVersion().OsFamily), r.expected) << r.name;
    EXPECT_EQ(Lines(), (std::vector<LogLine>{{14, "GetNewPartitionNumber"},
                                             {7, "DiskIndex=1"},
                                             {7, "NewPartNum=" + std::to_string(r.expected)}}))
        << r.name;
  }
}

TEST_F(DirectOps, NoNumberIsPredictedForADiskOutsideTheModel) {
  auto model = NewModel();
  model->DiskCount = 1;
  model->DiskInfo[1].PartitionStyle = 0;  // stale data beyond DiskCount is not read
  for (int32_t index : {-1, 1, 64})
    EXPECT_EQ(GetNewPartitionNumber(*model, index, GetOsVersion().OsFamily), -1) << index;
  EXPECT_EQ(Texts().back(), "NewPartNum=-1");
}

TEST_F(DirectOps, SetRapidStartIdTakesTheRouteOfTheDisksStyle) {
  SimDrive& g = pc.Disks.AddGptDisk(0);
  g.AddGptPartition(DataType(), kMiB, 10 * kGiB);
  g.AddGptPartition(DataType(), 20 * kGiB, 8 * kGiB);
  SimDrive& m = pc.Disks.AddMbrDisk(1);
  m.AddPrimary(0x07, kMiB, 10 * kGiB);
  m.AddPrimary(0x07, 20 * kGiB, 8 * kGiB);
  pc.Disks.AddVolume(1, 2);
  pc.Disks.AddRawDisk(2);
  auto model = NewModel();
  ASSERT_EQ(model->RapidStartDiskIndex, -1);

  ClearLog();
  SetRapidStartPartIdUseIo(*model, 0, 2);
  EXPECT_EQ(Lines(), (std::vector<LogLine>{{14, "SetRapidStartPartIdUseIo"},
                                           {7, "DiskNum=0"},
                                           {7, "PartNum=2"},
                                           {7, "FileName=\\\\.\\PhysicalDrive0"}}));
  ClearLog();
  SetRapidStartPartIdUseIo(*model, 1, 2);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"SetRapidStartPartIdUseIo", "DiskNum=1", "PartNum=2",
                                               "SetMbrPartitionType", "DiskNum=1", "PartNum=2", "PartType=0x84",
                                               "res=True"}));
  // A RAW disk takes the MBR route; it has no volume, so the edit fails.
  ClearLog();
  SetRapidStartPartIdUseIo(*model, 2, 1);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"SetRapidStartPartIdUseIo", "DiskNum=2", "PartNum=1",
                                               "SetMbrPartitionType", "DiskNum=2", "PartNum=1", "PartType=0x84",
                                               "res=False"}));
  // A number that is not in the model: three lines and nothing else.
  ClearLog();
  const int opens = pc.Count(Call::CreateFileA), sets = pc.Count(Call::SetupDiGetClassDevsA);
  SetRapidStartPartIdUseIo(*model, 5, 1);
  DeletePartitionUseIo(*model, 5, 1);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"SetRapidStartPartIdUseIo", "DiskNum=5", "PartNum=1",
                                               "DeletePartitionUseIo", "DiskNum=5", "PartNum=1"}));
  EXPECT_EQ(pc.Count(Call::CreateFileA), opens);
  EXPECT_EQ(pc.Count(Call::SetupDiGetClassDevsA), sets);

  model->ScanDisks();
  EXPECT_TRUE(model->FindRapidStartPart());
  EXPECT_EQ(model->RapidStartDiskIndex, 0);
  EXPECT_EQ(model->RapidStartPartIndex, 1);
  EXPECT_EQ(model->DiskInfo[1].PartInfo[1].Mbr.PartitionType, 0x84);
}

// A disk whose layout the scan could not read: its partition numbers are
// unknown, so nothing is marked or deleted there, even when it reads again.
TEST_F(DirectOps, NothingIsEditedOnADiskTheScanCouldNotRead) {
  SimDrive& m = pc.Disks.AddMbrDisk(0);
  m.AddPrimary(0x07, kMiB, 10 * kGiB);
  pc.Disks.AddVolume(0, 1, 'C');
  m.LayoutError = os::kErrorInvalidFunction;
  auto model = NewModel();
  ASSERT_EQ(model->DiskInfo[0].PartitionStyle, kPartitionStyleUnknown);
  m.LayoutError = 0;
  ClearLog();
  SetRapidStartPartIdUseIo(*model, 0, 1);
  DeletePartitionUseIo(*model, 0, 1);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"SetRapidStartPartIdUseIo", "DiskNum=0", "PartNum=1",
                                               "PartitionStyle=Unknown (layout could not be read), nothing changed",
                                               "DeletePartitionUseIo", "DiskNum=0", "PartNum=1",
                                               "PartitionStyle=Unknown (layout could not be read), nothing changed"}));
  ASSERT_EQ(m.Layout.size(), 4u);
  EXPECT_EQ(m.Layout[0].MbrType, 0x07);
  EXPECT_EQ(m.Layout[0].Number, 1u);
}

// Mark, rescan, delete, rescan: on an MBR and on a GPT disk.
TEST_F(DirectOps, MarkThenDeleteIsSeenByTheNextScans) {
  for (bool gpt : {false, true}) {
    SimPc local;
    ScopedOs scoped(local);
    local.Version = kXp;
    if (gpt) {
      SimDrive& d = local.Disks.AddGptDisk(3);
      d.AddGptPartition(EfiType(), kMiB, 100 * kMiB);
      d.AddGptPartition(DataType(), 200 * kMiB, 100 * kGiB);
      d.AddGptPartition(DataType(), 110 * kGiB, 8 * kGiB);
    } else {
      SimDrive& d = local.Disks.AddMbrDisk(3);
      d.AddPrimary(0x07, kMiB, 100 * kGiB, true);
      d.AddExtended(110 * kGiB, 20 * kGiB);
      d.AddLogical(0x07, 110 * kGiB + kMiB, 8 * kGiB);
      local.Disks.AddVolume(3, 1, 'C');
      local.Disks.AddVolume(3, 2);
    }
    auto model = NewModel();
    ASSERT_EQ(model->DiskCount, 1);
    const int32_t target = gpt ? 3 : 2;
    const int32_t index = gpt ? 2 : 1;
    SetRapidStartPartIdUseIo(*model, 3, target);
    model->ScanDisks();
    ASSERT_TRUE(model->FindRapidStartPart()) << gpt;
    EXPECT_EQ(model->RapidStartPartIndex, index);
    EXPECT_EQ(model->DiskInfo[0].PartInfo[index].PartLen, 8 * kGiB);

    DeletePartitionUseIo(*model, 3, model->DiskInfo[0].PartInfo[index].PartNum);
    model->ScanDisks();
    EXPECT_FALSE(model->FindRapidStartPart()) << gpt;
    EXPECT_EQ(model->DiskInfo[0].PartCount, static_cast<uint32_t>(index)) << gpt;
    EXPECT_EQ(local.OpenHandles(), 0);
  }
}

}  // namespace

// The Delete workflow on simulated PCs: its scripts, the space it gives
// back, and the partitions it must never touch.
#include <gtest/gtest.h>

#include "workflow_fixture.h"

namespace {

using namespace flowtest;

// The window is built only by the tests that look at it.
class DeleteFlow : public WindowWorkflowTest {};

// MBR: C: then a 4 GB Rapid Start partition (index 1), free space behind it.
void MbrRapidStartAfterData(SimPc& pc, uint64_t rapidBytes = 4096 * kMiB) {
  SimDrive& d = pc.Disks.AddMbrDisk(0, 64 * kGiB);
  d.AddPrimary(0x07, kMiB, 40 * kGiB, true);
  d.AddPrimary(0x84, 40 * kGiB + kMiB, rapidBytes);
  pc.Disks.AddVolume(0, 1, 'C');
  pc.Disks.AddHiddenVolume(0, 2);
}
// MBR: the Rapid Start partition first (index 0), then D:.
void MbrRapidStartFirst(SimPc& pc) {
  SimDrive& d = pc.Disks.AddMbrDisk(0, 64 * kGiB);
  d.AddPrimary(0x84, kMiB, 4096 * kMiB);
  d.AddPrimary(0x07, 5 * kGiB, 40 * kGiB);
  pc.Disks.AddHiddenVolume(0, 1);
  pc.Disks.AddVolume(0, 2, 'D');
}
// GPT: EFI, then the Rapid Start partition at index 1.
void GptRapidStartSecond(SimPc& pc) {
  SimDrive& d = pc.Disks.AddGptDisk(0, 64 * kGiB);
  d.AddGptPartition(kEfi, kMiB, 100 * kMiB);
  d.AddGptPartition(kRapid, 101 * kMiB, 4096 * kMiB);
  pc.Disks.AddHiddenVolume(0, 1);
  pc.Disks.AddHiddenVolume(0, 2);
}
// GPT: EFI, reserved, C:, then the Rapid Start partition at index 3.
void GptRapidStartAfterC(SimPc& pc) {
  SimDrive& d = pc.Disks.AddGptDisk(0, 64 * kGiB);
  d.AddGptPartition(kEfi, kMiB, 100 * kMiB);
  d.AddGptPartition(kMsr, 101 * kMiB, 16 * kMiB);
  d.AddGptPartition(kData, 117 * kMiB, 41 * kGiB - 117 * kMiB);
  d.AddGptPartition(kRapid, 41 * kGiB, 4096 * kMiB);
  pc.Disks.AddVolume(0, 3, 'C');
  pc.Disks.AddHiddenVolume(0, 4);
}

struct Row {
  const char* name;
  int family;
  void (*build)(SimPc&);
  std::vector<std::string> scripts;
  uint64_t grownOffset;  // the neighbour that gets the space; 0: none
};

const std::string kMbrDelete = "select disk 0|select partition 2|set id=07 override|delete partition|exit";

void PrintTo(const Row& r, std::ostream* out) { *out << r.name; }

const Row kRuns[] = {
    {"MbrAfterDataIsGivenToIt", 6, [](SimPc& pc) { MbrRapidStartAfterData(pc); },
     {kMbrDelete, "select disk 0|select partition 1|extend size=4096|exit"}, kMiB},
    {"MbrAfterDataOnVista32", 4, [](SimPc& pc) { MbrRapidStartAfterData(pc); },
     {kMbrDelete, "select disk 0|select partition 1|extend size=4096|exit"}, kMiB},
    {"MbrFirstExtendsNothing", 6, MbrRapidStartFirst,
     {"select disk 0|select partition 1|set id=07 override|delete partition|exit"}, 0},
    {"GptAtIndex1ExtendsNothing", 6, GptRapidStartSecond,
     {"select disk 0|select partition 2|delete partition override|exit"}, 0},
    {"GptAfterCExtendsC", -1, GptRapidStartAfterC,
     {"select disk 0|select partition 4|delete partition override|exit",
      "select disk 0|select partition 3|extend size=4096|exit"},
     117 * kMiB},
    {"XpDeletesDirectly", 1, [](SimPc& pc) { MbrRapidStartAfterData(pc); }, {}, 0},
    {"Xp64GptDeletesDirectly", 3, GptRapidStartAfterC, {}, 0},
    {"Itanium2003DeletesDirectly", 2, MbrRapidStartFirst, {}, 0},
};

class DeleteRun : public WindowWorkflowTest, public ::testing::WithParamInterface<Row> {};

TEST_P(DeleteRun, ScriptsStatusAndLayout) {
  const Row& r = GetParam();
  UseFamily(r.family);
  r.build(pc);
  pc.Processes.RunMs = 3000;
  Form().Shown();
  ASSERT_TRUE(Form().DeleteButton.Enabled());
  const std::vector<Part> start = Partitions(pc);
  const Part rapid = *std::find_if(start.begin(), start.end(), [](const Part& p) { return p.RapidStart(); });
  ClickDeleteAndRun();
  EXPECT_EQ(Scripts(), r.scripts);
  EXPECT_EQ(Session().StatusText, "Deleting.....Done.");
  EXPECT_TRUE(pc.MessageBoxes.empty()) << "no restart after a Delete";
  const std::vector<Part> after = Partitions(pc);
  EXPECT_EQ(std::count_if(after.begin(), after.end(), [](const Part& p) { return p.RapidStart(); }), 0);
  EXPECT_TRUE(Form().CreateButton.Enabled());
  EXPECT_FALSE(Form().DeleteButton.Enabled());
  EXPECT_TRUE(Form().PartSizeComboBox.Enabled());
  EXPECT_EQ(Form().DiskImages[0]->Hint().find("Rapid Start"), std::string::npos) << "the tile tells of the rescan";
  ExpectUntouched(pc, before, &rapid, 0, r.name);
  ExpectLayoutsWrittenFromReads(pc, r.name);
  if (r.grownOffset) {
    EXPECT_EQ(Find(after, 0, r.grownOffset)->Length, Find(before, 0, r.grownOffset)->Length + 4096 * kMiB);
  }
  for (const std::string& tick : Lines("DeleteTimer->")) EXPECT_EQ(tick.rfind("DeleteTimer->ExecuteStatus=", 0), 0u);
  EXPECT_FALSE(Lines("DeleteTimer->ExecuteStatus=").empty());
}

INSTANTIATE_TEST_SUITE_P(Delete, DeleteRun, ::testing::ValuesIn(kRuns),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

TEST_F(DeleteFlow, ExtendSizeIsRoundedDownToWholeMb) {
  UseFamily(6);
  MbrRapidStartAfterData(pc, 4096 * kMiB + 512 * 1024);
  Delete();
  ASSERT_EQ(Scripts().size(), 2u);
  EXPECT_EQ(Scripts()[1], "select disk 0|select partition 1|extend size=4096|exit");
}

// A Rapid Start partition under 1 MB leaves nothing to give back: the
// workflow ends as after the extend, rather than waiting for ever.
TEST_F(DeleteFlow, PartitionUnderOneMbEndsWithoutExtending) {
  UseFamily(6);
  MbrRapidStartAfterData(pc, 512 * 1024);
  Delete();
  EXPECT_EQ(Scripts(), (std::vector<std::string>{kMbrDelete}));
  EXPECT_EQ(Session().StatusText, "Deleting.....Done.");
}

// A delete that fails says so: the partition is still there.
TEST_F(DeleteFlow, FailedDeleteIsReportedAsFailed) {
  UseFamily(6);
  MbrRapidStartAfterData(pc);
  pc.Processes.SetIdRefusedDisks.insert(0);
  ClickDeleteAndRun();
  EXPECT_EQ(Scripts().size(), 1u) << "no extend after a failed delete";
  EXPECT_EQ(Session().StatusText, "Deleting.....Failed.");
  EXPECT_EQ(Form().NoteLabel.Caption().rfind("Rapid Start partition: ", 0), 0u) << "the partition is still there";
  EXPECT_EQ(Form().NoteLabel.Font().Color, clWindowText) << "the red note is about space for a Create";
  EXPECT_TRUE(Form().DeleteButton.Enabled()) << "it can be tried again";
  EXPECT_TRUE(pc.MessageBoxes.empty());
}

// Gone since the window last looked: nothing runs, and the window follows.
// When the click's rescan cannot read its disk, it may still stand: Failed.
TEST_F(DeleteFlow, NothingToDeleteFinishesAtOnce) {
  for (bool unreadable : {false, true}) {
    SCOPED_TRACE(unreadable ? "disk unreadable" : "partition gone");
    FreshPc();
    UseFamily(6);
    MbrRapidStartAfterData(pc);
    Form().Shown();
    if (unreadable)
      pc.FailNth(Call::DeviceIoControl, 1, os::kErrorGenFailure);
    else
      pc.Disks.FindDrive(0)->Layout[1] = SimPartition{};
    Form().DeleteButtonClick();
    EXPECT_FALSE(Session().WorkflowRunning());
    EXPECT_FALSE(Session().DeleteTimer.Enabled());
    EXPECT_TRUE(Scripts().empty());
    EXPECT_EQ(Session().StatusText, unreadable ? "Deleting.....Failed." : "Deleting.....Done.");
    if (!unreadable) {
      EXPECT_TRUE(Form().CreateButton.Enabled());
    }
  }
}

// Two Rapid Start partitions: the window shows disk 1's. When the click's
// rescan finds disk 4's first (the shown one went, or disk 1 could not be
// read this time), the one the user never saw is not deleted; the window then
// shows what is there, and a second click deletes it.
TEST_F(DeleteFlow, OnlyThePartitionShownIsDeleted) {
  enum How { kShownOneRemoved, kShownDiskUnreadable };
  for (How how : {kShownOneRemoved, kShownDiskUnreadable}) {
    for (int family : {6, 1}) {
      SCOPED_TRACE(std::to_string(how) + "/" + std::to_string(family));
      FreshPc();
      UseFamily(family);
      SimDrive& shown = pc.Disks.AddGptDisk(1, 64 * kGiB);
      shown.AddGptPartition(kData, kMiB, 40 * kGiB);
      shown.AddGptPartition(kRapid, 41 * kGiB, 4096 * kMiB);
      SimDrive& other = pc.Disks.AddMbrDisk(4, 64 * kGiB);
      other.AddPrimary(0x07, kMiB, 8 * kGiB, true);
      other.AddPrimary(0x84, 8 * kGiB + kMiB, 4096 * kMiB);
      pc.Disks.AddHiddenVolume(1, 2);
      pc.Disks.AddVolume(4, 1, 'C');
      pc.Disks.AddHiddenVolume(4, 2);
      Form().Shown();
      ASSERT_EQ(Session().Model.DiskInfo[Session().Model.RapidStartDiskIndex].DiskNum, 1);
      if (how == kShownOneRemoved) shown.Layout[1] = SimPartition{};
      if (how == kShownDiskUnreadable) pc.FailNth(Call::DeviceIoControl, 1, os::kErrorGenFailure);
      before = Partitions(pc);
      Form().DeleteButtonClick();
      ASSERT_TRUE(RunWorkflow());
      EXPECT_TRUE(Scripts().empty());
      ExpectUntouched(pc, before, nullptr, 0, "the partition not shown");
      EXPECT_EQ(Session().StatusText, "Deleting.....Failed.");
      ASSERT_GE(Session().Model.RapidStartDiskIndex, 0);
      EXPECT_EQ(Session().Model.DiskInfo[Session().Model.RapidStartDiskIndex].DiskNum, 4)
          << "the window shows what is there";
      EXPECT_TRUE(Form().DeleteButton.Enabled());
      if (how == kShownDiskUnreadable) continue;
      Form().DeleteButtonClick();
      ASSERT_TRUE(RunWorkflow());
      EXPECT_EQ(Session().StatusText, "Deleting.....Done.");
      EXPECT_FALSE(Form().DeleteButton.Enabled());
    }
  }
}

// The partition number of the click is not trusted: a partition that is no
// longer the Rapid Start partition at the offset the click read is never
// deleted.
TEST_F(DeleteFlow, PartitionChangedSinceTheClickIsNotDeleted) {
  for (int family : {6, 1}) {
    FreshPc();
    UseFamily(family);
    MbrRapidStartAfterData(pc);
    StartDelete();
    // Before the first tick the Rapid Start partition becomes a data partition.
    pc.Disks.FindDrive(0)->Layout[1].MbrType = 0x07;
    before = Partitions(pc);
    ASSERT_TRUE(RunWorkflow());
    EXPECT_TRUE(Scripts().empty()) << family;
    ExpectUntouched(pc, before, nullptr, 0, "changed partition");
  }
}

// The script retypes the partition to 07, then its delete is refused: the
// Delete fails (nothing may start where the partition was) and the type
// goes back, so the disk is as it was at the click.
TEST_F(DeleteFlow, RefusedDeleteAfterTheRetypeFailsAndRestoresTheType) {
  UseFamily(6);
  MbrRapidStartAfterData(pc);
  pc.Processes.CommandFailures["delete"] = {0x80070005, 0x80070005};
  Delete();
  EXPECT_EQ(Session().StatusText, "Deleting.....Failed.");
  EXPECT_EQ(Scripts().back(), "select disk 0|select partition 2|set id=84 override|exit");
  const std::vector<Part> after = Partitions(pc);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_TRUE(Find(after, 0, 40 * kGiB + kMiB)->RapidStart());
  EXPECT_EQ(Find(after, 0, kMiB)->Length, 40 * kGiB) << "C: is not extended";

  // The type cannot be set back either: the partition stays, retyped, and a
  // partition of any type where it was still means the Delete failed.
  FreshPc();
  UseFamily(6);
  MbrRapidStartAfterData(pc);
  pc.Processes.CommandFailures["delete"] = {0x80070005};
  pc.Processes.CommandFailures["set"] = {0, 0x80070005, 0x80070005};  // the script's retype goes through
  Delete();
  EXPECT_EQ(Session().StatusText, "Deleting.....Failed.");
  EXPECT_EQ(Find(Partitions(pc), 0, 40 * kGiB + kMiB)->MbrType, 0x07);
}

// A GPT disk as Create leaves it on a Windows 11 PC: the Rapid Start
// partition sits between C: and Recovery but is last in the list. Its space
// goes to C:, the partition physically before it, never to Recovery.
TEST_F(DeleteFlow, SpaceGoesToThePartitionPhysicallyBefore) {
  UseFamily(6);
  SimDrive& d = pc.Disks.AddGptDisk(0, 64 * kGiB);
  d.AddGptPartition(kEfi, kMiB, 100 * kMiB);
  d.AddGptPartition(kData, 101 * kMiB, 40 * kGiB);
  const uint64_t recovery = 64 * kGiB - kMiB - 750 * kMiB;
  d.AddGptPartition(disktest::RecoveryType(), recovery, 750 * kMiB);
  d.AddGptPartition(kRapid, 40 * kGiB + 101 * kMiB, 2048 * kMiB);
  pc.Disks.AddVolume(0, 2, 'C');
  pc.Disks.AddHiddenVolume(0, 3);
  Delete();
  EXPECT_EQ(Session().StatusText, "Deleting.....Done.");
  EXPECT_EQ(Scripts().back(), "select disk 0|select partition 2|extend size=2048|exit");
  EXPECT_EQ(Find(Partitions(pc), 0, 101 * kMiB)->Length, 40 * kGiB + 2048 * kMiB);
  EXPECT_EQ(Find(Partitions(pc), 0, recovery)->Length, 750 * kMiB);
}

// Every tick during a Delete's run writes one line, and the buttons and the
// tiles are held while it runs.
TEST_F(DeleteFlow, ClicksAreIgnoredWhileItRuns) {
  UseFamily(6);
  MbrRapidStartAfterData(pc);
  pc.Disks.AddMbrDisk(1, 64 * kGiB);
  pc.Disks.AddMbrDisk(2, 64 * kGiB);
  pc.Disks.AddMbrDisk(3, 64 * kGiB);
  pc.Processes.RunMs = 3000;
  Form().Shown();
  Form().DeleteButtonClick();
  AdvanceMs(1500);
  EXPECT_FALSE(Form().CreateButton.Enabled());
  EXPECT_FALSE(Form().DeleteButton.Enabled());
  EXPECT_FALSE(Form().PartSizeComboBox.Enabled());
  Form().Disk0ImageClick(*Form().DiskImages[2]);
  Form().RightButtonClick();
  ClickCreate(Form(), pc);
  EXPECT_EQ(Form().DiskIndex, 0);
  EXPECT_EQ(Form().FirstVisibleDisk, 0);
  EXPECT_FALSE(Session().CreateFlow.Running());
  ASSERT_TRUE(RunWorkflow());
  EXPECT_EQ(Session().StatusText, "Deleting.....Done.");
}

// A Delete that ended before its extend step leaves the Create's extend
// alone: the Create gives the shrunk partition back exactly what it took.
TEST_F(DeleteFlow, CreateGivesBackWhatItShrankAfterADelete) {
  UseFamily(6);
  MbrRapidStartFirst(pc);  // a Delete here keeps its size and runs no extend
  SimDrive& full = pc.Disks.AddMbrDisk(1, 64 * kGiB);
  for (int i = 0; i < 4; ++i) full.AddPrimary(0x07, kMiB + i * 16 * kGiB, 16 * kGiB - kMiB);
  pc.Disks.AddVolume(1, 4, 'F');
  Delete();
  ASSERT_EQ(Session().DeleteFlow.ExtendSizeInMB, 4096u);
  Create(1, 1);  // "4 GB", as the window chose it for the 4 GB partition it showed
  EXPECT_EQ(Scripts().back(), "select disk 1|select partition 4|extend size=4096|exit");
}

}  // namespace

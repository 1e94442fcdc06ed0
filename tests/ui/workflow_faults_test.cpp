// Whatever call of the system fails during a Create or a Delete, the
// workflow ends, the window agrees with the disks, and no partition that
// existed at the click is retyped, deleted or resized by anything but the
// steps meant for it.
#include <gtest/gtest.h>

#include <set>

#include "workflow_fixture.h"

namespace {

using namespace flowtest;

struct Scenario {
  const char* name;
  int family;
  void (*build)(SimPc&);
  bool create;  // false: Delete
};

void RapidStartAfterData(SimPc& pc) {
  SimDrive& d = pc.Disks.AddMbrDisk(0, 64 * kGiB);
  d.AddPrimary(0x07, kMiB, 40 * kGiB, true);
  d.AddPrimary(0x84, 40 * kGiB + kMiB, 4096 * kMiB);
  d.AddExtended(50 * kGiB, 14 * kGiB);
  d.AddLogical(0x07, 50 * kGiB + kMiB, 14 * kGiB - kMiB);
  pc.Disks.AddVolume(0, 1, 'C');
  pc.Disks.AddHiddenVolume(0, 2);
  pc.Disks.AddVolume(0, 3, 'D');
}
void GptRapidStartAfterC(SimPc& pc) {
  SimDrive& d = pc.Disks.AddGptDisk(0, 64 * kGiB);
  d.AddGptPartition(kEfi, kMiB, 100 * kMiB);
  d.AddGptPartition(kData, 101 * kMiB, 40 * kGiB);
  d.AddGptPartition(kRapid, 41 * kGiB, 4096 * kMiB);
  d.AddGptPartition(kData, 46 * kGiB, 10 * kGiB);
  pc.Disks.AddVolume(0, 2, 'C');
  pc.Disks.AddVolume(0, 4, 'D');
}

void ContainerWithRoom(SimPc& pc) {
  SimDrive& d = pc.Disks.AddMbrDisk(0, 100 * kGiB);
  d.AddPrimary(0x07, kMiB, 30 * kGiB - kMiB, true);
  d.AddExtended(30 * kGiB, 70 * kGiB);
  pc.Disks.AddVolume(0, 1, 'C');
}
void PrintTo(const Scenario& s, std::ostream* out) { *out << s.name; }

const Scenario kScenarios[] = {
    {"CreateWithShrink", 6, FullGpt, true},
    {"CreateTypedByDirectIo", 1, LogicalAfterAGap, true},
    {"CreateTypedByDirectIoOnGpt", 3, FullGpt, true},
    {"CreateLogicalTypedByDirectIo", 1, ContainerWithRoom, true},
    {"DeleteAndExtend", 6, RapidStartAfterData, false},
    {"DeleteByDirectIo", 1, RapidStartAfterData, false},
    {"DeleteGptByDirectIo", 2, GptRapidStartAfterC, false},
};

class Faults : public WindowWorkflowTest, public ::testing::WithParamInterface<Scenario> {
 protected:
  // Runs the scenario; with a failure injected at the n-th call of a kind
  // counted from the click. Returns the calls of each kind from the click on.
  std::vector<int> Run(const Scenario& s, int kind = -1, int n = 0) {
    FreshPc();
    UseFamily(s.family);
    s.build(pc);
    Form().Shown();
    std::vector<int> atClick(static_cast<int>(Call::kCount));
    for (int k = 0; k < static_cast<int>(Call::kCount); ++k) atClick[k] = pc.Count(static_cast<Call>(k));
    if (kind >= 0) pc.FailNth(static_cast<Call>(kind), n, os::kErrorGenFailure);
    before = Partitions(pc);
    const std::vector<Part> start = before;
    s.create ? ClickCreate(Form(), pc) : Form().DeleteButtonClick();
    EXPECT_TRUE(RunWorkflow()) << "the workflow ended";
    const std::string context = std::string(s.name) + (kind >= 0 ? std::string(" failing ") + CallName(static_cast<Call>(kind)) + " #" + std::to_string(n) : "");
    const Part* rapid = nullptr;
    for (const Part& p : start)
      if (p.RapidStart()) rapid = &p;
    ExpectUntouched(pc, start, s.create ? nullptr : rapid, Form().Session.CreateFlow.PartSizeInMB, context);
    ExpectLayoutsWrittenFromReads(pc, context);
    for (const Part& p : Partitions(pc))
      EXPECT_TRUE(Find(start, p.Disk, p.Offset) || p.RapidStart()) << context << ": untyped partition of ours left at " << Describe(p);
    // The window shows what the disks hold.
    TMainForm& f = Form();
    f.Session.Model.ScanDisks();
    f.Session.Model.FindRapidStartPart();
    f.RefreshWindow();
    EXPECT_EQ(f.DeleteButton.Enabled(), f.Session.Model.RapidStartDiskIndex >= 0) << context;
    EXPECT_EQ(f.CreateButton.Enabled(), f.Session.Model.RapidStartDiskIndex < 0 && f.DiskIndex >= 0) << context;
    std::vector<int> calls(static_cast<int>(Call::kCount));
    for (int k = 0; k < static_cast<int>(Call::kCount); ++k) calls[k] = pc.Count(static_cast<Call>(k)) - atClick[k];
    CloseWindow();
    // A failed close leaves its handle open, as on Windows.
    if (kind != static_cast<int>(Call::CloseHandle) && kind != static_cast<int>(Call::SetupDiDestroyDeviceInfoList)) {
      EXPECT_EQ(pc.OpenHandles(), pc.ConsoleAllocated ? 1 : 0) << context << ": a handle was left open";
    }
    return calls;
  }
};

TEST_P(Faults, NoInjectedFailureTouchesAPartitionItDoesNotMean) {
  const Scenario& s = GetParam();
  const std::vector<int> calls = Run(s);
  for (int kind = 0; kind < static_cast<int>(Call::kCount); ++kind) {
    const int count = calls[kind];
    if (count == 0 || kind == static_cast<int>(Call::MessageBoxA)) continue;
    // The first, a middle and the last call of each kind.
    for (int n : std::set<int>{1, (count + 1) / 2, count}) Run(s, kind, n);
  }
}

INSTANTIATE_TEST_SUITE_P(Workflows, Faults, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

}  // namespace

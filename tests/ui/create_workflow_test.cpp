// The Create workflow on simulated PCs: its scripts, status texts and final
// layouts on every system family, and the partitions it must never touch.
#include <gtest/gtest.h>

#include "partops/disk_change_lock.h"
#include "workflow_fixture.h"

namespace {

using namespace flowtest;

// The window is built only by the tests that look at it.
class CreateFlow : public WindowWorkflowTest {};

const std::string kPrimary8 = "select disk 0|create partition primary size=8192|";
const std::string kMbrType = "set id=84 override|exit";
const std::string kGptType = "set id=D3BFE2DE-3DAF-11DF-BA40-E3A556D89593 override|exit";
const std::string kLogical8 = "select disk 0|create partition logical size=8192|";

struct Row {
  const char* name;
  int family;
  void (*build)(SimPc&);
  std::vector<std::string> scripts;
  const char* status;  // what is appended to "Creating"
  int rapidStartParts;
};

void PrintTo(const Row& r, std::ostream* out) { *out << r.name; }

const Row kTypicalRuns[] = {
    {"FreeSpaceWin7x64", 6, MbrWithFreeSpace, {kPrimary8 + kMbrType}, ".....Done.", 1},
    {"FreeSpaceVista32", 4, MbrWithFreeSpace, {kPrimary8 + kMbrType}, ".....Done.", 1},
    {"FreeSpaceUnknownFamily", -1, MbrWithFreeSpace, {kPrimary8 + kMbrType}, ".....Done.", 1},
    {"FreeSpaceXpTypeByDirectIo", 1, MbrWithFreeSpace, {kPrimary8 + "exit"}, ".....Done.", 1},
    {"FreeSpaceXp64ThroughTheHelper", 3, MbrWithFreeSpace, {kPrimary8 + "exit"}, ".....Done.", 1},
    {"FreeSpace2003Itanium", 2, MbrWithFreeSpace, {kPrimary8 + "exit"}, ".....Done.", 1},
    // A failed run close behind the previous one is run once more.
    {"FullGptDiskShrinksC", 6, FullGpt,
     {kPrimary8 + kGptType, kLogical8 + kGptType, kLogical8 + kGptType,
      "select disk 0|select partition 3|shrink desired=8192 minimum=8192|exit", kPrimary8 + kGptType},
     ".....Done.", 1},
    {"FullGptDiskXpShrinksNothing", 1, FullGpt, {kPrimary8 + "exit", kLogical8 + "exit", kLogical8 + "exit"},
     ".....Failed.", 0},
};

class TypicalRun : public WindowWorkflowTest, public ::testing::WithParamInterface<Row> {};

TEST_P(TypicalRun, ScriptsStatusAndLayout) {
  const Row& r = GetParam();
  UseFamily(r.family);
  r.build(pc);
  pc.Processes.RunMs = 3000;
  Form().Shown();
  const std::string hintAtClick = Form().DiskImages[0]->Hint();
  ClickCreateAndRun(0, 2);  // "8 GB"
  EXPECT_EQ(Scripts(), r.scripts);
  EXPECT_EQ(Session().StatusText, std::string("Creating") + r.status);
  const std::vector<Part> after = Partitions(pc);
  EXPECT_EQ(std::count_if(after.begin(), after.end(), [](const Part& p) { return p.RapidStart(); }),
            r.rapidStartParts);
  // XP and Server 2003 end a new partition on a cylinder boundary.
  const uint64_t cylinder = 255 * 63 * 512;
  for (const Part& p : after) {
    if (p.RapidStart() && pc.Version.record.dwMajorVersion >= 6) {
      EXPECT_EQ(p.Length, 8192 * kMiB);
    } else if (p.RapidStart()) {
      EXPECT_GE(p.Length, 8192 * kMiB);
      EXPECT_LT(p.Length, 8192 * kMiB + cylinder);
      EXPECT_EQ((p.Offset + p.Length) % cylinder, 0u);
    }
  }
  EXPECT_EQ(pc.MessageBoxes.size(), r.rapidStartParts ? 1u : 0u) << "the restart question after a success only";
  EXPECT_TRUE(Form().NoteLabel.Visible());
  EXPECT_EQ(Form().NoteLabel.Caption(),
            r.rapidStartParts ? "Rapid Start partition: 8 GB on disk 0." : TMainForm::kNoSpaceNote);
  EXPECT_EQ(Form().NoteLabel.Font().Color, r.rapidStartParts ? clWindowText : clRed);
  // The tile tells what the last rescan found, not what the click saw.
  const std::string hint = Form().DiskImages[0]->Hint();
  if (r.rapidStartParts)
    EXPECT_EQ(hint.substr(hint.rfind(" \xB7 ") + 3), "Rapid Start partition: 8 GB");
  else
    EXPECT_EQ(hint, hintAtClick);
  EXPECT_EQ(pc.Count(Call::Sleep), 0) << "pauses never block the window";
  ExpectUntouched(pc, before, nullptr, 8192, r.name);
  ExpectLayoutsWrittenFromReads(pc, r.name);
}

INSTANTIATE_TEST_SUITE_P(Create, TypicalRun, ::testing::ValuesIn(kTypicalRuns),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// 100 GB MBR disk: partition 1 (C:, can shrink) and partition 2 (no volume:
// cannot), up to the end.
void TwoPartitionsLastUnshrinkable(SimPc& pc) {
  SimDrive& d = pc.Disks.AddMbrDisk(0, 100 * kGiB);
  d.AddPrimary(0x07, kMiB, 40 * kGiB - kMiB, true);
  d.AddPrimary(0x07, 40 * kGiB, 60 * kGiB);
  pc.Disks.AddVolume(0, 1, 'C');
}

TEST_F(CreateFlow, ShrinkCandidatesAreTakenLastFirstEachForTheSize) {
  UseFamily(6);
  TwoPartitionsLastUnshrinkable(pc);
  Create(0, 0);  // "2 GB"
  EXPECT_EQ(Scripts(), (std::vector<std::string>{
                           "select disk 0|create partition primary size=2048|" + kMbrType,
                           "select disk 0|create partition logical size=2048|" + kMbrType,
                           "select disk 0|create partition logical size=2048|" + kMbrType,  // failed close behind: again
                           "select disk 0|select partition 2|shrink desired=2048 minimum=2048|exit",  // refused
                           "select disk 0|select partition 2|shrink desired=2048 minimum=2048|exit",  // again: moves on
                           "select disk 0|select partition 1|shrink desired=2048 minimum=2048|exit",
                           "select disk 0|create partition primary size=2048|" + kMbrType,
                       }));
  EXPECT_EQ(Session().StatusText, "Creating.....Done.");
  ExpectUntouched(pc, before, nullptr, 2048, "shrink");
}

TEST_F(CreateFlow, ExhaustedShrinkListFails) {
  UseFamily(4);
  TwoPartitionsLastUnshrinkable(pc);
  pc.Disks.Volumes.clear();  // C: has no volume either: nothing can shrink
  ClickCreateAndRun(0, 0);
  EXPECT_EQ(Scripts().size(), 7u) << "primary, logical, then each partition once, each failure close behind a run twice";
  EXPECT_EQ(Session().StatusText, "Creating.....Failed.");
  EXPECT_TRUE(Form().NoteLabel.Visible());
  EXPECT_TRUE(Form().CreateButton.Enabled());
  ExpectUntouched(pc, before, nullptr, 2048, "exhausted");
}

// A full partition table: the shrink succeeds, the creates still fail, and
// the shrunk partition gets back exactly what it gave.
void FullPartitionTable(SimPc& pc) {
  SimDrive& d = pc.Disks.AddMbrDisk(0, 64 * kGiB);
  for (int i = 0; i < 4; ++i) d.AddPrimary(0x07, kMiB + i * 16 * kGiB, 16 * kGiB - kMiB);
  pc.Disks.AddVolume(0, 4, 'F');
}

TEST_F(CreateFlow, ShrinkThatDoesNotHelpIsExtendedBackWhole) {
  UseFamily(6);
  FullPartitionTable(pc);
  Create(0, 1);  // "4 GB"
  const std::vector<std::string> scripts = Scripts();
  ASSERT_EQ(scripts.size(), 9u);  // each failed create after the first runs twice
  EXPECT_EQ(scripts[3], "select disk 0|select partition 4|shrink desired=4096 minimum=4096|exit");
  EXPECT_EQ(scripts[8], "select disk 0|select partition 4|extend size=4096|exit");
  EXPECT_EQ(Session().StatusText, "Creating.....Failed.");
  ExpectUntouched(pc, before, nullptr, 4096, "extend");
  EXPECT_EQ(Find(Partitions(pc), 0, 48 * kGiB + kMiB)->Length, 16 * kGiB - kMiB);
}

// Partitions renumbered by another program while the Create runs: the
// shrink goes to the partition it chose at the click, under its number now.
TEST_F(CreateFlow, ShrinkFollowsItsPartitionWhenNumbersMove) {
  UseFamily(6);
  SimDrive& d = pc.Disks.AddMbrDisk(0, 60 * kGiB);
  for (int i = 0; i < 3; ++i) d.AddPrimary(0x07, kMiB + i * 20 * kGiB, 20 * kGiB - kMiB);
  for (uint32_t n = 1; n <= 3; ++n) pc.Disks.AddVolume(0, n, static_cast<char>('C' + n - 1));
  // While the logical create runs, the first partition is deleted: the last
  // one becomes partition 2.
  pc.BeforeNth(Call::CreateProcessA, 2, [&d] {
    d.Layout[0] = SimPartition{};
    d.RenumberMbr();
  });
  Create(0, 0);  // "2 GB"
  const std::vector<std::string> scripts = Scripts();
  EXPECT_NE(std::find(scripts.begin(), scripts.end(), "select disk 0|select partition 2|shrink desired=2048 minimum=2048|exit"),
            scripts.end());
  EXPECT_EQ(Find(Partitions(pc), 0, 20 * kGiB + kMiB)->Length, 20 * kGiB - kMiB) << "the middle one is untouched";
  EXPECT_EQ(Find(Partitions(pc), 0, 40 * kGiB + kMiB)->Length, 18 * kGiB - kMiB);
}

TEST_F(CreateFlow, DiskWithoutPartitionsFailsWithoutShrinking) {
  UseFamily(6);
  pc.Disks.AddMbrDisk(0, kGiB);  // too small for 2 GB
  Create(0, 0);
  EXPECT_EQ(Scripts().size(), 2u);
  EXPECT_EQ(Session().CreateFlow.PartIndex, -1);
  EXPECT_EQ(Session().StatusText, "Creating.....Failed.");
}

// On the families that set the type by direct I/O, a failed logical create
// ends the workflow: nothing is shrunk there.
TEST_F(CreateFlow, IoFamiliesNeverShrink) {
  for (int family : {1, 2, 3}) {
    FreshPc();
    UseFamily(family);
    TwoPartitionsLastUnshrinkable(pc);
    Create(0, 0);
    EXPECT_EQ(Scripts().size(), 3u) << family << ": primary, logical, logical again";
    EXPECT_EQ(Session().StatusText, "Creating.....Failed.") << family;
    EXPECT_TRUE(pc.Processes.Resizes.empty()) << family;
  }
}

// Every tick writes its line; the run's end and the end of a pause bring a
// tick at once, so the lines still show 0, then 1 while the run goes, then 2.
TEST_F(CreateFlow, EveryTickLogsTheStatus) {
  UseFamily(6);
  MbrWithFreeSpace(pc);
  pc.Processes.RunMs = 3000;
  StartCreate();
  const std::vector<std::string> atClick = HeldLines();
  ASSERT_TRUE(RunWorkflow());
  const std::vector<std::string> ticks = Lines("CreateTimer->");
  // Ticks at 1, 2 and 3 s; the run (3 s from the first tick) ends at 4 s and
  // brings the deciding tick at once.
  EXPECT_EQ(ticks, (std::vector<std::string>{"CreateTimer->ExecuteStatus=0", "CreateTimer->ExecuteStatus=1",
                                              "CreateTimer->ExecuteStatus=1", "CreateTimer->ExecuteStatus=2"}));
  const std::vector<std::string> clickLines = {"DiskIndex=0", "PartIndex=-1", "DiskIndex=0", "DiskNum=0"};
  EXPECT_NE(std::search(atClick.begin(), atClick.end(), clickLines.begin(), clickLines.end()), atClick.end())
      << "the indices as they stood before the click, then the rescan";
}

// The pause after a failed step keeps its 2 s; ticks during it change nothing.
TEST_F(CreateFlow, PausesKeepTheirLengthWithoutBlocking) {
  UseFamily(6);
  FullGpt(pc);
  pc.Processes.RunMs = 3000;
  StartCreate();
  AdvanceMs(1000);  // the first tick starts the primary create
  ASSERT_EQ(Scripts().size(), 1u);
  AdvanceMs(3000);  // it fails; the pause begins
  EXPECT_EQ(Session().CreateFlow.ExecuteStatus, TWorkflowSteps::kStepEnded);
  AdvanceMs(1900);
  EXPECT_EQ(Scripts().size(), 1u) << "nothing starts during the pause";
  AdvanceMs(200);
  EXPECT_EQ(Scripts().size(), 2u) << "the logical create starts when the pause ends";
  ASSERT_TRUE(RunWorkflow());
  EXPECT_EQ(pc.Count(Call::Sleep), 0);
}

// The whole Create takes its runs and pauses, and about nothing more: four
// runs of 3 s, three pauses between steps and Finish's pause, plus the first
// tick; and the failed logical create, close behind the primary one, once
// more after 15 s (eight pauses) and one more run.
TEST_F(CreateFlow, WallTimeIsRunsAndPauses) {
  UseFamily(6);
  FullGpt(pc);
  pc.Processes.RunMs = 3000;
  StartCreate();
  const uint64_t start = NowMs();
  ASSERT_TRUE(RunWorkflow());
  const uint64_t spent = NowMs() - start;
  const uint64_t specified = 5 * 3000 + 4 * kStepPauseMs + 1000 + 8 * kStepPauseMs;
  EXPECT_LE(spent, specified + 500);
  EXPECT_GE(spent, specified - 1000);
}

// The disk the user chose is gone by the click: nothing runs, and it fails.
// Or its layout cannot be read any more: a disk the program cannot see into
// is never written to.
TEST_F(CreateFlow, ChosenDiskGoneAtTheClick) {
  for (bool unreadable : {false, true}) {
    FreshPc();
    UseFamily(6);
    MbrWithFreeSpace(pc);
    Session();  // started up on the disk as it was
    if (unreadable)
      pc.Disks.FindDrive(0)->LayoutError = os::kErrorInvalidFunction;
    else
      pc.Disks.Drives.clear();
    Create();
    EXPECT_TRUE(Scripts().empty()) << unreadable;
    EXPECT_EQ(Session().StatusText, "Creating.....Failed.");
  }
}

// A Rapid Start partition made elsewhere since the window last looked: the
// click makes nothing and the window turns to it.
TEST_F(CreateFlow, RapidStartPartitionFoundAtTheClick) {
  UseFamily(6);
  MbrWithFreeSpace(pc);
  Form().Shown();
  pc.Disks.FindDrive(0)->AddPrimary(0x84, 50 * kGiB, 4 * kGiB);
  ClickCreate(Form(), pc);
  EXPECT_FALSE(Session().WorkflowRunning());
  EXPECT_TRUE(Scripts().empty());
  EXPECT_FALSE(Form().CreateButton.Enabled());
  EXPECT_TRUE(Form().DeleteButton.Enabled());
}

// Before a Create the window asks what /CREATE checks: the firmware, the
// memory the size must hold, and a shrink for want of free space; each at
// most once, in that order, only where the answer can matter. No starts
// nothing and gives the lock back.
TEST_F(CreateFlow, QuestionsBeforeACreate) {
  const std::string firmware =
      "This PC's firmware does not offer Intel Rapid Start, so the partition would not be used. Create it anyway?";
  const std::string memory =
      "The firmware uses the partition only if it holds the installed memory (8 GB). Create a 4 GB partition anyway?";
  const std::string shrink =
      "Disk 0 has not enough free space. Create will shrink a partition of this disk by 4 GB to make room. Continue?";
  enum Fw { kPresent, kAbsent, kUnknown };
  struct Row {
    const char* name;
    Fw fw;
    uint64_t memoryMb;
    uint64_t freeGb;  // behind C: on a 64 GB MBR disk
    int family;
    std::vector<std::string> asked;
  };
  const Row rows[] = {
      {"nothing to ask", kPresent, 4096, 24, 6, {}},
      {"firmware absent", kAbsent, 4096, 24, 6, {firmware}},
      {"firmware unknown is not asked", kUnknown, 4096, 24, 6, {}},
      {"memory above the size", kPresent, 8192, 24, 6, {memory}},
      {"memory below the size", kPresent, 2048, 24, 6, {}},
      {"memory unknown", kPresent, 0, 24, 6, {}},
      {"free space below the size", kPresent, 4096, 3, 6, {shrink}},
      {"free space just holds the size", kPresent, 4096, 4, 6, {}},
      {"a family that never shrinks", kPresent, 4096, 3, 1, {}},
      {"all three, in order", kAbsent, 8192, 3, 6, {firmware, memory, shrink}},
  };
  for (const Row& r : rows) {
    for (std::size_t no = 0; no <= r.asked.size(); ++no) {  // No to question `no`; past the end: Yes to all
      SCOPED_TRACE(std::string(r.name) + ", No to question " + std::to_string(no));
      FreshPc();
      UseFamily(r.family);
      if (r.fw == kPresent) pc.AddAcpiDevice({"ACPI\\INT3392", "*INT3392"});
      if (r.fw == kUnknown) pc.FailNth(Call::SetupDiGetClassDevsByEnumeratorA, 1, os::kErrorInvalidParameter);
      pc.System.MemoryModules.clear();
      if (r.memoryMb) pc.System.MemoryModules = {SimMemoryModule::Make(r.memoryMb * kMiB, 8, L"BANK 0")};
      SimDrive& d = pc.Disks.AddMbrDisk(0, 64 * kGiB);
      d.AddPrimary(0x07, kMiB, (64 - r.freeGb) * kGiB - kMiB, true);
      pc.Disks.AddVolume(0, 1, 'C');
      Form().Shown();
      Form().PartSizeComboBox.UserSelected(1);  // "4 GB"
      for (std::size_t q = 0; q < r.asked.size(); ++q) pc.MessageBoxAnswers.push_back(q == no ? os::kIdNo : os::kIdYes);
      Form().CreateButtonClick();
      std::vector<std::string> asked;
      for (std::size_t b = 0; b < pc.MessageBoxes.size() && b < r.asked.size(); ++b) {
        asked.push_back(pc.MessageBoxes[b].second);
        EXPECT_EQ(pc.MessageBoxTypes[b], os::kMbYesNo | os::kMbIconWarning | os::kMbDefButton2) << "No is the default";
      }
      const std::vector<std::string> expected(r.asked.begin(), r.asked.begin() + static_cast<std::ptrdiff_t>(
                                                                   std::min(no + 1, r.asked.size())));
      EXPECT_EQ(asked, expected);
      EXPECT_EQ(Session().WorkflowRunning(), no == r.asked.size());
      if (no < r.asked.size()) {
        EXPECT_EQ(Session().StatusText, "") << "No starts nothing";
        EXPECT_EQ(pc.CreatedMutexes.count(kDiskChangeMutexName), 0u) << "and gives the lock back";
      }
      ASSERT_TRUE(RunWorkflow());
      if (no < r.asked.size()) {
        EXPECT_TRUE(Scripts().empty());
      }
    }
  }
}

// Another run changing disks on this computer (a deployment in another
// session, a renamed copy): a click reads and changes nothing and says so.
// Once that run is over, a click works and holds the lock until it is done.
TEST_F(CreateFlow, AClickWhileAnotherRunChangesDisksChangesNothing) {
  for (bool create : {true, false}) {
    SCOPED_TRACE(create ? "Create" : "Delete");
    FreshPc();
    UseFamily(6);
    pc.AddAcpiDevice({"ACPI\\INT3392", "*INT3392"});  // nothing to ask before a Create
    if (create)
      MbrWithFreeSpace(pc);
    else
      WithRapidStart(pc, 4096);
    Form().Shown();
    const std::string status = Session().StatusText;
    const auto click = [&] { create ? Form().CreateButtonClick() : Form().DeleteButtonClick(); };
    pc.OtherMutexes.insert(kDiskChangeMutexName);
    const int reads = pc.Count(Call::DeviceIoControl);
    click();
    EXPECT_FALSE(Session().WorkflowRunning());
    EXPECT_EQ(pc.Count(Call::DeviceIoControl), reads) << "not even read";
    EXPECT_EQ(Session().StatusText, status);
    ASSERT_EQ(pc.MessageBoxes.size(), 1u);
    EXPECT_EQ(pc.MessageBoxes[0].second,
              "Nothing was changed: another copy of OrvRapidStart is changing a disk on this computer.");
    EXPECT_EQ(pc.MessageBoxTypes[0], os::kMbOk | os::kMbIconWarning);

    pc.OtherMutexes.clear();
    click();
    EXPECT_EQ(pc.CreatedMutexes.count(kDiskChangeMutexName), 1u) << "held while it runs";
    ASSERT_TRUE(RunWorkflow());
    EXPECT_EQ(Session().StatusText, create ? "Creating.....Done." : "Deleting.....Done.");
    EXPECT_EQ(pc.CreatedMutexes.count(kDiskChangeMutexName), 0u) << "given back when done";
  }
}

// ---- a failed Create leaves the disk as it was at the click ----

// A full partition table with 3 GB free behind D: at the click: the shrink
// that did not help is given back by what it took, and the 3 GB stay free.
TEST_F(CreateFlow, FreeSpaceOfTheClickStaysFreeAfterAGiveBack) {
  UseFamily(6);
  SimDrive& d = pc.Disks.AddMbrDisk(0, 64 * kGiB);
  for (int i = 0; i < 3; ++i) d.AddPrimary(0x07, kMiB + i * 16 * kGiB, 16 * kGiB - kMiB);
  d.AddPrimary(0x07, 48 * kGiB + kMiB, 13 * kGiB - kMiB);  // D:, 3 GB free behind it
  pc.Disks.AddVolume(0, 4, 'D');
  Create(0, 1);  // "4 GB": no free slot for it
  EXPECT_EQ(Session().StatusText, "Creating.....Failed.");
  EXPECT_EQ(Scripts().back(), "select disk 0|select partition 4|extend size=4096|exit");
  EXPECT_EQ(Find(Partitions(pc), 0, 48 * kGiB + kMiB)->Length, 13 * kGiB - kMiB);
}

// The same when what the shrink took cannot be seen right after it: the
// give-back never becomes a bare "extend" that would swallow the 3 GB that
// were free at the click.
TEST_F(CreateFlow, GiveBackNeverTakesTheFreeSpaceOfTheClick) {
  struct Row {
    const char* name;
    bool readFails;      // the read-back after the shrink fails
    bool lengthRestored; // the layout read back shows no shrink
    const char* lastScript;
    const char* logged;
  };
  const Row rows[] = {
      {"read-back fails", true, false, "select disk 0|select partition 4|extend size=4096|exit", "ShrunkMB=4096"},
      {"nothing seen shrunk", false, true, "select disk 0|create partition logical size=4096|set id=84 override|exit",
       "AfterFailure: the shrink took nothing that can be seen; nothing is extended"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    FreshPc();
    UseFamily(6);
    SimDrive& d = pc.Disks.AddMbrDisk(0, 64 * kGiB);
    for (int i = 0; i < 3; ++i) d.AddPrimary(0x07, kMiB + i * 16 * kGiB, 16 * kGiB - kMiB);
    d.AddPrimary(0x07, 48 * kGiB + kMiB, 13 * kGiB - kMiB);
    pc.Disks.AddVolume(0, 4, 'D');
    pc.Processes.Programs["diskpart"] = [&r, run = pc.Processes.Programs["diskpart"]](const std::string& line, SimPc& sim) {
      SimChildResult result = run(line, sim);
      if (sim.Processes.Scripts.back().find("shrink") == std::string::npos) return result;
      if (r.readFails) sim.FailNth(Call::DeviceIoControl, 1, os::kErrorGenFailure);  // the next request
      if (r.lengthRestored)
        for (SimPartition& p : sim.Disks.Drives[0].Layout)
          if (p.Offset == 48 * kGiB + kMiB) p.Length = 13 * kGiB - kMiB;
      return result;
    };
    Create(0, 1);
    EXPECT_EQ(Session().StatusText, "Creating.....Failed.");
    const std::vector<std::string> held = HeldLines();
    EXPECT_NE(std::find(held.begin(), held.end(), r.logged), held.end());
    EXPECT_EQ(Scripts().back(), r.lastScript);
    EXPECT_EQ(Find(Partitions(pc), 0, 48 * kGiB + kMiB)->Length, 13 * kGiB - kMiB);
  }
}

// A shrink whose run reports a failure although the partition shrank (its
// exit code lost): the disk decides, so the room is used, never stranded
// while the next partition is tried.
TEST_F(CreateFlow, ShrinkReportedFailedButDoneIsUsed) {
  UseFamily(6);
  FullGpt(pc);
  pc.Processes.Programs["diskpart"] = [run = pc.Processes.Programs["diskpart"]](const std::string& line, SimPc& sim) {
    SimChildResult result = run(line, sim);
    if (sim.Processes.Scripts.back().find("shrink") != std::string::npos) result.ExitCode = 0xFFFFFFFF;
    return result;
  };
  Create(0, 0);
  EXPECT_EQ(Session().StatusText, "Creating.....Done.");
  const std::vector<Part> after = Partitions(pc);
  ASSERT_EQ(after.size(), before.size() + 1);
  EXPECT_EQ(Find(before, 0, 117 * kMiB)->Length - Find(after, 0, 117 * kMiB)->Length, 2048 * kMiB);
  ExpectUntouched(pc, before, nullptr, 2048, "lost exit code");
}

// The create line succeeds, the type cannot be set (access denied, in the
// create script and in the type run, which is run twice as it failed close
// behind a run): the partition made is deleted, never left untyped, never
// joined by a second one, and the shrunk C: gets its room back.
TEST_F(CreateFlow, UntypablePartitionIsDeletedAndTheShrinkGivenBack) {
  UseFamily(6);
  FullGpt(pc);
  pc.Processes.CommandFailures["set"] = {0x80070005, 0x80070005, 0x80070005};
  Create(0, 0);
  const std::vector<std::string> scripts = Scripts();
  EXPECT_EQ(Session().StatusText, "Creating.....Failed.");
  ASSERT_GE(scripts.size(), 4u);
  EXPECT_EQ(scripts[scripts.size() - 4], "select disk 0|select partition 4|" + kGptType);
  EXPECT_EQ(scripts[scripts.size() - 3], "select disk 0|select partition 4|" + kGptType);
  EXPECT_EQ(scripts[scripts.size() - 2], "select disk 0|select partition 4|delete partition override|exit");
  EXPECT_EQ(scripts.back(), "select disk 0|select partition 3|extend size=2048|exit");
  EXPECT_EQ(std::count_if(scripts.begin(), scripts.end(),
                          [](const std::string& s) { return s.find("create partition") != std::string::npos; }),
            4) << "primary, logical twice, primary after the shrink: no create while ours stands";
  const std::vector<Part> after = Partitions(pc);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(Find(after, 0, 117 * kMiB)->Length, Find(before, 0, 117 * kMiB)->Length);
  const std::vector<std::string> held = HeldLines();
  EXPECT_NE(std::find(held.begin(), held.end(), "AfterFailure: the new partition cannot be typed; it is deleted"),
            held.end());
}

// Microsoft's 15 s between scripts: a shrink that fails because it came
// too soon is run once more after the spacing, not taken for a refusal.
TEST_F(CreateFlow, RunTooCloseToThePreviousIsRunAgainAfter15s) {
  UseFamily(6);
  FullGpt(pc);
  pc.Processes.RunMs = 1000;
  pc.Processes.CloseRunsFail = true;
  Create(0, 0);
  EXPECT_EQ(Session().StatusText, "Creating.....Done.");
  const std::vector<std::string> scripts = Scripts();
  EXPECT_EQ(std::count(scripts.begin(), scripts.end(), "select disk 0|select partition 3|shrink desired=2048 minimum=2048|exit"),
            2);
  ExpectUntouched(pc, before, nullptr, 2048, "close runs");
}

// ---- the partition to retype is found, not guessed ----


TEST_F(CreateFlow, IoFamilyRetypesTheNewPartitionNotTheRenumberedOne) {
  for (int family : {1, 2, 3}) {
    FreshPc();
    UseFamily(family);
    LogicalAfterAGap(pc);
    Create(0, 1);
    const std::vector<std::string> held = HeldLines();
    EXPECT_NE(std::find(held.begin(), held.end(), "NewPartNum=3"), held.end()) << "the prediction is still logged";
    EXPECT_NE(std::find(held.begin(), held.end(), "NewPartition->PartNum=2"), held.end());
    EXPECT_EQ(Session().StatusText, "Creating.....Done.") << family;
    ExpectUntouched(pc, before, nullptr, 0, "family " + std::to_string(family));
    const std::vector<Part> after = Partitions(pc);
    EXPECT_EQ(Find(after, 0, 60 * kGiB + kMiB)->MbrType, 0x07) << "D: keeps its type";
    // XP and Server 2003 start a new partition on the next track.
    const uint64_t track = 63 * 512, at = (30 * kGiB + kMiB + track - 1) / track * track;
    ASSERT_NE(Find(after, 0, at), nullptr);
    EXPECT_TRUE(Find(after, 0, at)->RapidStart());
  }
}

// What the direct retype makes is what a Delete finds: the new partition
// is no longer mounted (a hidden volume only), and a Delete by direct I/O
// removes it again through that volume, leaving the click's layout.
TEST_F(CreateFlow, IoFamilyCreateThenDeleteLeavesTheClickLayout) {
  for (int family : {1, 3}) {
    SCOPED_TRACE(family);
    FreshPc();
    UseFamily(family);
    if (family == 1) {
      MbrWithFreeSpace(pc);
    } else {
      SimDrive& d = pc.Disks.AddGptDisk(0, 128 * kGiB);
      d.AddGptPartition(kEfi, kMiB, 100 * kMiB);
      d.AddGptPartition(kData, 101 * kMiB, 60 * kGiB);
      pc.Disks.AddHiddenVolume(0, 1);
      pc.Disks.AddVolume(0, 2, 'C');
    }
    const std::vector<Part> click = Partitions(pc);
    Create(0, 0);
    ASSERT_EQ(Session().StatusText, "Creating.....Done.");
    const uint32_t made = family == 1 ? 2 : 3;
    const SimVolume* volume = pc.Disks.FindVolume(0, made);
    ASSERT_NE(volume, nullptr);
    EXPECT_TRUE(volume->Hidden) << "not mounted once it has the Rapid Start type";
    EXPECT_EQ(volume->Letter, 0);
    CloseSession();
    Delete();
    EXPECT_EQ(Session().StatusText, "Deleting.....Done.");
    const std::vector<Part> after = Partitions(pc);
    ASSERT_EQ(after.size(), click.size());
    for (const Part& b : click) EXPECT_TRUE(Find(after, b.Disk, b.Offset)) << Describe(b);
  }
}

// The type run after 0x80042413 goes to the new partition, is waited for,
// and its end is never taken for the end of a later run.
TEST_F(CreateFlow, TypeRunAfterDeviceInUseIsAStepOfItsOwn) {
  UseFamily(6);
  LogicalAfterAGap(pc);
  pc.Processes.SetIdRefusals = 1;  // the type line of the create script
  pc.Processes.RunMs = 3000;
  Create(0, 1);
  EXPECT_EQ(Scripts(), (std::vector<std::string>{
                           "select disk 0|create partition primary size=4096|" + kMbrType,
                           "select disk 0|select partition 2|" + kMbrType,
                       }));
  EXPECT_EQ(Session().StatusText, "Creating.....Done.");
  ExpectUntouched(pc, before, nullptr, 0, "type run");
  // Finish's rescan came after the type run had ended.
  const std::vector<std::string> held = HeldLines();
  const auto typeEnd = std::find(held.begin(), held.end(), "Error Code: 00000000");
  const auto done = std::find(held.rbegin(), held.rend(), "RapidStartPartIndex=1");
  ASSERT_NE(typeEnd, held.end());
  ASSERT_NE(done, held.rend());
  EXPECT_LT(typeEnd - held.begin(), held.rend() - done);
  EXPECT_TRUE(Lines("CreateTimer->IgnoredRun").empty());

  // A Delete right after has runs of its own.
  Delete();
  EXPECT_EQ(Session().StatusText, "Deleting.....Done.");
  EXPECT_TRUE(Lines("DeleteTimer->IgnoredRun").empty());
}

// An end notice that names another run is never taken for this step's end.
TEST_F(CreateFlow, AnEndOfAnotherRunIsIgnored) {
  UseFamily(6);
  MbrWithFreeSpace(pc);
  pc.Processes.HoldChildren = true;
  StartCreate();
  AdvanceMs(1000);  // the first tick starts the create run
  ASSERT_EQ(Session().CreateFlow.ExecuteStatus, TWorkflowSteps::kStepRunning);
  Session().CreateFlow.RunEnded(987654321, 0);
  EXPECT_EQ(Session().CreateFlow.ExecuteStatus, TWorkflowSteps::kStepRunning);
  EXPECT_EQ(Lines("CreateTimer->IgnoredRun"), std::vector<std::string>{"CreateTimer->IgnoredRun=987654321"});
  pc.Processes.HoldChildren = false;
  pc.ReleaseChildren();
  ASSERT_TRUE(RunWorkflow());
  EXPECT_EQ(Session().StatusText, "Creating.....Done.");
}

// Two new partitions since the click: neither is retyped.
TEST_F(CreateFlow, NothingIsRetypedWhenTheNewPartitionIsAmbiguous) {
  UseFamily(1);
  MbrWithFreeSpace(pc);
  Session();
  // Another partition appears between the click and the create's end.
  pc.BeforeNth(Call::CreateProcessA, 1, [this] { pc.Disks.FindDrive(0)->AddPrimary(0x07, 60 * kGiB, 2 * kGiB); });
  Create();
  const std::vector<std::string> held = HeldLines();
  EXPECT_NE(std::find(held.begin(), held.end(), "NewPartition: 2 partitions new since the click; nothing is retyped"),
            held.end());
  EXPECT_EQ(Find(Partitions(pc), 0, 60 * kGiB)->MbrType, 0x07);
}

// A close run that changed the disk before it failed is judged as it is,
// not run again: the disk is read before the run starts. Here the create
// line's partition is there as soon as the run starts (put there while its
// script is written), and the line then fails: a read after the start would
// take the changed disk for the one the run started on.
TEST_F(CreateFlow, CloseRunThatChangedTheDiskIsNotRunAgain) {
  UseFamily(6);
  FullGpt(pc);
  pc.Processes.RunMs = 1000;
  // After the shrink run (the 4th) has started, the next script written is
  // the create behind it.
  pc.BeforeNth(Call::CreateProcessA, 4, [this] {
    pc.BeforeNth(Call::WriteFile, 1, [this] {
      EXPECT_EQ(pc.Processes.Scripts.size(), 4u) << "the create after the shrink is being written";
      pc.Disks.FindDrive(0)->AddGptPartition(kData, 128 * kGiB - kMiB - 2048 * kMiB, 2048 * kMiB);
    });
  });
  Create(0, 0);
  const std::string primary2 = "select disk 0|create partition primary size=2048|";
  const std::string logical2 = "select disk 0|create partition logical size=2048|";
  EXPECT_EQ(Scripts(), (std::vector<std::string>{
                           primary2 + kGptType, logical2 + kGptType,
                           logical2 + kGptType,  // failed close behind the first logical: run again, unchanged disk
                           "select disk 0|select partition 3|shrink desired=2048 minimum=2048|exit",
                           primary2 + kGptType,  // the disk changed, then it failed: once only
                           "select disk 0|select partition 4|" + kGptType,
                       }));
  EXPECT_EQ(Lines("CloseRun:"), (std::vector<std::string>{
                                    "CloseRun: the run failed less than 15 s after the previous one; it runs again "
                                    "once the 15 s are over",
                                    "CloseRun: the disk changed during the failed run; it is not run again",
                                }));
}

// The rescan that judges a Create or a Delete comes just after diskpart has
// changed the disk; a disk that does not answer it then is read once more
// after a pause, rather than judged on nothing: a partition made is not
// reported as not made, nor one deleted as still there.
TEST_F(CreateFlow, FinishReadsADiskThatDidNotAnswerAgain) {
  const std::string again = "Rescan: the disk could not be read; it is read again after a pause";
  struct Row {
    const char* name;
    bool create;
    int unanswered;  // 0: every read answers; 1: the finish's first rescan does not; 2: neither does
    const char* status;
    size_t readAgain;
  };
  const Row rows[] = {
      {"Create, the first rescan", true, 1, "Creating.....Done.", 1},
      {"Delete, the first rescan", false, 1, "Deleting.....Done.", 1},
      {"Create, both rescans", true, 2, "Creating.....Failed.", 1},
      {"Create, all answered", true, 0, "Creating.....Done.", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    FreshPc();
    UseFamily(6);
    if (r.create) MbrWithFreeSpace(pc); else WithRapidStart(pc, 4096);
    // From the end of the script on, the layout requests fail until the
    // second read has been asked for (with 2, for good).
    std::function<void()> answerOnceReadAgain = [&] {
      if (r.unanswered == 1 && !Lines(again).empty()) pc.Disks.Drives[0].LayoutError = 0;
      pc.BeforeNth(Call::DeviceIoControl, 1, answerOnceReadAgain);
    };
    pc.Processes.Programs["diskpart"] = [&, run = pc.Processes.Programs["diskpart"]](const std::string& line,
                                                                                     SimPc& sim) {
      SimChildResult result = run(line, sim);
      if (r.unanswered > 0) sim.Disks.Drives[0].LayoutError = 21;  // ERROR_NOT_READY
      sim.BeforeNth(Call::DeviceIoControl, 1, answerOnceReadAgain);
      return result;
    };
    if (r.create) Create(0, 0); else Delete();
    EXPECT_EQ(Session().StatusText, r.status);
    EXPECT_EQ(Lines(again).size(), r.readAgain);
    pc.BeforeNth(Call::DeviceIoControl, 1, [] {});  // the armed hook outlives neither r nor itself
    pc.Disks.Drives[0].LayoutError = 0;
  }
}

}  // namespace

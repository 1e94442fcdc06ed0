// The unattended runs: the command line they accept, what /STATUS reports,
// /CREATE and /DELETE end to end on simulated PCs (the same invariants as
// the window's workflows), every refusal with its exit code, and the
// process around them: where the report goes, the log file, one instance.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/entry.h"
#include "app/switches.h"
#include "app/unattended.h"
#include "partops/disk_change_lock.h"
#include "demo/demo_machines.h"
#include "shell/global.h"
#include "shell/log_file.h"
#include "workflow_fixture.h"

namespace {

using namespace flowtest;

// ---- the command line ----

struct SwitchRow {
  const char* args;
  TAction action;
  bool error;
};

TEST(UnattendedSwitches, ActionsAndErrors) {
  const SwitchRow rows[] = {
      {"", TAction::Window, false},
      {"\"", TAction::Window, false},
      {"\" /STATUS", TAction::Status, false},
      {" /status", TAction::Status, false},
      {" /Delete /debug", TAction::Delete, false},
      {" /CREATE", TAction::Create, false},
      {" /CREATE:8192 /DISK:1 /FORCE /RESTART", TAction::Create, false},
      {" /CREATE:auto /disk:Auto", TAction::Create, false},
      {" /CREATE:99999999999999999999999", TAction::Create, false},  // a number: the run refuses its range
      {" /CREATE:", TAction::Create, true},
      {" /CREATE:-4096", TAction::Create, true},
      {" /CREATE:4096MB", TAction::Create, true},
      {" /CREATE:0x1000", TAction::Create, true},
      {" /CREATE /DISK:", TAction::Create, true},
      {" /CREATE /DISK:-1", TAction::Create, true},
      {" /CREATE /DISK:one", TAction::Create, true},
      {" /CREATE /DISK", TAction::Create, true},
      {" /CREATE /DISK:1 /DISK:2", TAction::Create, true},
      {" /STATUS /STATUS", TAction::Status, true},
      {" /CREATE /CREATE:4096", TAction::Create, true},
      {" /STATUS /DELETE", TAction::Delete, true},
      {" /CREATE /DELETE", TAction::Delete, true},
      {" /STATUS:now", TAction::Status, true},
      {" /STATUS /FORCE", TAction::Status, true},
      {" /DELETE /RESTART", TAction::Delete, true},
      {" /DELETE /DISK:0", TAction::Delete, true},
      {" /STATUS /UNINSTALL", TAction::Status, true},
      {" /STATUS /QUIET", TAction::Status, true},
      {" /STATUS report.txt", TAction::Status, true},
      {" /STATUS /LOG:", TAction::Status, true},
      {" /STATUS /DEBUG:1", TAction::Status, true},
      // The window never minded what it did not know.
      {" /DEBUG /QUIET whatever /CREATE:", TAction::Create, true},
      {" /DEBUG /QUIET whatever", TAction::Window, false},
      {" /STATUSES", TAction::Window, false},
      {" /DISK:1 /FORCE", TAction::Window, false},
      // Help wins over whatever else is there, errors included.
      {" /?", TAction::Help, false},
      {" /help", TAction::Help, false},
      {" /CREATE:-1 /HELP", TAction::Help, false},
      {" /DEBUG /?", TAction::Help, false},
      {" /HELPME", TAction::Window, false},
      {" /??", TAction::Window, false},
  };
  for (const SwitchRow& r : rows) {
    const TSwitches s = ReadSwitches(r.args);
    EXPECT_EQ(s.Action, r.action) << r.args;
    EXPECT_EQ(!s.Error.empty(), r.error) << r.args << ": " << s.Error;
  }
}

TEST(UnattendedSwitches, Values) {
  TSwitches s = ReadSwitches("\" /create:8192 /DISK:3 /force /Restart /debug");
  EXPECT_FALSE(s.SizeAuto);
  EXPECT_EQ(s.SizeMb, 8192u);
  EXPECT_FALSE(s.DiskAuto);
  EXPECT_EQ(s.DiskNum, 3u);
  EXPECT_TRUE(s.Force && s.Restart && s.Debug);

  s = ReadSwitches(" /CREATE:AUTO /DISK:auto");
  EXPECT_TRUE(s.SizeAuto && s.DiskAuto);
  s = ReadSwitches(" /CREATE:99999999999999999999999 /DISK:4294967296");
  EXPECT_EQ(s.SizeMb, kMaxSwitchNumber) << "a huge number saturates rather than wrapping into range";
  EXPECT_EQ(s.DiskNum, kMaxSwitchNumber);
  s = ReadSwitches(" /CREATE:0000004096");
  EXPECT_EQ(s.SizeMb, 4096u);

  // The path keeps its letters and blanks; quotes group and go.
  s = ReadSwitches(" /STATUS \"/LOG:C:\\My Logs\\Rapid Start.log\"");
  EXPECT_EQ(s.LogPath, "C:\\My Logs\\Rapid Start.log");
  s = ReadSwitches(" /LOG:\"C:\\My Logs\\a.log\" /DELETE");
  EXPECT_EQ(s.LogPath, "C:\\My Logs\\a.log");
  EXPECT_EQ(s.Action, TAction::Delete);
  s = ReadSwitches(" /log:D:\\x.log");
  EXPECT_EQ(s.Action, TAction::Window) << "the window takes its log file too";
  EXPECT_EQ(s.LogPath, "D:\\x.log");

  // The demo's own switches are passed over where it says so.
  EXPECT_FALSE(ReadSwitches(" /MACHINE=existing /RUNMS=500 /STATUS").Error.empty());
  EXPECT_EQ(ReadSwitches(" /machine=existing /RUNMS=500 /STATUS", {"/MACHINE=", "/RUNMS="}).Error, "");
}

TEST(UnattendedSwitches, Words) {
  EXPECT_EQ(SplitCommandWords("  a\tb  \"c d\" e\"f g\"h \"\" "),
            (std::vector<std::string>{"a", "b", "c d", "ef gh", ""}));
  EXPECT_EQ(SplitCommandWords("\"unclosed quote stays one word"),
            (std::vector<std::string>{"unclosed quote stays one word"}));
}

// ---- the runs, on a simulated PC and its clock ----

void WithFirmware(SimPc& pc) { pc.AddAcpiDevice({"ACPI\\INT3392", "*INT3392"}); }

class Unattended : public WorkflowTest {
 protected:
  Unattended() { WithFirmware(pc); }
  // A new machine whose firmware offers Intel Rapid Start.
  void Fresh() {
    FreshPc();
    WithFirmware(pc);
  }

  // The loop waits on the simulated clock: it moves to the next timer or
  // child event once every worker is idle.
  class SimLoopClock : public TLoopClock {
   public:
    explicit SimLoopClock(Unattended& t) : t_(t) {}
    uint64_t NowMs() override { return t_.pc.Clock.NowMs(); }
    void WaitUntil(TQueueDispatcher&, uint64_t dueMs) override {
      t_.Settle();
      const uint64_t now = NowMs();
      uint64_t next = std::min(dueMs, t_.pc.NextChildEventMs());
      if (next <= now) next = now + 1;
      t_.pc.AdvanceMs(next - now);
      t_.Settle();
    }

   private:
    Unattended& t_;
  };

  int Run(const std::string& args) {
    const TSwitches s = ReadSwitches(args);
    EXPECT_EQ(s.Error, "") << args;
    before = Partitions(pc);
    out.clear();
    SimLoopClock clock(*this);
    TUnattendedEnv env{gui, clock, [this](const std::string& line) { out.push_back(line); }};
    const int code = RunUnattended(s, env);
    gui.PumpUntil([] { return TThread::LiveCount() == 0; });
    return code;
  }
  // The value of the report's first "key=" line, or "<none>".
  std::string Value(const std::string& key) const {
    for (const std::string& line : out)
      if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return "<none>";
  }
  std::string Report() const {
    std::string text;
    for (const std::string& line : out) text += line + "\n";
    return text;
  }
  int RapidStartParts() {
    const std::vector<Part> parts = Partitions(pc);
    return static_cast<int>(std::count_if(parts.begin(), parts.end(), [](const Part& p) { return p.RapidStart(); }));
  }
  void Memory(uint64_t mb) { pc.System.MemoryModules = {SimMemoryModule::Make(mb * kMiB, 8, L"BANK 0")}; }

  std::vector<std::string> out;
};

TEST_F(Unattended, StatusVerdicts) {
  struct Row {
    const char* name;
    uint64_t rapidStartMb;  // 0: none
    uint64_t memoryMb;
    int code;
    const char* verdict;
  };
  const Row rows[] = {
      {"none", 0, 8192, kExitNoPartition, "NoPartition"},
      {"as large as memory", 8192, 8192, kExitOk, "Ready"},
      {"larger than memory", 16384, 8192, kExitOk, "Ready"},
      {"one MB short", 8191, 8192, kExitTooSmall, "TooSmall"},
      {"16 GB of memory, 8 GB partition", 8192, 16384, kExitTooSmall, "TooSmall"},
  };
  for (const Row& r : rows) {
    Fresh();
    Memory(r.memoryMb);
    if (r.rapidStartMb)
      WithRapidStart(pc, r.rapidStartMb);
    else
      MbrWithFreeSpace(pc);
    EXPECT_EQ(Run(" /STATUS"), r.code) << r.name;
    EXPECT_EQ(Value("Verdict"), r.verdict) << r.name;
    EXPECT_EQ(Value("ExitCode"), std::to_string(r.code)) << r.name;
    EXPECT_EQ(Value("PhysicalMemoryMB"), std::to_string(r.memoryMb)) << r.name;
    EXPECT_EQ(Value("RapidStart"), r.rapidStartMb ? "Present" : "None") << r.name;
    EXPECT_TRUE(pc.Processes.Runs.empty()) << r.name << ": a status report changes nothing";
  }
}

TEST_F(Unattended, FirmwareWithoutRapidStart) {
  struct Row {
    const char* name;
    bool partition;
    const char* args;
    int code;
    int rapidStartParts;
  };
  const Row rows[] = {
      {"status, no partition", false, " /STATUS", kExitNoFirmware, 0},
      {"status, a partition as large as memory", true, " /STATUS", kExitNoFirmware, 1},
      {"create refused", false, " /CREATE", kExitFirmwareAbsent, 0},
      {"create with /FORCE", false, " /CREATE /FORCE", kExitOk, 1},
      {"a partition there: exists wins", true, " /CREATE", kExitExists, 1},
  };
  for (const Row& r : rows) {
    FreshPc();  // no Rapid Start device among the ACPI devices
    pc.AddAcpiDevice({"ACPI\\PNP0C0A", "*PNP0C0A"});
    Memory(4096);
    if (r.partition)
      WithRapidStart(pc, 4096);
    else
      MbrWithFreeSpace(pc);
    EXPECT_EQ(Run(r.args), r.code) << r.name << "\n" << Report();
    EXPECT_EQ(Value("RapidStartFirmware"), "Absent") << r.name;
    EXPECT_EQ(RapidStartParts(), r.rapidStartParts) << r.name;
  }
  // A firmware check that cannot tell is no reason to refuse.
  FreshPc();
  pc.FailNth(Call::SetupDiGetClassDevsByEnumeratorA, 1, os::kErrorAccessDenied);
  MbrWithFreeSpace(pc);
  EXPECT_EQ(Run(" /CREATE"), kExitOk) << Report();
  EXPECT_EQ(Value("RapidStartFirmware"), "Unknown");
}

TEST_F(Unattended, CreateOnTheFirstSolidStateDisk) {
  constexpr uint8_t kSata = 11, kNvme = 17, kUsb = 7, kSd = 12, kNone = 0xFF;  // kNone: no descriptor
  struct Row {
    const char* name;
    SimMediaKind media[3];
    uint8_t bus[3];
    const char* args;
    int code;
    const char* disk;  // the disk chosen, or nullptr when refused
  };
  const Row rows[] = {
      {"the SSD after a disk", {kSimHdd, kSimSsd, kSimSsd}, {kSata, kSata, kSata}, " /CREATE", kExitOk, "2"},
      {"no SSD: the first disk", {kSimHdd, kSimMediaUnknown, kSimHdd}, {kSata, kSata, kSata}, " /CREATE", kExitOk, "1"},
      {"the SSD first", {kSimSsd, kSimHdd, kSimSsd}, {kNvme, kSata, kSata}, " /CREATE:4096 /DISK:AUTO", kExitOk, "1"},
      {"a named disk over the SSD", {kSimSsd, kSimHdd, kSimHdd}, {kSata, kSata, kSata}, " /CREATE /DISK:3", kExitOk,
       "3"},
      {"a fixed USB SSD is passed over", {kSimSsd, kSimHdd, kSimSsd}, {kUsb, kSata, kSata}, " /CREATE", kExitOk, "3"},
      {"a card reader is no first disk", {kSimHdd, kSimHdd, kSimHdd}, {kSd, kSata, kSata}, " /CREATE", kExitOk, "2"},
      {"a bus that cannot be read is passed over", {kSimSsd, kSimHdd, kSimHdd}, {kNone, kSata, kSata}, " /CREATE",
       kExitOk, "2"},
      {"only external disks", {kSimSsd, kSimSsd, kSimSsd}, {kUsb, kSd, kUsb}, " /CREATE", kExitBadDisk, nullptr},
      {"a USB disk by number", {kSimSsd, kSimHdd, kSimHdd}, {kUsb, kSata, kSata}, " /CREATE /DISK:1", kExitBadDisk,
       nullptr},
      {"a USB disk by number with /FORCE", {kSimSsd, kSimHdd, kSimHdd}, {kUsb, kSata, kSata}, " /CREATE /DISK:1 /FORCE",
       kExitOk, "1"},
  };
  for (const Row& r : rows) {
    Fresh();
    for (int n = 1; n <= 3; ++n) {
      SimDrive& d = pc.Disks.AddMbrDisk(n, 64 * kGiB);
      d.AddPrimary(0x07, kMiB, 40 * kGiB, n == 1);
      d.Media = r.media[n - 1];
      if (r.bus[n - 1] == kNone)
        d.DescriptorError = os::kErrorInvalidFunction;
      else
        d.Descriptor.BusType = r.bus[n - 1];
    }
    EXPECT_EQ(Run(r.args), r.code) << r.name << "\n" << Report();
    if (!r.disk) {
      EXPECT_TRUE(pc.Processes.Runs.empty()) << r.name;
      continue;
    }
    EXPECT_EQ(Value("Disk"), r.disk) << r.name;
    EXPECT_EQ(Value("RapidStart.Disk"), r.disk) << r.name;
  }
}

TEST_F(Unattended, StatusOfAPartitionWhenMemoryIsUnknown) {
  WithRapidStart(pc, 4096);
  pc.System.MemoryModules.clear();
  EXPECT_EQ(Run(" /STATUS"), kExitOk);
  EXPECT_EQ(Value("PhysicalMemoryMB"), "0");
  EXPECT_NE(Value("Reason").find("unknown"), std::string::npos);
}

TEST_F(Unattended, StatusDescribesEachDisk) {
  Memory(8192);
  WithRapidStart(pc, 4096);
  SimDrive& gpt = pc.Disks.AddGptDisk(2, 128 * kGiB);
  gpt.AddGptPartition(kData, kMiB, 100 * kGiB);
  gpt.Descriptor.Product = "Line\nBreak  ";
  pc.Disks.AddUsbFlash(3);
  SimDrive& broken = pc.Disks.AddMbrDisk(5, 32 * kGiB);
  broken.LayoutError = 1;
  EXPECT_EQ(Run(" /STATUS"), kExitTooSmall);
  EXPECT_EQ(Value("FixedDisks"), "3") << "the USB disk is not fixed";
  EXPECT_EQ(Value("Disk.0.Style"), "MBR");
  EXPECT_EQ(Value("Disk.0.SizeMB"), "65536");
  EXPECT_EQ(Value("Disk.0.FreeMB"), std::to_string(65536 - 40 * 1024 - 4096));
  EXPECT_EQ(Value("Disk.0.RapidStart"), "Yes");
  EXPECT_EQ(Value("Disk.2.Style"), "GPT");
  EXPECT_EQ(Value("Disk.2.Product"), "Line?Break") << "one line, no padding";
  EXPECT_EQ(Value("Disk.2.RapidStart"), "No");
  EXPECT_EQ(Value("Disk.5.Style"), "Unknown");
  EXPECT_EQ(Value("Disk.5.FreeMB"), "Unknown");
  EXPECT_EQ(Value("Disk.5.RapidStart"), "Unknown");
  EXPECT_EQ(Value("Disk.3.Style"), "<none>");
  EXPECT_EQ(Value("RapidStart.Disk"), "0");
  EXPECT_EQ(Value("RapidStart.PartNum"), "2");
  EXPECT_EQ(Value("RapidStart.SizeMB"), "4096");
  EXPECT_EQ(Value("RapidStart.Type"), "0x84");
}

// /STATUS on each demo machine, compared with its golden file
// (ORV_UPDATE_GOLDEN=1 writes them anew).
TEST_F(Unattended, StatusOfTheDemoMachines) {
  for (const TDemoMachine& m : DemoMachines()) {
    FreshPc();  // the machine brings its own firmware
    m.Build(pc);
    const int code = Run(" /STATUS");
    const std::string path = std::string(ORV_SOURCE_DIR) + "/tests/golden/status_" + m.Name + ".txt";
    if (std::getenv("ORV_UPDATE_GOLDEN")) {
      std::ofstream(path, std::ios::binary) << Report();
      continue;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    std::stringstream golden;
    golden << in.rdbuf();
    EXPECT_EQ(Report(), golden.str()) << m.Name;
    EXPECT_EQ(Value("ExitCode"), std::to_string(code));
  }
}

struct CreateRow {
  const char* name;
  int family;
  void (*build)(SimPc&);
  const char* args;
  int code;
  int rapidStartParts;
};

void PrintTo(const CreateRow& r, std::ostream* os) { *os << r.name; }

const CreateRow kCreateRows[] = {
    {"FreeSpaceWin7", 6, MbrWithFreeSpace, " /CREATE:8192", kExitOk, 1},
    {"FreeSpaceVista", 4, MbrWithFreeSpace, " /CREATE:8192 /DISK:0", kExitOk, 1},
    {"FreeSpaceXpDirectIo", 1, MbrWithFreeSpace, " /CREATE:8192", kExitOk, 1},
    {"FreeSpaceXp64Helper", 3, MbrWithFreeSpace, " /CREATE:8192", kExitOk, 1},
    {"FreeSpace2003Itanium", 2, MbrWithFreeSpace, " /CREATE:8192", kExitOk, 1},
    {"FreeSpaceUnknownFamily", -1, MbrWithFreeSpace, " /CREATE:8192", kExitOk, 1},
    {"FullGptShrinks", 6, FullGpt, " /CREATE:8192", kExitOk, 1},
    {"FullGptXpCannotShrink", 1, FullGpt, " /CREATE:8192", kExitFailed, 0},
    {"LogicalAfterAGap", 4, LogicalAfterAGap, " /CREATE", kExitOk, 1},
};

class UnattendedCreate : public Unattended, public ::testing::WithParamInterface<CreateRow> {};

TEST_P(UnattendedCreate, EndToEnd) {
  const CreateRow& r = GetParam();
  UseFamily(r.family);
  r.build(pc);
  pc.Processes.RunMs = 3000;
  EXPECT_EQ(Run(r.args), r.code) << Report();
  EXPECT_EQ(RapidStartParts(), r.rapidStartParts);
  EXPECT_EQ(Value("Result"), r.code == kExitOk ? "Created" : "Failed");
  EXPECT_EQ(Value("Disk"), "0");
  EXPECT_EQ(Value("Step").substr(0, 13), "CreatePrimary") << "each step is printed";
  if (r.code == kExitOk) {
    EXPECT_EQ(Value("Status"), "Creating.....Done.");
    if (pc.Version.record.dwMajorVersion >= 6) {
      EXPECT_EQ(Value("RapidStart.SizeMB"), Value("SizeMB"));
    } else {  // rounded up to whole cylinders (8 MB)
      EXPECT_GE(std::stoul(Value("RapidStart.SizeMB")), std::stoul(Value("SizeMB")));
      EXPECT_LT(std::stoul(Value("RapidStart.SizeMB")), std::stoul(Value("SizeMB")) + 8);
    }
    EXPECT_EQ(Value("Restart"), "No");
  }
  EXPECT_TRUE(pc.MessageBoxes.empty()) << "no question without a window";
  EXPECT_TRUE(pc.System.Shutdowns.empty());
  ExpectUntouched(pc, before, nullptr, 8192, r.name);
  ExpectLayoutsWrittenFromReads(pc, r.name);
}

INSTANTIATE_TEST_SUITE_P(Create, UnattendedCreate, ::testing::ValuesIn(kCreateRows),
                         [](const ::testing::TestParamInfo<CreateRow>& info) { return std::string(info.param.name); });

// AUTO is the smallest size /STATUS then calls Ready (the window's choice
// allows 100 MB of tolerance, which the firmware does not).
TEST_F(Unattended, CreateSizeAutoHoldsTheMemory) {
  struct Row {
    uint64_t memoryMb;
    const char* size;  // nullptr: refused
  };
  for (const Row& r : {Row{4096, "4096"}, Row{8250, "16384"}, Row{8293, "16384"}, Row{40000, "65536"},
                       Row{65536, "65536"}, Row{0, "2048"}, Row{65537, nullptr}}) {
    Fresh();
    pc.Disks.AddMbrDisk(0, 256 * kGiB).AddPrimary(0x07, kMiB, 40 * kGiB, true);  // room for 64 GB
    pc.Disks.AddVolume(0, 1, 'C');
    if (r.memoryMb)
      Memory(r.memoryMb);
    else
      pc.System.MemoryModules.clear();
    if (!r.size) {
      EXPECT_EQ(Run(" /CREATE:AUTO"), kExitBadSize) << r.memoryMb;
      EXPECT_TRUE(pc.Processes.Runs.empty()) << r.memoryMb;
      continue;
    }
    EXPECT_EQ(Run(" /CREATE:AUTO"), kExitOk) << r.memoryMb;
    EXPECT_EQ(Value("SizeMB"), r.size) << r.memoryMb;
    EXPECT_EQ(Value("Warning"), "<none>") << r.memoryMb;
  }
}

// After a success the report says what /STATUS will call the partition
// when that is not Ready; before it, a size below memory is warned of.
TEST_F(Unattended, CreateWarnsOfWhatStatusWillReport) {
  struct Row {
    const char* args;
    bool firmware;
    const char* after;  // the warning after Result=Created; nullptr: none
  };
  for (const Row& r : {Row{" /CREATE:4096", true, "Warning=/STATUS will report TooSmall: "},
                       Row{" /CREATE /FORCE", false, "Warning=/STATUS will report NoFirmware: "},
                       Row{" /CREATE", true, nullptr}}) {
    FreshPc();
    if (r.firmware) WithFirmware(pc);
    MbrWithFreeSpace(pc);
    Memory(8192);
    ASSERT_EQ(Run(r.args), kExitOk) << r.args;
    const std::string report = Report();
    const std::size_t created = report.find("Result=Created\n");
    ASSERT_NE(created, std::string::npos) << r.args;
    const std::size_t warning = report.find("\nWarning=/STATUS", created);
    if (r.after)
      EXPECT_EQ(report.substr(warning + 1, std::string(r.after).size()), r.after) << report;
    else
      EXPECT_EQ(warning, std::string::npos) << report;
  }
  FreshPc();
  WithFirmware(pc);
  MbrWithFreeSpace(pc);
  Memory(8192);
  EXPECT_EQ(Run(" /CREATE:4096"), kExitOk);
  EXPECT_NE(Value("Warning").find("smaller than the installed memory"), std::string::npos) << "before the run";
}

TEST_F(Unattended, CreateRefusals) {
  struct Row {
    const char* name;
    void (*build)(SimPc&);
    const char* args;
    int code;
  };
  const Row rows[] = {
      {"size below 1024", MbrWithFreeSpace, " /CREATE:1023", kExitBadSize},
      {"size above 65536", MbrWithFreeSpace, " /CREATE:65537", kExitBadSize},
      {"size zero", MbrWithFreeSpace, " /CREATE:0", kExitBadSize},
      {"huge size", MbrWithFreeSpace, " /CREATE:99999999999999999999", kExitBadSize},
      {"partition exists", [](SimPc& pc) { WithRapidStart(pc, 4096); }, " /CREATE", kExitExists},
      {"no such disk", MbrWithFreeSpace, " /CREATE /DISK:7", kExitBadDisk},
      {"disk number beyond 63", MbrWithFreeSpace, " /CREATE /DISK:64", kExitBadDisk},
      {"huge disk number", MbrWithFreeSpace, " /CREATE /DISK:4294967296", kExitBadDisk},
      {"USB disk", [](SimPc& pc) { MbrWithFreeSpace(pc); pc.Disks.AddUsbFlash(1); }, " /CREATE /DISK:1", kExitBadDisk},
      {"no fixed disk", [](SimPc& pc) { pc.Disks.AddUsbFlash(1); }, " /CREATE", kExitBadDisk},
      {"unreadable table", [](SimPc& pc) { pc.Disks.AddMbrDisk(0, 64 * kGiB).LayoutError = 1; }, " /CREATE",
       kExitBadDisk},
  };
  for (const Row& r : rows) {
    Fresh();
    r.build(pc);
    EXPECT_EQ(Run(r.args), r.code) << r.name << "\n" << Report();
    EXPECT_EQ(Value("Result"), "Refused") << r.name;
    EXPECT_NE(Value("Reason"), "<none>") << r.name;
    EXPECT_TRUE(pc.Processes.Runs.empty()) << r.name << ": nothing is run";
    EXPECT_TRUE(pc.Processes.Scripts.empty()) << r.name;
  }
}

// Whatever may change a disk holds the machine-wide lock, made for
// administrators and SYSTEM only, from before its first look at the disks;
// a run that finds it held, or cannot take it, reads and changes nothing.
TEST_F(Unattended, OneRunChangesDisksAtATimeOnTheMachine) {
  const std::string busy = "another copy of OrvRapidStart is changing a disk on this computer";
  const auto heldElsewhere = [](SimPc& pc) { pc.OtherMutexes.insert(kDiskChangeMutexName); };
  struct Row {
    const char* name;
    const char* args;
    std::function<void(SimPc&)> arrange;
    int code;
    std::string reason;  // empty: the run is not refused
    bool runs;           // diskpart runs
  };
  const Row rows[] = {
      {"create while another session holds it", " /CREATE:4096", heldElsewhere, kExitAnotherCopy, busy, false},
      {"delete while another session holds it", " /DELETE", heldElsewhere, kExitAnotherCopy, busy, false},
      {"made by another account, not to be opened", " /CREATE:4096",
       [](SimPc& pc) { pc.FailNth(Call::CreateMutexA, 1, os::kErrorAccessDenied); }, kExitAnotherCopy, busy, false},
      {"cannot be made", " /DELETE", [](SimPc& pc) { pc.FailNth(Call::CreateMutexA, 1, os::kErrorInvalidParameter); },
       kExitAnotherCopy, "the lock on disk changes cannot be taken (error 87)", false},
      {"status does not need it", " /STATUS", heldElsewhere, kExitOk, "", false},
      {"create", " /CREATE:4096", nullptr, kExitOk, "", true},
      {"delete", " /DELETE", nullptr, kExitOk, "", true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Fresh();
    if (std::string(r.args) == " /CREATE:4096")
      MbrWithFreeSpace(pc);
    else
      WithRapidStart(pc, 16384);
    if (r.arrange) r.arrange(pc);
    std::vector<std::string> heldBy;  // the lock's access list each time diskpart started
    pc.Processes.Programs["diskpart"] = [&heldBy, run = pc.Processes.Programs["diskpart"]](const std::string& line,
                                                                                          SimPc& sim) {
      heldBy.push_back(sim.CreatedMutexes.count(kDiskChangeMutexName) ? sim.MutexSddl[kDiskChangeMutexName] : "");
      return run(line, sim);
    };
    EXPECT_EQ(Run(r.args), r.code) << Report();
    if (!r.reason.empty()) {
      EXPECT_EQ(out, (std::vector<std::string>{std::string("Action=") + (r.args[2] == 'C' ? "Create" : "Delete"),
                                               "Result=Refused", "Reason=" + r.reason, "ExitCode=75"}));
      EXPECT_EQ(pc.Count(Call::DeviceIoControl), 0) << "not even read";
    }
    EXPECT_EQ(!heldBy.empty(), r.runs);
    for (const std::string& sddl : heldBy) EXPECT_EQ(sddl, "D:P(A;;GA;;;BA)(A;;GA;;;SY)");
    EXPECT_EQ(pc.CreatedMutexes.count(kDiskChangeMutexName), 0u) << "given back at the end";
  }
}

// A shrink that takes minutes: the report waits for it, a line each minute,
// and never says Failed while diskpart may still change the disk, not even
// past the hour after which a workflow with no run going is given up.
TEST_F(Unattended, LongRunIsWaitedForWithAWaitingLineEachMinute) {
  const struct {
    uint32_t shrinkMs;
    int minutes;  // Waiting lines at least
  } rows[] = {{150000, 2}, {65 * 60 * 1000, 64}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.shrinkMs);
    Fresh();
    UseFamily(6);
    FullGpt(pc);
    pc.Processes.RunMs = 3000;
    pc.Processes.ShrinkRunMs = r.shrinkMs;
    EXPECT_EQ(Run(" /CREATE:2048"), kExitOk) << Report();
    EXPECT_EQ(Value("Result"), "Created");
    int waiting = 0;
    for (const std::string& line : out) waiting += line.rfind("Waiting=", 0) == 0 && line.find("min;") != std::string::npos;
    EXPECT_GE(waiting, r.minutes);
  }
}

TEST_F(Unattended, CreateWithRestart) {
  MbrWithFreeSpace(pc);
  EXPECT_EQ(Run(" /CREATE:8192 /RESTART"), kExitOk);
  EXPECT_EQ(Value("Restart"), "Requested");
  EXPECT_EQ(pc.System.Shutdowns.size(), 1u);
  EXPECT_TRUE(pc.MessageBoxes.empty());

  Fresh();
  MbrWithFreeSpace(pc);
  pc.System.TokenPrivileges.erase("SeShutdownPrivilege");  // a restricted token
  EXPECT_EQ(Run(" /CREATE:8192 /RESTART"), kExitRestartRefused);
  EXPECT_EQ(Value("Result"), "Created");
  EXPECT_EQ(Value("Restart"), "Refused");
}

TEST_F(Unattended, DeleteEndToEnd) {
  struct Row {
    const char* name;
    int family;
    bool partition;
    bool failStart;  // the diskpart run cannot start
    int code;
    bool refused = false;  // the delete line is refused after the retype: the partition stays
    bool volumeUnmatched = false;  // no volume can be matched to the partition: the direct delete cannot reach it
  };
  const Row rows[] = {
      {"Win7", 6, true, false, kExitOk},
      {"Vista 32-bit", 4, true, false, kExitOk},
      {"XP by direct I/O", 1, true, false, kExitOk},
      {"XP x64 by direct I/O", 3, true, false, kExitOk},
      {"2003 Itanium by direct I/O", 2, true, false, kExitOk},
      {"unknown family", -1, true, false, kExitOk},
      {"nothing to delete", 6, false, false, kExitNoPartition},
      {"diskpart cannot start", 6, true, true, kExitFailed},
      {"delete refused after the retype", 6, true, false, kExitFailed, true},
      {"direct delete cannot reach it", 1, true, false, kExitFailed, false, true},
  };
  for (const Row& r : rows) {
    Fresh();
    UseFamily(r.family);
    if (r.partition)
      WithRapidStart(pc, 4096);
    else
      MbrWithFreeSpace(pc);
    pc.Processes.RunMs = 3000;
    if (r.failStart) pc.FailNth(Call::CreateProcessA, 1, os::kErrorFileNotFound);
    if (r.refused) pc.Processes.CommandFailures["delete"] = {0x80070005, 0x80070005};
    if (r.volumeUnmatched) pc.Disks.FindVolume(0, 2)->DeviceNumberFails = true;
    const std::vector<Part> start = Partitions(pc);
    EXPECT_EQ(Run(" /DELETE"), r.code) << r.name << "\n" << Report();
    if (r.refused || r.volumeUnmatched) {
      EXPECT_EQ(Value("Result"), "Failed") << r.name;
      EXPECT_EQ(Value("FailureCode"), r.refused ? "0x80070005" : "0x8007001F") << r.name;
    }
    EXPECT_EQ(RapidStartParts(), r.code == kExitOk ? 0 : r.partition ? 1 : 0) << r.name;
    const Part* deleted = r.partition ? Find(start, 0, 40 * kGiB + kMiB) : nullptr;
    ExpectUntouched(pc, start, deleted, 0, r.name);
    ExpectLayoutsWrittenFromReads(pc, r.name);
    EXPECT_TRUE(pc.MessageBoxes.empty()) << r.name;
  }
}

// ---- the process: RunApplication with an unattended command line ----

class NoWindowHost : public TApplicationHost {
 public:
  int runs = 0;
  void Initialize(const std::string&) override {}
  void Run(TMainForm&) override { ++runs; }
  void ShowException(const std::string&) override {}
  void WaitForWorkers() override {}
};

class UnattendedProcess : public SimTest {
 protected:
  UnattendedProcess() {
    // The loop of a real process waits on the real clock: a run that went
    // ahead where it must not ends, and fails its test, rather than hangs.
    pc.Clock.FollowRealTime();
    WithFirmware(pc);
    MbrWithFreeSpace(pc);
    pc.System.MemoryModules = {SimMemoryModule::Make(8192 * kMiB, 8, L"BANK 0")};
  }
  int Start(const std::string& args) { return StartLine("\"" + pc.ModulePath + "\"" + args); }
  int StartLine(const std::string& commandLine) {
    pc.CommandLine = commandLine;
    NoWindowHost host;
    const int code = RunApplication(host);
    EXPECT_EQ(host.runs, 0) << "no window";
    return code;
  }
  std::string File(const std::string& path) {
    auto it = pc.Processes.Files.find(path);
    return it == pc.Processes.Files.end() ? "<none>" : it->second.Bytes;
  }
  static constexpr char kOut[] = "C:\\Deploy\\status.txt";
  static constexpr char kLog[] = "C:\\Deploy\\rapid.log";
};

TEST_F(UnattendedProcess, ReportGoesToTheRedirectedOutputElseTheParentsConsole) {
  pc.StdOutFile = kOut;
  pc.ParentConsole = true;
  EXPECT_EQ(Start(" /STATUS"), kExitNoPartition);
  const std::string report = File(kOut);
  EXPECT_EQ(report.substr(0, 15), "Action=Status\r\n");
  EXPECT_NE(report.find("\r\nExitCode=1\r\n"), std::string::npos);
  EXPECT_EQ(report.find("Connected to ROOT"), std::string::npos) << "the memory query keeps off the report";
  EXPECT_EQ(pc.System.StdOut, "");
  EXPECT_EQ(pc.Count(Call::AttachConsole), 0) << "redirected output needs no console";
  EXPECT_EQ(pc.ConsoleText(), "");

  ResetServices();
  pc.StdOutFile.clear();
  pc.CreatedMutexes.clear();
  EXPECT_EQ(Start(" /STATUS"), kExitNoPartition);
  EXPECT_EQ(pc.ConsoleText().substr(0, 15), "Action=Status\r\n");
}

// A batch file, cmd's start, a scheduled task and a shortcut each spell the
// program differently; the switches count every time.
TEST_F(UnattendedProcess, SwitchesCountHoweverTheProgramIsNamed) {
  pc.StdOutFile = kOut;
  const std::string path = pc.ModulePath;
  const std::string folder = path.substr(0, path.find_last_of('\\') + 1);
  for (const std::string& line :
       {std::string("OrvRapidStart.exe /STATUS"), std::string("\"OrvRapidStart.exe\" /status"),
        std::string(".\\OrvRapidStart.exe\t/STATUS"), "\"" + folder + "ORVRAP~1.EXE\" /STATUS",
        AnsiUpperCase(path) + " /STATUS", "\"" + path + "\" /STATUS", path + " /STATUS"}) {
    ResetServices();
    pc.CreatedMutexes.clear();
    const std::size_t before = File(kOut) == "<none>" ? 0 : File(kOut).size();
    EXPECT_EQ(StartLine(line), kExitNoPartition) << line;
    EXPECT_EQ(File(kOut).substr(before, 15), "Action=Status\r\n") << line;
  }
}

// /? and /HELP print the usage text, exit codes included, and end with 0:
// no window, no instance check, nothing read.
TEST_F(UnattendedProcess, HelpPrintsTheUsageAndEndsWith0) {
  pc.StdOutFile = kOut;
  pc.OtherMutexes.insert("OrvRapidStart.exe");  // even beside a running copy
  for (const char* args : {" /?", " /HELP", " /create:x /help"}) {
    const std::size_t before = File(kOut) == "<none>" ? 0 : File(kOut).size();
    EXPECT_EQ(Start(args), kExitOk) << args;
    const std::string report = File(kOut).substr(before);
    EXPECT_EQ(report.rfind("Usage: OrvRapidStart.exe ", 0), 0u) << args;
    for (const char* code : {"\r\n   0  ", "\r\n  14  ", "\r\n  75  "})
      EXPECT_NE(report.find(code), std::string::npos) << args << ": exit code" << code;
    EXPECT_EQ(report.find("ExitCode="), std::string::npos) << "the text, and nothing else";
  }
  EXPECT_EQ(pc.Count(Call::DeviceIoControl), 0);
  EXPECT_TRUE(pc.CreatedMutexes.empty());
}

TEST_F(UnattendedProcess, AStaleStandardHandleGivesWayToTheParentsConsole) {
  pc.StdOutStale = true;
  pc.ParentConsole = true;
  EXPECT_EQ(Start(" /STATUS"), kExitNoPartition);
  EXPECT_EQ(pc.ConsoleText().substr(0, 15), "Action=Status\r\n") << "the first line is not lost";
  EXPECT_NE(pc.ConsoleText().find("\r\nExitCode=1\r\n"), std::string::npos);
}

TEST_F(UnattendedProcess, WithNowhereToWriteTheExitCodeStillTells) {
  EXPECT_EQ(Start(" /STATUS"), kExitNoPartition);
  EXPECT_EQ(pc.ConsoleText(), "");
}

TEST_F(UnattendedProcess, UsageErrorsChangeNothing) {
  pc.StdOutFile = kOut;
  for (const char* args : {" /CREATE:-1", " /STATUS /DELETE", " /CREATE /CREATE", " /DELETE /NOW", " /STATUS x"}) {
    ResetServices();
    const std::size_t from = File(kOut) == "<none>" ? 0 : File(kOut).size();  // one standard output for all
    EXPECT_EQ(Start(args), kExitUsage) << args;
    const std::string report = File(kOut).substr(from);
    EXPECT_EQ(report.substr(0, 6), "Error=") << args;
    EXPECT_NE(report.find("Usage:"), std::string::npos) << args;
    EXPECT_NE(report.find("\r\nExitCode=64\r\n"), std::string::npos) << args;
    EXPECT_TRUE(pc.CreatedMutexes.empty()) << args << ": not even the instance mutex";
    EXPECT_TRUE(pc.Processes.Runs.empty()) << args;
  }
}

TEST_F(UnattendedProcess, ASecondCopyStepsBack) {
  pc.StdOutFile = kOut;
  pc.OtherMutexes.insert("OrvRapidStart.exe");
  EXPECT_EQ(Start(" /CREATE"), kExitAnotherCopy);
  EXPECT_NE(File(kOut).find("another copy"), std::string::npos);
  EXPECT_TRUE(pc.Processes.Runs.empty());

  // The running copy holds the same log file: still "another copy".
  ResetServices();
  TLogFile running;
  ASSERT_EQ(running.Open(kLog), "");
  EXPECT_EQ(Start(" /CREATE /LOG:" + std::string(kLog)), kExitAnotherCopy);
  EXPECT_TRUE(pc.Processes.Runs.empty());
}

TEST_F(UnattendedProcess, LogFileHoldsEveryLineWithItsTime) {
  pc.Processes.Files[kLog].Bytes = "earlier run\r\n";
  EXPECT_EQ(Start(" /STATUS /DEBUG /LOG:" + std::string(kLog)), kExitNoPartition);
  const std::string log = File(kLog);
  EXPECT_EQ(log.substr(0, 13), "earlier run\r\n") << "appended";
  // Each console line is in the file, behind its time.
  std::istringstream console(pc.ConsoleText());
  std::istringstream file(log.substr(13));
  std::string shown, written;
  std::getline(console, shown);  // the console starts each line with its break
  int lines = 0;
  while (std::getline(console, shown)) {
    if (!shown.empty() && shown.back() == '\r') shown.pop_back();
    if (shown.rfind("Action=", 0) == 0) break;  // the report follows the log there
    ASSERT_TRUE(std::getline(file, written)) << shown;
    ASSERT_GE(written.size(), 24u) << shown;
    EXPECT_EQ(written.substr(0, 17), "2026-12-09 09:00:") << written;
    EXPECT_EQ(written.substr(19, 1), ".") << written;
    EXPECT_EQ(written.substr(24), shown + "\r");
    ++lines;
  }
  EXPECT_GT(lines, 10);
}

TEST_F(UnattendedProcess, LogFileThatIsNotTheProgramsOwnIsRefused) {
  struct Row {
    const char* name;
    SimFile planted;
    int code;
  };
  SimFile link;
  link.Link = true;
  link.LinkTarget = "C:\\Windows\\system32\\config\\SAM";
  SimFile hardLink;
  hardLink.Links = 2;
  SimFile directory;
  directory.Directory = true;
  const Row rows[] = {
      {"symbolic link", link, kExitCannotLog},
      {"hard link", hardLink, kExitCannotLog},
      {"directory", directory, kExitCannotLog},
  };
  pc.StdOutFile = kOut;
  for (const Row& r : rows) {
    ResetServices();
    pc.CreatedMutexes.clear();
    pc.Processes.Files[kLog] = r.planted;
    pc.Processes.Files["C:\\Windows\\system32\\config\\SAM"].Bytes = "hive";
    EXPECT_EQ(Start(" /CREATE /LOG:" + std::string(kLog)), r.code) << r.name;
    EXPECT_NE(File(kOut).rfind("Error=the log file"), std::string::npos) << r.name;
    EXPECT_EQ(pc.Processes.Files[kLog].Bytes, "") << r.name;
    EXPECT_EQ(File("C:\\Windows\\system32\\config\\SAM"), "hive") << r.name << ": the target is never written";
    EXPECT_TRUE(pc.Processes.Runs.empty()) << r.name;
  }
}

TEST_F(UnattendedProcess, TheWindowGoesOnWithoutALogFileItCannotWrite) {
  SimFile link;
  link.Link = true;
  link.LinkTarget = "C:\\Windows\\win.ini";
  pc.Processes.Files[kLog] = link;
  pc.CommandLine = "\"" + pc.ModulePath + "\" /LOG:" + kLog;
  NoWindowHost host;
  EXPECT_EQ(RunApplication(host), 0);
  EXPECT_EQ(host.runs, 1);
  EXPECT_EQ(File("C:\\Windows\\win.ini"), "<none>");
}

}  // namespace

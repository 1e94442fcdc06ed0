#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "form_fixture.h"
#include "platform/sim/sim_diskpart.h"

namespace {

constexpr char kScriptFolder[] = "C:\\Windows\\Temp\\OrvRapidStart";
constexpr char kScript[] = "C:\\Windows\\Temp\\OrvRapidStart\\DPINPUT.TXT";

SimVersion WindowsXp() { return SimVersion::Make(2, 5, 1, 2600, "Service Pack 3"); }
SimVersion WindowsXp64() {
  SimVersion v = SimVersion::Make(2, 5, 2, 3790, "Service Pack 2");
  v.wow64 = true;
  v.nativeArchitecture = os::kProcessorArchitectureAmd64;
  return v;
}

// A bare session's scripts, or a window's for the test that looks at its
// console; the runs they start are watched by the fixture.
class Scripts : public FormTest {
 protected:
  TDiskPart& Dp() { return Session().DiskPart; }
  int32_t Result() const { return lastExitCode; }
};

struct ScriptRow {
  const char* name;
  bool useIo;
  std::function<void(TDiskPart&)> build;
  const char* file;
};

TEST_F(Scripts, GoldenFiles) {
  const ScriptRow rows[] = {
      {"create primary, MBR", false, [](TDiskPart& f) { f.CreateRapidStartPart(0, 8192, true, 0); },
       "select disk 0\r\ncreate partition primary size=8192\r\nset id=84 override\r\nexit\r\n"},
      {"create logical, GPT", false, [](TDiskPart& f) { f.CreateRapidStartPart(1, 2048, false, 1); },
       "select disk 1\r\ncreate partition logical size=2048\r\nset id=D3BFE2DE-3DAF-11DF-BA40-E3A556D89593 override\r\nexit\r\n"},
      {"create on RAW takes the MBR form", false, [](TDiskPart& f) { f.CreateRapidStartPart(2, 4096, true, 2); },
       "select disk 2\r\ncreate partition primary size=4096\r\nset id=84 override\r\nexit\r\n"},
      {"create with direct I/O has no type line", true, [](TDiskPart& f) { f.CreateRapidStartPart(0, 4096, true, 1); },
       "select disk 0\r\ncreate partition primary size=4096\r\nexit\r\n"},
      {"sizes are unsigned", false, [](TDiskPart& f) { f.CreateRapidStartPart(0, 4294967295u, true, 0); },
       "select disk 0\r\ncreate partition primary size=4294967295\r\nset id=84 override\r\nexit\r\n"},
      {"delete, MBR", false, [](TDiskPart& f) { f.DeleteRapidStartPart(0, 3, 0); },
       "select disk 0\r\nselect partition 3\r\nset id=07 override\r\ndelete partition\r\nexit\r\n"},
      {"delete, RAW", false, [](TDiskPart& f) { f.DeleteRapidStartPart(0, 3, 2); },
       "select disk 0\r\nselect partition 3\r\nset id=07 override\r\ndelete partition\r\nexit\r\n"},
      {"delete, GPT, with override", false, [](TDiskPart& f) { f.DeleteRapidStartPart(1, 4, 1); },
       "select disk 1\r\nselect partition 4\r\ndelete partition override\r\nexit\r\n"},
      {"delete with direct I/O", true, [](TDiskPart& f) { f.DeleteRapidStartPart(0, 3, 0); },
       "select disk 0\r\nselect partition 3\r\ndelete partition\r\nexit\r\n"},
      {"numbers are signed", false, [](TDiskPart& f) { f.DeleteRapidStartPart(-1, -2, 0); },
       "select disk -1\r\nselect partition -2\r\nset id=07 override\r\ndelete partition\r\nexit\r\n"},
      {"shrink", false, [](TDiskPart& f) { f.ShrinkPart(0, 2, 4096); },
       "select disk 0\r\nselect partition 2\r\nshrink desired=4096 minimum=4096\r\nexit\r\n"},
      {"extend by a size", false, [](TDiskPart& f) { f.ExtendPart(0, 2, 100); },
       "select disk 0\r\nselect partition 2\r\nextend size=100\r\nexit\r\n"},
      {"extend with 0 takes all free space", false, [](TDiskPart& f) { f.ExtendPart(0, 2, 0); },
       "select disk 0\r\nselect partition 2\r\nextend\r\nexit\r\n"},
      {"set id, GPT, even with direct I/O", true, [](TDiskPart& f) { f.SetRapidStartPartId(1, 5, 1); },
       "select disk 1\r\nselect partition 5\r\nset id=D3BFE2DE-3DAF-11DF-BA40-E3A556D89593 override\r\nexit\r\n"},
      {"set id, MBR", false, [](TDiskPart& f) { f.SetRapidStartPartId(0, 5, 0); },
       "select disk 0\r\nselect partition 5\r\nset id=84 override\r\nexit\r\n"},
  };
  for (const ScriptRow& r : rows) {
    CloseSession();
    ResetServices();
    pc.Version = r.useIo ? WindowsXp() : SimVersion::Make(2, 6, 1, 7601);
    ASSERT_EQ(Dp().Setup.UseIo, r.useIo) << r.name;
    r.build(Dp());
    EXPECT_TRUE(Session().Runs.Busy()) << r.name;
    EXPECT_TRUE(Dp().DiskPartScript.empty()) << r.name;
    ASSERT_TRUE(RunToEnd()) << r.name;
    EXPECT_EQ(File(kScript), r.file) << r.name;
  }
}

TEST_F(Scripts, CreateLogsItsStepsAndTheRun) {
  Session();
  ReleaseDebugConsole();  // only this step's lines
  Dp().CreateRapidStartPart(0, 2048, false, 1);
  ASSERT_TRUE(RunToEnd());
  const std::vector<std::string> expected = {
      "CreateRapidStartPart", "DiskNum=0", "PartSizeInMB=2048", "CreateRapidStartPart => logical", "CallDiskPart",
      "select disk 0", "create partition logical size=2048", "set id=D3BFE2DE-3DAF-11DF-BA40-E3A556D89593 override", "exit",
      "ScriptDir=C:\\Windows\\Temp\\OrvRapidStart",
      // no disk 0 on this machine
      "Error Code: 80042405"};
  EXPECT_EQ(HeldLines(), expected);
}

TEST_F(Scripts, HeadingsAreYellow) {
  Session();
  GetDebugConsole(true);
  pc.ConsoleWrites.clear();
  Dp().ShrinkPart(0, 1, 10);
  ASSERT_FALSE(pc.ConsoleWrites.empty());
  EXPECT_EQ(pc.ConsoleWrites[0].text, "\r\nShrinkPart");
  EXPECT_EQ(pc.ConsoleWrites[0].attr, kAttrHeading);
  EXPECT_EQ(pc.ConsoleWrites[1].attr, kAttrNormal);
  RunToEnd();
}

TEST_F(Scripts, CommandLinePerFamily) {
  constexpr char kBlanks[] = "C:\\Documents and Settings\\User Name\\Local Settings\\Temp\\DPINPUT.TXT";
  pc.ModulePath = "C:\\Program Files\\Ortavel\\OrvRapidStart.exe";
  Dp().Setup.ScriptFileName = kBlanks;
  EXPECT_EQ(Dp().DiskPartCommandLine(),
            "\"C:\\Windows\\system32\\diskpart.exe\" /S "
            "\"C:\\Documents and Settings\\User Name\\Local Settings\\Temp\\DPINPUT.TXT\"");
  CloseSession();
  ResetServices();
  pc.Version = WindowsXp64();
  Dp().Setup.ScriptFileName = kBlanks;
  EXPECT_EQ(Dp().DiskPartCommandLine(),
            "\"C:\\Program Files\\Ortavel\\amd64.exe\" \"diskpart.exe /S "
            "\"C:\\Documents and Settings\\User Name\\Local Settings\\Temp\\DPINPUT.TXT\"\"");
}

// A Windows folder with blanks, end to end: the script is found and run,
// directly and through the 64-bit helper.
TEST_F(Scripts, ScriptFolderWithBlanksRunsOnEveryFamily) {
  for (const SimVersion& version : {SimVersion::Make(2, 6, 1, 7601), WindowsXp64()}) {
    CloseSession();
    ResetServices();
    pc.Version = version;
    pc.Disks.Drives.clear();
    pc.Disks.AddMbrDisk(0, 64 * SimDisks::kGiB).AddPrimary(0x07, kBytesPerMb, 32 * SimDisks::kGiB, true);
    pc.Processes.WindowsDirectory = "C:\\Win dows";
    Form();  // its console shows what the run printed
    Dp().CreateRapidStartPart(0, 2048, true, 0);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(Result(), 0) << Form().ConsoleRichEdit.Text;
    ASSERT_FALSE(pc.Processes.Runs.empty());
    EXPECT_NE(Form().ConsoleRichEdit.Text.find("DiskPart succeeded in creating the specified partition."),
              std::string::npos);
  }
}

TEST_F(Scripts, ScriptRunChangesTheDisksAsTheNextScanShows) {
  SimDrive& d = pc.Disks.AddMbrDisk(0, 64 * SimDisks::kGiB);
  d.AddPrimary(0x07, kBytesPerMb, 40 * SimDisks::kGiB, true);
  pc.Disks.AddVolume(0, 1, 'C');
  Dp().CreateRapidStartPart(0, 8192, true, 0);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Result(), 0);
  Session().Model.ScanDisks();
  ASSERT_TRUE(Session().Model.FindRapidStartPart());
  const _PartInfo& part = Session().Model.DiskInfo[0].PartInfo[Session().Model.RapidStartPartIndex];
  EXPECT_EQ(part.PartNum, 2);
  EXPECT_EQ(part.PartLen, 8192 * kBytesPerMb);
  EXPECT_EQ(part.Mbr.PartitionType, 0x84);
  EXPECT_EQ(part.PartDriveLetter, ' ');

  // And the delete script takes it away again.
  Dp().DeleteRapidStartPart(0, 2, 0);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Result(), 0) << runOutput;
  Session().Model.ScanDisks();
  EXPECT_FALSE(Session().Model.FindRapidStartPart());
  EXPECT_EQ(Session().Model.DiskInfo[0].PartCount, 1u);
}

TEST_F(Scripts, TwoRunsLeaveOnlyTheSecondScript) {
  Dp().ShrinkPart(0, 1, 10);
  ASSERT_TRUE(RunToEnd());
  Dp().ExtendPart(0, 1, 0);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(File(kScript), "select disk 0\r\nselect partition 1\r\nextend\r\nexit\r\n");
}

TEST_F(Scripts, PlantedLinkIsReplacedNotFollowed) {
  pc.Processes.Files["C:\\Windows\\System32\\config\\SAM"].Bytes = "precious";
  SimFile link;
  link.Link = true;
  link.LinkTarget = "C:\\Windows\\System32\\config\\SAM";
  pc.Processes.Files[kScript] = link;
  Dp().ShrinkPart(0, 1, 10);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(File("C:\\Windows\\System32\\config\\SAM"), "precious");
  EXPECT_FALSE(pc.Processes.Files[kScript].Link);
  EXPECT_EQ(File(kScript), "select disk 0\r\nselect partition 1\r\nshrink desired=10 minimum=10\r\nexit\r\n");
}

// The script file attacked in the moment between removing the old file and
// creating the new one, or between writing it and locking it: the program
// opens the name itself, never what a link points to, and runs only the
// bytes it wrote, so it neither writes elsewhere nor lets diskpart read a
// script it did not write.
TEST_F(Scripts, ScriptTamperedMidWriteIsNeverRun) {
  const std::string target = "C:\\Windows\\System32\\drivers\\orv.sys";
  const std::string script = "select disk 0\r\nselect partition 1\r\nshrink desired=10\r\nexit\r\n";
  enum Attack { kLink, kAppend };
  struct Row {
    const char* name;
    int beforeOpen;  // 2: the create, 3: the lock (1 opens the script's folder)
    Attack attack;
    bool targetExists;
  };
  const Row rows[] = {
      {"dangling link before the create", 2, kLink, false},
      {"link to the same bytes before the lock", 3, kLink, true},
      {"a line appended before the lock", 3, kAppend, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    FreshPc();
    if (r.targetExists) pc.Processes.Files[target].Bytes = script;
    TDiskPart& dp = Dp();  // the window's start-up opens files of its own
    pc.BeforeNth(Call::CreateFileA, r.beforeOpen, [this, &target, &r] {
      if (r.attack == kAppend) {
        pc.Processes.Files[kScript].Bytes += "clean\r\n";
        return;
      }
      SimFile link;
      link.Link = true;
      link.LinkTarget = target;
      pc.Processes.Files[kScript] = link;
    });
    dp.ShrinkPart(0, 1, 10);
    ASSERT_TRUE(RunToEnd());
    EXPECT_TRUE(pc.Processes.Runs.empty()) << "diskpart must not run";
    EXPECT_NE(Result(), 0);
    if (r.targetExists)
      EXPECT_EQ(File(target), script);
    else
      EXPECT_EQ(pc.Processes.Files.count(target), 0u) << "nothing is written through the link";
  }
}

TEST_F(Scripts, ScriptThatCannotBeWrittenSafelyIsNeverRun) {
  SimFile junction;
  junction.Directory = true;
  pc.Processes.Files[kScript] = junction;
  Dp().ShrinkPart(0, 1, 10);
  ASSERT_TRUE(RunToEnd());
  EXPECT_TRUE(pc.Processes.Runs.empty()) << "diskpart must not run";
  EXPECT_EQ(static_cast<uint32_t>(Result()), 0x80070005u);
  const auto held = HeldLines();
  EXPECT_EQ(held[held.size() - 2], "ScriptFileError=5");
  EXPECT_EQ(held.back(), "Error Code: 80070005");
}

// The script's folder is only ever one this process made, with its access
// list, checked after it was made, and it goes with the window.
TEST_F(Scripts, ScriptFolderIsOnlyEverOneThisProcessMade) {
  const std::string next = std::string(kScriptFolder) + ".1";
  const std::string user = "S-1-5-21-1-2-3-1001";
  const auto folder = [](const std::string& owner) {
    SimFile dir;
    dir.Directory = true;
    dir.Owner = owner;
    return dir;
  };
  struct Row {
    const char* name;
    std::function<void(SimPc&)> arrange;  // before the form starts
    std::function<void(SimFile&)> afterMade;  // on the folder, right after it was made
    std::string madeAt;  // "": diskpart is not run
    uint32_t error;
  };
  const Row rows[] = {
      {"a fresh machine", nullptr, nullptr, kScriptFolder, 0},
      {"an empty folder an earlier run left goes", [&](SimPc& pc) { pc.Processes.Files[kScriptFolder] = folder(user); },
       nullptr, kScriptFolder, 0},
      {"a junction under the name goes itself",
       [&](SimPc& pc) {
         SimFile junction;
         junction.Link = true;
         junction.LinkTarget = "C:\\Users\\User\\Planted";
         pc.Processes.Files[kScriptFolder] = junction;
         pc.Processes.Files["C:\\Users\\User\\Planted"] = folder(user);
       },
       nullptr, kScriptFolder, 0},
      {"a folder with something in it keeps the name",
       [&](SimPc& pc) {
         pc.Processes.Files[kScriptFolder] = folder(user);
         pc.Processes.Files[kScript].Bytes = "clean\r\n";
       },
       nullptr, next, 0},
      {"every name taken",
       [&](SimPc& pc) {
         for (int n = 0; n < 10; ++n) {
           const std::string name = std::string(kScriptFolder) + (n ? "." + std::to_string(n) : "");
           pc.Processes.Files[name] = folder(user);
           pc.Processes.Files[name + "\\x"].Bytes = "x";
         }
       },
       nullptr, "", os::kErrorAlreadyExists},
      {"swapped for a junction once made", nullptr, [](SimFile& f) { f.Link = true; }, "", os::kErrorDirectory},
      {"not owned as made", nullptr, [&](SimFile& f) { f.Owner = user; }, "", os::kErrorInvalidOwner},
      {"an owner the token cannot give", [](SimPc& pc) { pc.Processes.OwnersAllowed.clear(); }, nullptr, "",
       os::kErrorInvalidOwner},
      {"no Windows folder", [](SimPc& pc) { pc.FailNth(Call::GetSystemWindowsDirectoryA, 1, os::kErrorGenFailure); },
       nullptr, "", os::kErrorPathNotFound},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    FreshPc();
    if (r.arrange) r.arrange(pc);
    TDiskPart& dp = Dp();
    if (r.afterMade)
      pc.BeforeNth(Call::CreateFileA, 1, [this, &r] { r.afterMade(pc.Processes.Files[kScriptFolder]); });
    dp.ShrinkPart(0, 1, 10);
    ASSERT_TRUE(RunToEnd());
    if (r.madeAt.empty()) {
      EXPECT_TRUE(pc.Processes.Runs.empty()) << "diskpart must not run";
      EXPECT_EQ(static_cast<uint32_t>(Result()), os::HResultFromWin32(r.error));
      EXPECT_EQ(HeldLines()[HeldLines().size() - 2], "ScriptDirError=" + std::to_string(r.error));
      continue;
    }
    ASSERT_EQ(pc.Processes.Runs.size(), 1u);
    EXPECT_EQ(dp.Setup.ScriptFileName, r.madeAt + "\\DPINPUT.TXT");
    EXPECT_EQ(pc.Processes.Files[r.madeAt].Sddl, kScriptFolderSddl);
    EXPECT_EQ(pc.Processes.Files[r.madeAt].Owner, os::kSidAdministrators);
    const auto held = HeldLines();
    EXPECT_NE(std::find(held.begin(), held.end(), "ScriptDir=" + r.madeAt), held.end());
    CloseSession();
    EXPECT_EQ(pc.Processes.Files.count(r.madeAt), 0u) << "removed with the session";
    EXPECT_EQ(pc.Processes.Files.count(r.madeAt + "\\DPINPUT.TXT"), 0u);
    if (r.madeAt == next) {
      EXPECT_EQ(File(kScript), "clean\r\n") << "what someone else put there stays";
    }
    if (std::string(r.name).find("junction") != std::string::npos) {
      EXPECT_EQ(pc.Processes.Files.count("C:\\Users\\User\\Planted"), 1u) << "what the junction pointed to stays";
    }
  }
}

TEST_F(Scripts, ScriptIsLockedWhileDiskpartMayReadIt) {
  Dp().ShrinkPart(0, 1, 10);
  // The worker now waits to hand over diskpart's output; the run's end has
  // not reached the window, and nobody may change the file.
  ASSERT_TRUE(gui.WaitForWork());
  EXPECT_EQ(pc.CreateFileA(kScript, os::kGenericWrite, os::kFileShareRead | os::kFileShareWrite, os::kOpenExisting, 0),
            os::kInvalid);
  EXPECT_EQ(pc.GetLastError(), os::kErrorSharingViolation);
  EXPECT_FALSE(pc.DeleteFileA(kScript));
  ASSERT_TRUE(RunToEnd());
  EXPECT_TRUE(pc.DeleteFileA(kScript)) << "released once the run has ended";
  EXPECT_EQ(pc.OpenHandles(), 1) << "only the script's folder stays held";
}

// TEMP is the user's to set; it has no say in where the script goes.
TEST_F(Scripts, TempPathHasNoSayInWhereTheScriptGoes) {
  pc.TempPath = "D:\\Anywhere\\";
  Dp().ShrinkPart(0, 1, 10);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Dp().Setup.ScriptFileName, kScript);
  ASSERT_EQ(pc.Processes.Scripts.size(), 1u);

  FreshPc();
  pc.FailNth(Call::GetTempPathA, 1, os::kErrorInvalidParameter);
  EXPECT_EQ(Session().TempDir, "");
  Dp().ShrinkPart(0, 1, 10);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Dp().Setup.ScriptFileName, kScript);
}

// The simulated diskpart's failures, as the workflows will meet them.
struct DiskpartRow {
  const char* name;
  std::function<void(SimPc&)> arrange;
  std::function<void(TDiskPart&)> run;
  uint32_t exitCode;
  std::function<void(SimPc&)> check = nullptr;  // what the disks must show afterwards; none: the code is enough
};

// A script written as the builders never write one.
void RunScript(TDiskPart& f, std::vector<std::string> lines) {
  f.DiskPartScript = std::move(lines);
  f.CallDiskPart();
}

TEST_F(Scripts, DiskpartOutcomes) {
  const uint64_t GiB = SimDisks::kGiB, MiB = kBytesPerMb;
  const DiskpartRow rows[] = {
      {"no free space", [&](SimPc& p) { p.Disks.AddMbrDisk(0, 8 * GiB).AddPrimary(7, MiB, 8 * GiB - MiB); },
       [](TDiskPart& f) { f.CreateRapidStartPart(0, 2048, true, 0); }, kVdsNotEnoughSpace},
      {"four primaries used",
       [&](SimPc& p) {
         SimDrive& d = p.Disks.AddMbrDisk(0, 64 * GiB);
         for (int i = 0; i < 4; ++i) d.AddPrimary(7, MiB + i * 8 * GiB, 4 * GiB);
       },
       [](TDiskPart& f) { f.CreateRapidStartPart(0, 2048, true, 0); }, kVdsPartitionLimitReached},
      {"no extended partition", [&](SimPc& p) { p.Disks.AddMbrDisk(0, 64 * GiB); },
       [](TDiskPart& f) { f.CreateRapidStartPart(0, 2048, false, 0); }, kVdsInvalidSpace},
      {"logical in an extended partition",
       [&](SimPc& p) { p.Disks.AddMbrDisk(0, 64 * GiB).AddExtended(MiB, 16 * GiB); },
       [](TDiskPart& f) { f.CreateRapidStartPart(0, 2048, false, 0); }, 0},
      {"type change refused",
       [&](SimPc& p) {
         p.Disks.AddGptDisk(0, 64 * GiB);
         p.Processes.SetIdRefusedDisks.insert(0);
       },
       [](TDiskPart& f) { f.CreateRapidStartPart(0, 2048, true, 1); }, kVdsDeviceInUse},
      {"shrink refused without a volume", [&](SimPc& p) { p.Disks.AddMbrDisk(0, 64 * GiB).AddPrimary(7, MiB, 60 * GiB); },
       [](TDiskPart& f) { f.ShrinkPart(0, 1, 2048); }, kVdsObjectNotFound},
      {"shrink that cannot give the minimum",
       [&](SimPc& p) {
         p.Disks.AddMbrDisk(0, 64 * GiB).AddPrimary(7, MiB, 60 * GiB);
         p.Disks.AddHiddenVolume(0, 1);
         p.Processes.ShrinkableBytes[{0, 1}] = 400 * MiB;
       },
       [](TDiskPart& f) { f.ShrinkPart(0, 1, 2048); }, kVdsShrinkSizeTooBig},
      {"shrink of a FAT32 volume",
       [&](SimPc& p) {
         p.Disks.AddMbrDisk(0, 64 * GiB).AddPrimary(0x0C, MiB, 60 * GiB);
         p.Disks.AddVolume(0, 1, 'C').FileSystem = "FAT32";
       },
       [](TDiskPart& f) { f.ShrinkPart(0, 1, 2048); }, kVdsCannotShrink},
      {"a new GPT partition is mounted: its type needs override",
       [&](SimPc& p) { p.Disks.AddGptDisk(0, 64 * GiB); },
       [](TDiskPart& f) {
         f.DiskPartScript = {"select disk 0", "create partition primary size=2048",
                             "set id=D3BFE2DE-3DAF-11DF-BA40-E3A556D89593", "exit"};
         f.CallDiskPart();
       },
       kVdsDeviceInUse},
      {"the system volume is not deleted",
       [&](SimPc& p) {
         p.Disks.AddMbrDisk(0, 64 * GiB).AddPrimary(7, MiB, 60 * GiB);
         p.Disks.AddVolume(0, 1, 'C').InUse = true;
       },
       [](TDiskPart& f) {
         f.DiskPartScript = {"select disk 0", "select partition 1", "delete partition", "exit"};
         f.CallDiskPart();
       },
       kVdsDeviceInUse},
      {"extend without NTFS",
       [&](SimPc& p) {
         p.Disks.AddMbrDisk(0, 64 * GiB).AddPrimary(0x83, MiB, 32 * GiB);
         p.Disks.AddVolume(0, 1).FileSystem = "RAW";
       },
       [](TDiskPart& f) { f.ExtendPart(0, 1, 0); }, kVdsCannotExtend},
      {"extend by more than follows",
       [&](SimPc& p) {
         p.Disks.AddMbrDisk(0, 64 * GiB).AddPrimary(7, MiB, 60 * GiB);
         p.Disks.AddVolume(0, 1, 'C');
       },
       [](TDiskPart& f) { f.ExtendPart(0, 1, 8192); }, kVdsNotEnoughSpace},
      {"a failing Win32 call gives 0x8007xxxx",
       [&](SimPc& p) {
         p.Disks.AddMbrDisk(0, 64 * GiB).AddPrimary(7, MiB, 32 * GiB);
         p.Processes.CommandFailures["set"] = {0x80070005};
       },
       [](TDiskPart& f) { f.SetRapidStartPartId(0, 1, 0); }, 0x80070005},
      {"shrink of a lettered volume",
       [&](SimPc& p) {
         p.Disks.AddMbrDisk(0, 64 * GiB).AddPrimary(7, MiB, 60 * GiB);
         p.Disks.AddVolume(0, 1, 'C');
       },
       [](TDiskPart& f) { f.ShrinkPart(0, 1, 2048); }, 0},
      {"nothing to extend",
       [&](SimPc& p) {
         p.Disks.AddMbrDisk(0, 64 * GiB).AddPrimary(7, MiB, 64 * GiB - MiB);
         p.Disks.AddVolume(0, 1, 'C');
       },
       [](TDiskPart& f) { f.ExtendPart(0, 1, 0); }, kVdsNotEnoughSpace},
      {"extend into free space",
       [&](SimPc& p) {
         p.Disks.AddMbrDisk(0, 64 * GiB).AddPrimary(7, MiB, 32 * GiB);
         p.Disks.AddVolume(0, 1, 'C');
       },
       [](TDiskPart& f) { f.ExtendPart(0, 1, 0); }, 0},
      {"GPT Rapid Start partition goes, with override",
       [&](SimPc& p) {
         p.Disks.AddGptDisk(0, 64 * GiB).AddGptPartition({0xD3BFE2DE, 0x3DAF, 0x11DF, {0xBA, 0x40, 0xE3, 0xA5, 0x56, 0xD8, 0x95, 0x93}}, MiB, 2 * GiB);
       },
       [](TDiskPart& f) { f.DeleteRapidStartPart(0, 1, 1); }, 0},
      {"a partition that is not there", [&](SimPc& p) { p.Disks.AddMbrDisk(0, 64 * GiB); },
       [](TDiskPart& f) { f.ShrinkPart(0, 3, 1); }, kVdsObjectNotFound},
      {"a Linux partition is not deleted without override",
       [&](SimPc& p) { p.Disks.AddMbrDisk(0, 64 * GiB).AddPrimary(0x83, MiB, 32 * GiB); },
       [](TDiskPart& f) { RunScript(f, {"select disk 0", "select partition 1", "delete partition", "exit"}); },
       kVdsOperationDenied, [](SimPc& p) { EXPECT_TRUE(p.Disks.Drives[0].FindPartition(1)->Used()); }},
      {"a swap partition is deleted with override",
       [&](SimPc& p) { p.Disks.AddMbrDisk(0, 64 * GiB).AddPrimary(0x82, MiB, 32 * GiB); },
       [](TDiskPart& f) { RunScript(f, {"select disk 0", "select partition 1", "delete partition override", "exit"}); },
       0},
      {"a shrink without minimum gives what it can",
       [&](SimPc& p) {
         p.Disks.AddMbrDisk(0, 64 * GiB).AddPrimary(7, MiB, 60 * GiB);
         p.Disks.AddHiddenVolume(0, 1);
         p.Processes.ShrinkableBytes[{0, 1}] = 400 * MiB;
       },
       [](TDiskPart& f) { RunScript(f, {"select disk 0", "select partition 1", "shrink desired=2048", "exit"}); }, 0,
       [&](SimPc& p) { EXPECT_EQ(p.Disks.Drives[0].FindPartition(1)->Length, 60 * GiB - 400 * MiB); }},
      {"a size that fits only before alignment",
       [&](SimPc& p) {
         // 2048 MiB free, but starting half a MiB off a boundary.
         SimDrive& d = p.Disks.AddMbrDisk(0, 64 * GiB);
         d.AddPrimary(7, MiB, 60 * GiB - MiB / 2);
         d.AddPrimary(7, 62 * GiB + MiB / 2, GiB);
       },
       [](TDiskPart& f) { f.CreateRapidStartPart(0, 2048, true, 0); }, kVdsNotEnoughSpace,
       [](SimPc& p) { EXPECT_FALSE(p.Disks.Drives[0].FindPartition(3)); }},
      {"a syntax error", [&](SimPc& p) { p.Disks.AddMbrDisk(0, 64 * GiB); },
       [](TDiskPart& f) { RunScript(f, {"select disk 0", "create partition primary size=2GB", "exit"}); },
       kDiskpartSyntaxError},
      {"a script diskpart cannot read",
       [&](SimPc& p) {
         p.Disks.AddMbrDisk(0, 64 * GiB);
         // Gone between its writing and diskpart's open (a scanner took it).
         p.Processes.Programs["diskpart"] = [](const std::string& line, SimPc& sim) {
           sim.Processes.Files.erase(kScript);
           return RunSimDiskpart(line, sim);
         };
       },
       [](TDiskPart& f) { f.ShrinkPart(0, 1, 1); }, kDiskpartScriptUnreadable},
  };
  for (const DiskpartRow& r : rows) {
    CloseSession();
    ResetServices();
    pc.Disks.Drives.clear();
    pc.Disks.Volumes.clear();
    pc.Processes.SetIdRefusedDisks.clear();
    pc.Processes.ShrinkableBytes.clear();
    pc.Processes.CommandFailures.clear();
    pc.Processes.Programs["diskpart"] = RunSimDiskpart;
    r.arrange(pc);
    r.run(Dp());
    ASSERT_TRUE(RunToEnd()) << r.name;
    EXPECT_EQ(static_cast<uint32_t>(Result()), r.exitCode) << r.name << runOutput;
    if (r.check) {
      SCOPED_TRACE(r.name);
      r.check(pc);
    }
  }
}

}  // namespace

namespace {

// diskpart is never found by a search: a diskpart.exe planted next to the
// program or in the current folder must not run, on any family.
TEST_F(Scripts, PlantedDiskpartNeverRuns) {
  for (const SimVersion& version : {SimVersion::Make(2, 6, 1, 7601), WindowsXp64()}) {
    CloseSession();
    ResetServices();
    pc.Version = version;
    pc.Disks.Drives.clear();
    pc.Disks.AddMbrDisk(0, 64 * SimDisks::kGiB);
    int planted = 0;
    const SimProgram fake = [&planted](const std::string&, SimPc&) {
      ++planted;
      return SimChildResult{"", 0};
    };
    pc.Processes.PlantedPrograms["C:\\Program Files\\Ortavel\\diskpart.exe"] = fake;
    pc.Processes.PlantedPrograms[pc.Processes.CurrentDirectory + "\\diskpart.exe"] = fake;
    Dp().CreateRapidStartPart(0, 2048, true, 0);
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(planted, 0);
    EXPECT_EQ(Result(), 0) << "the system's diskpart ran";
  }
  // A search would have found it: the plant is real.
  EXPECT_NE(pc.ProgramFor("diskpart /S x"), pc.ProgramFor("C:\\Windows\\system32\\diskpart.exe /S x"));
}

// One run at a time: a script for a second run is not even written while the
// first run's diskpart may still read the file, and the first run's lock holds.
TEST_F(Scripts, SecondScriptWhileARunIsInFlightLeavesTheFirstAlone) {
  pc.Processes.HoldChildren = true;
  Dp().ShrinkPart(0, 1, 10);
  Settle();
  const std::string first = File(kScript);
  const int deletes = pc.Count(Call::DeleteFileA), opens = pc.Count(Call::CreateFileA);
  EXPECT_EQ(Dp().ExtendPart(0, 1, 0), 0u);
  EXPECT_EQ(File(kScript), first);
  EXPECT_EQ(pc.Count(Call::DeleteFileA), deletes) << "the file is not even tried";
  EXPECT_EQ(pc.Count(Call::CreateFileA), opens);
  EXPECT_EQ(HeldLines().back(), "Run refused: another run is still in flight");
  EXPECT_FALSE(pc.DeleteFileA(kScript)) << "still locked for the first run";
  EXPECT_EQ(pc.GetLastError(), os::kErrorSharingViolation);
  ASSERT_TRUE(RunToEnd());
  EXPECT_TRUE(pc.DeleteFileA(kScript));
}

}  // namespace

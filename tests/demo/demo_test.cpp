// The demo: its built-in machines, its switches, and the seam that sends
// each call to the simulated PC or to the real system.
#include <gtest/gtest.h>

#include "demo/demo_machines.h"
#include "demo/demo_os.h"
#include "form_fixture.h"

namespace {

TEST(DemoSwitches, MachineAndRunTime) {
  struct Row {
    const char* commandLine;
    const char* machine;  // nullptr: unknown
    uint32_t runMs;
  };
  const Row rows[] = {
      {"\"C:\\x\\OrvRapidStartDemo.exe\"", "standard", 3000},
      {"demo /machine=Existing", "existing", 3000},
      {"demo /MACHINE=\"onedisk\"", nullptr, 3000},
      {"demo /MACHINE=nodisk /RUNMS=200", "nodisk", 200},
      {"demo /MACHINE=none", nullptr, 3000},
      {"demo /RUNMS=0", "standard", 0},
      {"demo /RUNMS=99999", "standard", 60000},
      {"demo /RUNMS=-5", "standard", 3000},
      {"demo /RUNMS=", "standard", 3000},
      {"demo /RUNMS=12345678901", "standard", 3000},
  };
  for (const Row& r : rows) {
    const TDemoMachine* m = DemoMachineFor(r.commandLine);
    if (r.machine) {
      ASSERT_NE(m, nullptr) << r.commandLine;
      EXPECT_STREQ(m->Name, r.machine) << r.commandLine;
    } else {
      EXPECT_EQ(m, nullptr) << r.commandLine;
    }
    EXPECT_EQ(DemoRunMsFor(r.commandLine), r.runMs) << r.commandLine;
  }
}

// Each built-in machine shows what its description promises.
class DemoMachine : public FormTest {};

TEST_F(DemoMachine, EachMachineShowsWhatItPromises) {
  constexpr TMediaKind S = TMediaKind::Ssd, H = TMediaKind::Hdd, U = TMediaKind::Unknown;
  struct Row {
    const char* name;
    int32_t disks;
    int32_t rapidStartDisk;
    const char* size;
    TFirmwareState firmware;
    std::vector<TMediaKind> media;  // of the fixed disks, in model order
  };
  const Row rows[] = {
      {"standard", 4, -1, "8 GB", TFirmwareState::Present, {S, H, S, U}},
      {"nodisk", 0, -1, "4 GB", TFirmwareState::Absent, {}},
      {"onedisk", 1, -1, "16 GB", TFirmwareState::Absent, {S}},
      {"existing", 2, 0, "4 GB", TFirmwareState::Present, {S, H}}};
  for (const Row& r : rows) {
    FreshPc();
    for (const TDemoMachine& m : DemoMachines())
      if (std::string(m.Name) == r.name) m.Build(pc);
    TMainForm& f = Form();
    f.Shown();
    EXPECT_EQ(f.Session.Model.DiskCount, r.disks) << r.name;
    EXPECT_EQ(f.Session.Model.RapidStartDiskIndex, r.rapidStartDisk) << r.name;
    EXPECT_EQ(f.PartSizeComboBox.Items()[f.PartSizeComboBox.ItemIndex()].Caption, r.size) << r.name;
    EXPECT_EQ(f.Session.Firmware, r.firmware) << r.name;
    std::vector<TMediaKind> media;
    for (int32_t d = 0; d < f.Session.Model.DiskCount; ++d) media.push_back(f.Session.Model.DiskInfo[d].MediaKind);
    EXPECT_EQ(media, r.media) << r.name;
  }
}

// The demo runs for hours: once it stops recording, a Create with a shrink
// and a Delete leave no record behind, and the machine still works.
TEST_F(DemoMachine, AMachineThatStopsRecordingKeepsNoHistory) {
  for (const TDemoMachine& m : DemoMachines())
    if (std::string(m.Name) == "standard") m.Build(pc);
  pc.StopRecording();
  TMainForm& f = Form();
  f.Shown();
  f.Disk0ImageClick(*f.DiskImages[1]);  // the full GPT system disk: a shrink
  ClickCreate(f, pc);
  ASSERT_TRUE(RunWorkflow());
  EXPECT_EQ(f.Session.StatusText, "Creating.....Done.");
  f.DeleteButtonClick();
  ASSERT_TRUE(RunWorkflow());
  EXPECT_EQ(f.Session.StatusText, "Deleting.....Done.");
  EXPECT_TRUE(pc.Calls.empty());
  EXPECT_TRUE(pc.Disks.Opens.empty());
  EXPECT_TRUE(pc.Disks.Requests.empty());
  EXPECT_TRUE(pc.Processes.Runs.empty());
  EXPECT_TRUE(pc.Processes.Scripts.empty());
  EXPECT_TRUE(pc.Processes.Resizes.empty());
}

// The demo's seam: disks, files and runs go to the simulated PC, windows and
// the mutex to the real system; a handle goes back to the side that made it.
TEST_F(DemoMachine, SeamSendsEachCallToItsSide) {
  SimPc real;  // stands in for the real system
  SimPc sim(0x7A000000);
  sim.Disks.AddMbrDisk(0, 64 * SimDisks::kGiB);
  TDemoOs demo(real, sim);
  const os::Handle mutex = demo.CreateMutexA("", false, "x");
  const os::Handle disk = demo.CreateFileA("\\\\.\\PhysicalDrive0", os::kGenericRead,
                                           os::kFileShareRead | os::kFileShareWrite, os::kOpenExisting, 0);
  EXPECT_TRUE(real.Owns(mutex));
  EXPECT_TRUE(sim.Owns(disk));
  EXPECT_TRUE(demo.CloseHandle(mutex));
  EXPECT_TRUE(demo.CloseHandle(disk));
  EXPECT_EQ(real.OpenHandles() + sim.OpenHandles(), 0);
  // A failing simulated call leaves its error where the program reads it.
  EXPECT_EQ(demo.CreateFileA("\\\\.\\PhysicalDrive9", os::kGenericRead, os::kFileShareRead | os::kFileShareWrite,
                             os::kOpenExisting, 0),
            os::kInvalid);
  EXPECT_EQ(demo.GetLastError(), os::kErrorFileNotFound);
  // The device list is the simulated PC's.
  sim.AddAcpiDevice({"ACPI\\INT3392"});
  const os::Handle devices = demo.SetupDiGetClassDevsByEnumeratorA("ACPI", os::kDigcfAllClasses | os::kDigcfPresent);
  EXPECT_TRUE(sim.Owns(devices));
  os::SpDevInfoData device{};
  device.cbSize = sizeof device;
  EXPECT_TRUE(demo.SetupDiEnumDeviceInfo(devices, 0, device));
  char ids[32];
  uint32_t type = 0, required = 0;
  EXPECT_TRUE(demo.SetupDiGetDeviceRegistryPropertyA(devices, device, os::kSpdrpHardwareId, type, ids, sizeof ids,
                                                     required));
  EXPECT_EQ(std::string(ids, required), std::string("ACPI\\INT3392\0\0", 14));
  EXPECT_FALSE(demo.SetupDiEnumDeviceInfo(devices, 1, device));
  EXPECT_EQ(demo.GetLastError(), os::kErrorNoMoreItems);
  EXPECT_TRUE(demo.SetupDiDestroyDeviceInfoList(devices));
  EXPECT_EQ(real.Count(Call::SetupDiGetClassDevsByEnumeratorA), 0);
  // A restart is shown, never made, and the next one may be asked again.
  sim.System.TokenPrivileges["SeShutdownPrivilege"] = true;
  EXPECT_TRUE(demo.InitiateSystemShutdownA(0, false, true));
  EXPECT_TRUE(demo.InitiateSystemShutdownA(0, false, true));
  ASSERT_EQ(real.MessageBoxes.size(), 2u);
  EXPECT_EQ(real.MessageBoxes[0].first, TDemoOs::kRestartShownCaption);
  EXPECT_EQ(real.Count(Call::InitiateSystemShutdownA), 0);
  // An unattended run shows nothing modal: nobody may be there to press OK.
  demo.ShowsRestart = false;
  EXPECT_TRUE(demo.InitiateSystemShutdownA(0, false, true));
  EXPECT_EQ(real.MessageBoxes.size(), 2u);
}

}  // namespace

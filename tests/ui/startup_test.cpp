#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/entry.h"
#include "disk_test_util.h"
#include "form_fixture.h"

namespace {

// A bare session's start-up; the window is built only by the tests of its
// selection and its teardown.
class StartUp : public FormTest {};

TEST_F(StartUp, LogOrder) {
  pc.CommandLine = "\"" + pc.ModulePath + "\" /debug";
  pc.System.MemoryModules = {SimMemoryModule::Make(4294967296ull, 8, L"BANK 0"),
                             SimMemoryModule::Make(4294967296ull, 8, L"BANK 1")};
  SimDrive& d = pc.Disks.AddMbrDisk(0, 64 * SimDisks::kGiB);
  d.AddPrimary(0x07, kBytesPerMb, 8589934592ull, true);
  d.Media = kSimHdd;
  pc.AddAcpiDevice({"ACPI\\PNP0C0C", "*PNP0C0C"});
  pc.AddAcpiDevice({"ACPI\\INT3392", "*INT3392"});
  ASSERT_TRUE(CanStart());
  Session();
  EXPECT_EQ(Session().PhysicalMemorySize, 8192u);
  EXPECT_EQ(Session().Firmware, TFirmwareState::Present);
  const std::string expected =
      "\r\n\" /DEBUG"
      "\r\nExePath=C:\\Program Files\\Ortavel\\"
      "\r\nTempDir=C:\\Users\\User\\AppData\\Local\\Temp\\"
      "\r\nPhysicalMemorySize=8192"
      "\r\nRapidStartFirmware=Present"
      "\r\nWindows 7 Service Pack 1 7601 32-bit"
      "\r\nDiskIndex=0\r\nDiskNum=0\r\nMediaKind=HDD\r\nPartitionStyle=MBR\r\nPartCount=1"
      "\r\nPartIndex=0\r\nPartNum=1\r\nPartDriveLetter= \r\nPartBootable=True\r\nPartId=0x07"
      "\r\nPartLen=8192MB (8589934592)\r\nPartOffset=1MB (1048576)"
      "\r\nRapidStartDiskIndex=-1\r\nRapidStartPartIndex=-1";
  EXPECT_EQ(pc.ConsoleText(), expected);
  // The script's folder is made by the first script, under the Windows folder.
  EXPECT_EQ(Session().DiskPart.Setup.ScriptFolderParent, "C:\\Windows\\Temp");
  EXPECT_EQ(Session().DiskPart.Setup.ScriptFileName, "");
  EXPECT_EQ(pc.System.StdOut.substr(0, 37), "Connected to ROOT\\CIMV2 WMI namespace");
}

// The firmware is asked once, and its line sits between the memory line and
// the version line whatever the answer.
TEST_F(StartUp, FirmwareLineFollowsTheMemoryLine) {
  struct Row {
    const char* name;
    std::function<void(SimPc&)> build;
    TFirmwareState expected;
    const char* line;
  } rows[] = {
      {"present", [](SimPc& p) { p.AddAcpiDevice({"ACPI\\INT3392", "*INT3392"}); }, TFirmwareState::Present,
       "RapidStartFirmware=Present"},
      {"absent", [](SimPc& p) { p.AddAcpiDevice({"ACPI\\PNP0C0C", "*PNP0C0C"}); }, TFirmwareState::Absent,
       "RapidStartFirmware=Absent"},
      {"list refused",
       [](SimPc& p) {
         p.AddAcpiDevice({"ACPI\\INT3392"});
         p.FailNth(Call::SetupDiGetClassDevsByEnumeratorA, 1, os::kErrorAccessDenied);
       },
       TFirmwareState::Unknown, "RapidStartFirmware=Unknown"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    FreshPc();
    r.build(pc);
    EXPECT_EQ(Session().Firmware, r.expected);
    const auto held = HeldLines();
    const auto memory = std::find_if(held.begin(), held.end(),
                                     [](const std::string& l) { return l.rfind("PhysicalMemorySize=", 0) == 0; });
    ASSERT_NE(memory, held.end());
    ASSERT_NE(memory + 1, held.end());
    EXPECT_EQ(*(memory + 1), r.line);
    EXPECT_EQ(std::count_if(held.begin(), held.end(),
                            [](const std::string& l) { return l.rfind("RapidStartFirmware=", 0) == 0; }),
              1);
    EXPECT_EQ(pc.Count(Call::SetupDiGetClassDevsByEnumeratorA), 1);
    Session().Model.ScanDisks();
    EXPECT_EQ(pc.Count(Call::SetupDiGetClassDevsByEnumeratorA), 1) << "a rescan does not ask again";
  }
}

TEST_F(StartUp, FailedMemoryQueryLeaves0AndGoesOn) {
  pc.FailNth(Call::CreateWbemLocator, 1, 0x80040154);  // REGDB_E_CLASSNOTREG
  pc.Disks.AddMbrDisk(0, 64 * SimDisks::kGiB);
  EXPECT_EQ(Session().PhysicalMemorySize, 0u);
  EXPECT_EQ(Session().Model.DiskCount, 1);
  const auto held = HeldLines();
  EXPECT_NE(std::find(held.begin(), held.end(), "Failed to create IWbemLocator object. Error code = 0x80040154"),
            held.end());
}

TEST_F(StartUp, TeardownReleasesTheServices) {
  Form();
  const int versionQueries = pc.Count(Call::GetVersionExA);
  form.reset();
  GetOsVersion();
  EXPECT_EQ(pc.Count(Call::GetVersionExA), versionQueries + 1) << "the detector was released";
  EXPECT_EQ(pc.OpenHandles(), 0);
}

// The window's selection starts at the first index, with no fixed disk too,
// and a rescan never moves it.
TEST_F(StartUp, NoFixedDiskStillSelectsTheFirstIndex) {
  pc.Disks.AddUsbFlash(0).AddPrimary(0x0C, disktest::kMiB, disktest::kGiB);
  pc.Disks.AddVolume(0, 1, 'E');
  pc.Disks.AddOtherDevice(1, disk::kFileDeviceCdRom).MediaType = disk::kMediaFixed;
  ASSERT_EQ(Form().Session.Model.DiskCount, 0);
  EXPECT_EQ(Form().DiskIndex, 0);
}

TEST_F(StartUp, RescansNeverMoveTheSelectedIndices) {
  disktest::BuildMixedPc(pc);
  TMainForm& form = Form();
  form.DiskIndex = 1;
  form.Session.CreateFlow.PartIndex = 3;
  pc.Disks.FindDrive(2)->MediaType = disk::kMediaRemovable;  // the GPT disk no longer qualifies
  form.Session.Model.ScanDisks();
  form.Session.Model.FindRapidStartPart();
  EXPECT_EQ(form.Session.Model.DiskCount, 1);
  EXPECT_EQ(form.DiskIndex, 1);
  EXPECT_EQ(form.Session.CreateFlow.PartIndex, 3);
  EXPECT_EQ(form.Session.Model.RapidStartDiskIndex, -1);
}

}  // namespace

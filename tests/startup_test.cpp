#include <gtest/gtest.h>

#include "app/entry.h"
#include "form_fixture.h"

namespace {

class StartUp : public FormTest {};

TEST_F(StartUp, LogOrder) {
  pc.CommandLine = "\"" + pc.ModulePath + "\" /debug";
  pc.System.MemoryModules = {SimMemoryModule::Make(4294967296ull, 8, L"BANK 0"),
                             SimMemoryModule::Make(4294967296ull, 8, L"BANK 1")};
  SimDrive& d = pc.Disks.AddMbrDisk(0, 64 * SimDisks::kGiB);
  d.AddPrimary(0x07, SimDisks::kMiB, 8589934592ull, true);
  d.Media = kSimHdd;
  ASSERT_TRUE(CanStart());
  Form();
  EXPECT_EQ(Form().PhysicalMemorySize, 8192u);
  const std::string expected =
      "\r\n\" /DEBUG"
      "\r\nExePath=C:\\Program Files\\Ortavel\\"
      "\r\nTempDir=C:\\Users\\User\\AppData\\Local\\Temp\\"
      "\r\nPhysicalMemorySize=8192"
      "\r\nWindows 7 Service Pack 1 7601 32-bit"
      "\r\nDiskIndex=0\r\nDiskNum=0\r\nMediaKind=HDD\r\nPartitionStyle=MBR\r\nPartCount=1"
      "\r\nPartIndex=0\r\nPartNum=1\r\nPartDriveLetter= \r\nPartBootable=True\r\nPartId=0x07"
      "\r\nPartLen=8192MB (8589934592)\r\nPartOffset=1MB (1048576)"
      "\r\nRapidStartDiskIndex=-1\r\nRapidStartPartIndex=-1";
  EXPECT_EQ(pc.ConsoleText(), expected);
  EXPECT_EQ(Form().ScriptFileName, "C:\\Users\\User\\AppData\\Local\\Temp\\DPINPUT.TXT");
  EXPECT_EQ(pc.System.StdOut.substr(0, 37), "Connected to ROOT\\CIMV2 WMI namespace");
}

TEST_F(StartUp, FailedMemoryQueryLeaves0AndGoesOn) {
  pc.FailNth(Call::CreateWbemLocator, 1, 0x80040154);  // REGDB_E_CLASSNOTREG
  pc.Disks.AddMbrDisk(0, 64 * SimDisks::kGiB);
  EXPECT_EQ(Form().PhysicalMemorySize, 0u);
  EXPECT_EQ(Form().DiskCount, 1);
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

}  // namespace

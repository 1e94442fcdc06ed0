// The disk queries against Wine's own disk: Wine offers \\.\PhysicalDrive0 as
// a fixed disk but refuses its layout, a real case of an unreadable layout.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "disk/disk.h"
#include "disk/part_identity.h"
#include "platform/win32/win32_os.h"
#include "shell/debug_console.h"
#include "shell/os_version.h"
#include "ui/main_form.h"

namespace {

DWORD HandleCount() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return count;
}

class WineDisk : public ::testing::Test {
 protected:
  WineDisk() : seam_(os_) {}
  ~WineDisk() override {
    ReleaseDisk();
    ReleaseOsVersion();
    ReleaseDebugConsole();
  }
  Win32Os os_;
  ScopedOs seam_;
};

TEST_F(WineDisk, DriveZeroIsAFixedDisk) {
  EXPECT_EQ(GetDisk().GetDiskDeviceType(0), disk::kFileDeviceDisk);
  EXPECT_EQ(GetDisk().GetDiskMediaType(0), disk::kMediaFixed);
  EXPECT_EQ(GetDisk().GetDiskDeviceType(63), disk::kFileDeviceUnknown) << "no drive 63";
}

TEST_F(WineDisk, RefusedLayoutLeavesTheRecordAndNoHandleBehind) {
  const DWORD before = HandleCount();
  auto record = std::make_unique<_DiskInfo>();
  std::memset(record.get(), 0xA5, sizeof *record);
  EXPECT_FALSE(GetDisk().GetDiskInfo(*record, 0));
  for (std::size_t i = 0; i < sizeof *record; ++i)
    ASSERT_EQ(reinterpret_cast<const unsigned char*>(record.get())[i], 0xA5) << "byte " << i;
  GetDisk().GetDiskProductId(0);
  GetDisk().GetPartitionVolumePath(0, 1);
  EXPECT_EQ(HandleCount(), before);
}

TEST_F(WineDisk, LayoutEditsWriteNothingWhenTheLayoutCannotBeRead) {
  EXPECT_FALSE(GetDisk().SetGptPartitionType(0, 1, disk::RapidStartGptType()));
  EXPECT_FALSE(GetDisk().DeleteGptPartition(0, 1));
  const auto& held = GetDebugConsole().PendingLines();
  EXPECT_NE(std::find(held.begin(), held.end(), "LayoutNotWritten=ReadFailed"), held.end());
}

TEST_F(WineDisk, ScanShowsNoStaleDataForTheUnreadableDisk) {
  auto form = std::make_unique<TMainForm>();
  form->DiskInfo[0].DiskNum = 7;
  form->DiskInfo[0].PartitionStyle = 1;
  form->DiskInfo[0].PartCount = 3;
  const DWORD before = HandleCount();
  form->ScanDisks();
  form->FindRapidStartPart();
  EXPECT_EQ(HandleCount(), before);
  ASSERT_GE(form->DiskCount, 1);
  EXPECT_EQ(form->DiskInfo[0].DiskNum, 0);
  EXPECT_EQ(form->DiskInfo[0].PartitionStyle, kPartitionStyleUnknown);
  EXPECT_EQ(form->DiskInfo[0].PartCount, 0u);
  EXPECT_EQ(form->RapidStartDiskIndex, -1);
}

}  // namespace

// The disk queries against Wine's own disk: Wine offers \\.\PhysicalDrive0 as
// a fixed disk but refuses its layout, a real case of an unreadable layout.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
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
  form->Session.Model.DiskInfo[0].DiskNum = 7;
  form->Session.Model.DiskInfo[0].PartitionStyle = 1;
  form->Session.Model.DiskInfo[0].PartCount = 3;
  const DWORD before = HandleCount();
  form->Session.Model.ScanDisks();
  form->Session.Model.FindRapidStartPart();
  EXPECT_EQ(HandleCount(), before);
  ASSERT_GE(form->Session.Model.DiskCount, 1);
  EXPECT_EQ(form->Session.Model.DiskInfo[0].DiskNum, 0);
  EXPECT_EQ(form->Session.Model.DiskInfo[0].PartitionStyle, kPartitionStyleUnknown);
  EXPECT_EQ(form->Session.Model.DiskInfo[0].PartCount, 0u);
  EXPECT_EQ(form->Session.Model.RapidStartDiskIndex, -1);
}

// Whatever Wine's drives say about seek penalty and TRIM, the answer is one
// of the three kinds, the same each time, and no handle is left open; the
// scan keeps it with the disk.
TEST_F(WineDisk, MediaKindOfWinesDrivesIsSane) {
  const DWORD before = HandleCount();
  for (int32_t n : {0, 1, 63, 64, -1}) {
    const TMediaKind kind = GetDisk().GetDiskMediaKind(n);
    EXPECT_TRUE(kind == TMediaKind::Ssd || kind == TMediaKind::Hdd || kind == TMediaKind::Unknown) << n;
    EXPECT_EQ(GetDisk().GetDiskMediaKind(n), kind) << n;
    if (n == 0) std::printf("drive 0 media kind under this system: %s\n", MediaKindText(kind));
  }
  EXPECT_EQ(GetDisk().GetDiskMediaKind(63), TMediaKind::Unknown) << "no drive 63";
  EXPECT_EQ(HandleCount(), before);
  auto form = std::make_unique<TMainForm>();
  ASSERT_GE(form->Session.Model.DiskCount, 1);
  EXPECT_EQ(form->Session.Model.DiskInfo[0].MediaKind,
            GetDisk().GetDiskMediaKind(form->Session.Model.DiskInfo[0].DiskNum));
}

}  // namespace

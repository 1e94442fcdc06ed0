// Partition-table edits through the simulated driver: the bytes each request
// carries, what the next read of the disk shows, and the cases in which
// nothing may be written.
#include <functional>
#include <memory>

#include "disk_test_util.h"

namespace {

using namespace disktest;

class DiskEdit : public DiskTest {
 protected:
  DiskEdit() { EnableLog(); }

  // Disk 0: MBR, partitions 1 (C:), 2 (a volume without letter), 3 (hidden only).
  void BuildMbr() {
    SimDrive& d = pc.Disks.AddMbrDisk(0);
    d.AddPrimary(0x07, kMiB, 50 * kGiB, true);
    d.AddPrimary(0x07, 60 * kGiB, 20 * kGiB);
    d.AddPrimary(0x27, 90 * kGiB, kGiB);
    pc.Disks.AddVolume(0, 1, 'C');
    pc.Disks.AddVolume(0, 2);
    pc.Disks.AddHiddenVolume(0, 3);
  }
  // Disk 1: GPT, partitions 1 EFI, 2 data (D:), 3 data.
  SimDrive& BuildGpt() {
    SimDrive& g = pc.Disks.AddGptDisk(1);
    g.AddGptPartition(EfiType(), kMiB, 100 * kMiB, u"EFI");
    g.AddGptPartition(DataType(), 200 * kMiB, 100 * kGiB, u"Data");
    g.AddGptPartition(DataType(), 101 * kGiB, 8 * kGiB, u"Spare");
    pc.Disks.AddVolume(1, 2, 'D');
    pc.Disks.AddVolume(1, 3);
    return g;
  }
  // The layout as read: the bytes the driver returned, then zeros.
  std::vector<uint8_t> LayoutBytes(int32_t n) {
    auto b = std::make_unique<disk::DriveLayoutBuffer>();
    uint32_t bytes = 0;
    EXPECT_TRUE(GetDisk().GetDriveLayout(PhysicalDrivePath(n), b.get(), disk::kLayoutBufferBytes, &bytes));
    const uint8_t* p = reinterpret_cast<const uint8_t*>(b.get());
    std::vector<uint8_t> read(p, p + bytes);
    read.resize(disk::kLayoutBufferBytes, 0);
    return read;
  }
  std::unique_ptr<_DiskInfo> Read(int32_t n) {
    auto r = std::make_unique<_DiskInfo>();
    EXPECT_TRUE(GetDisk().GetDiskInfo(*r, n));
    return r;
  }
  const SimIoRequest* LastRequest(uint32_t code) const {
    for (auto it = pc.Disks.Requests.rbegin(); it != pc.Disks.Requests.rend(); ++it)
      if (it->Code == code) return &*it;
    return nullptr;
  }
};

TEST_F(DiskEdit, SetMbrTypeSendsTheMbrRecordToTheVolumeAndTheNextReadShowsIt) {
  BuildMbr();
  ClearLog();
  EXPECT_TRUE(GetDisk().SetMbrPartitionType(0, 2, 0x84));
  EXPECT_EQ(Lines(), (std::vector<LogLine>{{14, "SetMbrPartitionType"},
                                            {7, "DiskNum=0"},
                                            {7, "PartNum=2"},
                                            {7, "PartType=0x84"},
                                            {7, "res=True"}}));
  const SimIoRequest* set = LastRequest(disk::kIoctlDiskSetPartitionInfoEx);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->Path, pc.Disks.FindVolume(0, 2)->InterfacePath);
  std::vector<uint8_t> expected(120, 0);
  expected[8] = 0x84;  // style 0 (MBR) at 0, the type byte at 8
  EXPECT_EQ(set->Input, expected);
  EXPECT_EQ(pc.Disks.Opens.back().Access, os::kGenericRead | os::kGenericWrite);
  EXPECT_EQ(pc.Disks.Opens.back().Share, os::kFileShareRead | os::kFileShareWrite);
  EXPECT_EQ(DeviceHandlesOpen(), 0);
  EXPECT_EQ(pc.Count(Call::SetupDiGetClassDevsA), pc.Count(Call::SetupDiDestroyDeviceInfoList));

  auto r = Read(0);
  EXPECT_EQ(r->PartInfo[1].Mbr.PartitionType, 0x84);
  EXPECT_EQ(r->PartInfo[0].Mbr.PartitionType, 0x07);
}

TEST_F(DiskEdit, SetMbrTypeFindsAHiddenVolumeInTheSecondClassAndFailsWithoutAVolume) {
  BuildMbr();
  EXPECT_TRUE(GetDisk().SetMbrPartitionType(0, 3, 0x84));
  EXPECT_EQ(LastRequest(disk::kIoctlDiskSetPartitionInfoEx)->Path, pc.Disks.FindVolume(0, 3)->InterfacePath);
  EXPECT_EQ(Read(0)->PartInfo[2].Mbr.PartitionType, 0x84);

  ClearLog();
  const int requests = pc.Disks.CountRequests(disk::kIoctlDiskSetPartitionInfoEx);
  EXPECT_FALSE(GetDisk().SetMbrPartitionType(0, 9, 0x84));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"SetMbrPartitionType", "DiskNum=0", "PartNum=9", "PartType=0x84",
                                               "res=False"}));
  EXPECT_EQ(pc.Disks.CountRequests(disk::kIoctlDiskSetPartitionInfoEx), requests);
}

TEST_F(DiskEdit, DeletePartitionSendsA144ByteZeroRecordAndThePartitionIsGone) {
  BuildMbr();
  ClearLog();
  EXPECT_TRUE(GetDisk().DeletePartition(0, 2));
  EXPECT_EQ(Lines(), (std::vector<LogLine>{{14, "TDisk::DeletePartition"}}));
  EXPECT_EQ(LastRequest(disk::kIoctlDiskSetPartitionInfoEx)->Input, std::vector<uint8_t>(144, 0));
  auto r = Read(0);
  ASSERT_EQ(r->PartCount, 2u);
  EXPECT_EQ(r->PartInfo[0].PartNum, 1);
  // Windows numbers the primary entries in table order: the one after the
  // deleted partition moves down, and its (hidden) volume with it.
  EXPECT_EQ(r->PartInfo[1].PartNum, 2);
  EXPECT_EQ(r->PartInfo[1].PartOffset, 90 * kGiB);
  ASSERT_NE(pc.Disks.FindVolume(0, 2), nullptr);
  EXPECT_TRUE(pc.Disks.FindVolume(0, 2)->Hidden);
  EXPECT_EQ(pc.Disks.FindVolume(0, 3), nullptr);
}

TEST_F(DiskEdit, SetGptTypeChangesOnlyTypeAndIdOfTheEntryAndWritesTheWholeBuffer) {
  SimDrive& g = BuildGpt();
  const os::Guid oldId = g.Layout[2].GptId;
  const std::vector<uint8_t> before = LayoutBytes(1);
  ClearLog();
  EXPECT_TRUE(GetDisk().SetGptPartitionType(1, 3, RapidType()));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"FileName=\\\\.\\PhysicalDrive1"}));

  const SimIoRequest* set = LastRequest(disk::kIoctlDiskSetDriveLayoutEx);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->Path, "\\\\.\\PhysicalDrive1");
  ASSERT_EQ(set->Input.size(), disk::kLayoutBufferBytes);
  // Entry 2's GPT member starts at 48 + 2 * 144 + 32; its type and id are the 32 bytes there.
  const std::size_t typeAt = 48 + 2 * 144 + 32;
  for (std::size_t i = 0; i < before.size(); ++i)
    if (i < typeAt || i >= typeAt + 32) {
      ASSERT_EQ(set->Input[i], before[i]) << "byte " << i;
    }
  disk::DriveLayoutBuffer written{};
  std::memcpy(&written, set->Input.data(), sizeof written);
  EXPECT_EQ(written.Entries[2].Gpt.PartitionType, RapidType());
  const os::Guid newId = written.Entries[2].Gpt.PartitionId;
  EXPECT_NE(newId, oldId);
  EXPECT_NE(newId, os::Guid{});

  auto r = Read(1);
  ASSERT_EQ(r->PartCount, 3u);
  EXPECT_EQ(r->PartInfo[2].Gpt.PartitionType, RapidType());
  EXPECT_EQ(r->PartInfo[2].Gpt.PartitionId, newId);
  EXPECT_EQ(r->PartInfo[1].Gpt.PartitionType, DataType());

  // A second time gives the partition another unique GUID.
  EXPECT_TRUE(GetDisk().SetGptPartitionType(1, 3, RapidType()));
  EXPECT_NE(Read(1)->PartInfo[2].Gpt.PartitionId, newId);
}

TEST_F(DiskEdit, DeleteGptKeepsTheCountWithOneZeroEntryAndThePartitionIsGone) {
  BuildGpt();
  EXPECT_TRUE(GetDisk().DeleteGptPartition(1, 2));
  disk::DriveLayoutBuffer written{};
  std::memcpy(&written, LastRequest(disk::kIoctlDiskSetDriveLayoutEx)->Input.data(), sizeof written);
  EXPECT_EQ(written.Header.PartitionCount, 3u);
  const uint8_t* entry = reinterpret_cast<const uint8_t*>(&written.Entries[1]);
  EXPECT_EQ(std::vector<uint8_t>(entry, entry + 144), std::vector<uint8_t>(144, 0));
  EXPECT_EQ(written.Entries[2].PartitionNumber, 3u);

  auto r = Read(1);
  ASSERT_EQ(r->PartCount, 2u);
  EXPECT_EQ(r->PartInfo[0].PartNum, 1);
  EXPECT_EQ(r->PartInfo[1].PartNum, 3);
  EXPECT_EQ(pc.Disks.FindVolume(1, 2), nullptr);
}

TEST_F(DiskEdit, NumbersThatMatchNoEntryWriteTheLayoutBackUnchanged) {
  SimDrive& g = BuildGpt();
  // An unused entry (number 0) is never taken for partition 0.
  SimPartition unused = g.Layout[2];
  unused.Number = 0;
  unused.Offset = 120 * kGiB;
  const std::vector<SimPartition> layout = {g.Layout[0], g.Layout[1], g.Layout[2], unused};
  for (int32_t part : {0, 9, -1}) {
    for (bool remove : {false, true}) {
      g.Layout = layout;  // a write may have dropped the unused entry
      const std::vector<uint8_t> before = LayoutBytes(1);
      EXPECT_TRUE(remove ? GetDisk().DeleteGptPartition(1, part) : GetDisk().SetGptPartitionType(1, part, RapidType()))
          << part;
      EXPECT_EQ(LastRequest(disk::kIoctlDiskSetDriveLayoutEx)->Input, before) << part << remove;
    }
  }
}

// Regression: a zero-filled buffer describes an empty disk; writing it back
// after a failed read would wipe the partition table.
TEST_F(DiskEdit, NothingIsWrittenWhenTheLayoutCannotBeTrusted) {
  SimDrive& g = BuildGpt();
  BuildMbr();
  SimDrive& big = pc.Disks.AddGptDisk(2, 4096 * kGiB);
  for (int p = 0; p < 130; ++p) big.AddGptPartition(DataType(), kMiB + p * 10 * kGiB, kGiB);
  struct Row {
    const char* name;
    int32_t disk;
    std::function<void()> arrange;
    const char* problem;
  };
  const Row rows[] = {
      {"layout refused", 1, [&] { g.LayoutError = os::kErrorInvalidFunction; }, "ReadFailed"},
      {"injected read failure", 1, [&] { pc.FailNth(Call::DeviceIoControl, 1, os::kErrorGenFailure); },
       "ReadFailed"},
      {"open refused", 1, [&] { pc.FailNth(Call::CreateFileA, 1, os::kErrorAccessDenied); }, "ReadFailed"},
      {"absent drive", 7, [] {}, "ReadFailed"},
      {"out-of-range drive", 64, [] {}, "ReadFailed"},
      {"more than 129 entries", 2, [] {}, "ReadFailed"},
      {"count beyond the reply", 1, [&] { g.ClaimedPartitionCount = 200; }, "Truncated"},
      {"not a GPT layout", 0, [] {}, "NotGpt"},
  };
  for (bool remove : {false, true}) {
    for (const Row& r : rows) {
      g.LayoutError = 0;
      g.ClaimedPartitionCount = -1;
      r.arrange();
      ClearLog();
      const int writes = pc.Disks.CountRequests(disk::kIoctlDiskSetDriveLayoutEx);
      const bool ok =
          remove ? GetDisk().DeleteGptPartition(r.disk, 2) : GetDisk().SetGptPartitionType(r.disk, 2, RapidType());
      EXPECT_FALSE(ok) << r.name;
      EXPECT_EQ(pc.Disks.CountRequests(disk::kIoctlDiskSetDriveLayoutEx), writes) << r.name;
      EXPECT_EQ(Texts(), std::vector<std::string>{std::string("LayoutNotWritten=") + r.problem}) << r.name;
      EXPECT_EQ(DeviceHandlesOpen(), 0) << r.name;
    }
  }
  g.LayoutError = 0;
  g.ClaimedPartitionCount = -1;
  EXPECT_EQ(Read(1)->PartCount, 3u);
  EXPECT_EQ(Read(0)->PartCount, 3u);
}

TEST_F(DiskEdit, NoFreshGuidMeansNoWrite) {
  BuildGpt();
  pc.FailNth(Call::CoCreateGuid, 1, 0x80004005);
  EXPECT_FALSE(GetDisk().SetGptPartitionType(1, 3, RapidType()));
  EXPECT_EQ(pc.Disks.CountRequests(disk::kIoctlDiskSetDriveLayoutEx), 0);
  EXPECT_EQ(Read(1)->PartInfo[2].Gpt.PartitionType, DataType());
}

TEST_F(DiskEdit, SetDriveLayoutLogsItsPathOnlyWhenTheOpenSucceeded) {
  BuildGpt();
  // The second open of the edit is the write.
  pc.FailNth(Call::CreateFileA, 2, os::kErrorAccessDenied);
  ClearLog();
  EXPECT_FALSE(GetDisk().SetGptPartitionType(1, 3, RapidType()));
  EXPECT_TRUE(Texts().empty());
  // The driver refuses the write: the line is still there.
  pc.FailNth(Call::DeviceIoControl, 2, 19 /* ERROR_WRITE_PROTECT */);
  ClearLog();
  EXPECT_FALSE(GetDisk().SetGptPartitionType(1, 3, RapidType()));
  EXPECT_EQ(Texts(), (std::vector<std::string>{"FileName=\\\\.\\PhysicalDrive1"}));
  EXPECT_EQ(DeviceHandlesOpen(), 0);
  EXPECT_EQ(Read(1)->PartInfo[2].Gpt.PartitionType, DataType());
}

class VolumeSearch : public DiskTest {};

// Regression: an interface whose device number cannot be read used to empty
// the match found before it.
TEST_F(VolumeSearch, AnUnreadableInterfaceKeepsAnEarlierMatch) {
  pc.Disks.AddMbrDisk(0).AddPrimary(0x07, kMiB, kGiB);
  const std::string match = pc.Disks.AddVolume(0, 1, 'C').InterfacePath;
  pc.Disks.AddVolume(0, 2).DeviceNumberFails = true;
  EXPECT_EQ(GetDisk().FindVolumeInterface(kGuidDevInterfaceVolume, 0, 1), match);
  EXPECT_EQ(GetDisk().GetPartitionVolumePath(0, 1), match);
}

TEST_F(VolumeSearch, ALaterMatchWinsAndEveryPathReleasesTheSet) {
  pc.Disks.AddMbrDisk(0).AddPrimary(0x07, kMiB, kGiB);
  pc.Disks.AddVolume(0, 1);
  const std::string later = pc.Disks.AddVolume(0, 1).InterfacePath;
  const std::string hidden = pc.Disks.AddHiddenVolume(0, 2).InterfacePath;
  EXPECT_EQ(GetDisk().FindVolumeInterface(kGuidDevInterfaceVolume, 0, 1), later);
  EXPECT_EQ(GetDisk().FindVolumeInterface(kGuidDevInterfaceVolume, 0, 2), "");
  EXPECT_EQ(GetDisk().FindVolumeInterface(kGuidDevInterfaceHiddenVolume, 0, 2), hidden);
  EXPECT_EQ(GetDisk().GetPartitionVolumePath(0, 2), hidden);

  // A failing detail request ends the search.
  pc.FailNth(Call::SetupDiGetDeviceInterfaceDetailA, 1, os::kErrorInvalidParameter);
  EXPECT_EQ(GetDisk().FindVolumeInterface(kGuidDevInterfaceVolume, 0, 1), "");
  // No set: nothing to release.
  const int destroyed = pc.Count(Call::SetupDiDestroyDeviceInfoList);
  pc.FailNth(Call::SetupDiGetClassDevsA, 1, os::kErrorInvalidParameter);
  EXPECT_EQ(GetDisk().FindVolumeInterface(kGuidDevInterfaceVolume, 0, 1), "");
  EXPECT_EQ(pc.Count(Call::SetupDiDestroyDeviceInfoList), destroyed);
  EXPECT_EQ(pc.Count(Call::SetupDiGetClassDevsA), pc.Count(Call::SetupDiDestroyDeviceInfoList) + 1);
  EXPECT_EQ(DeviceHandlesOpen(), 0);
  EXPECT_EQ(pc.OpenInterfaceSets(), 0);

  // Numbers no stored partition has are not searched for.
  const int sets = pc.Count(Call::SetupDiGetClassDevsA);
  EXPECT_EQ(GetDisk().GetPartitionVolumePath(0, 0), "");
  EXPECT_EQ(GetDisk().GetPartitionVolumePath(64, 1), "");
  EXPECT_EQ(pc.Count(Call::SetupDiGetClassDevsA), sets);
}

}  // namespace

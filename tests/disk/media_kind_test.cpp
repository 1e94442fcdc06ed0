// Solid-state or spinning: the seek-penalty question, the TRIM question
// behind it, replies that do not cover their field, and drives that cannot
// be opened; and the simulated driver's own replies to short buffers.
#include <functional>
#include <memory>

#include "disk_test_util.h"

namespace {

using namespace disktest;

class MediaKind : public DiskTest {
 protected:
  // The property ids asked, in order, since the request count `from`.
  std::vector<uint32_t> PropertiesAsked(std::size_t from = 0) const {
    std::vector<uint32_t> ids;
    for (std::size_t i = from; i < pc.Disks.Requests.size(); ++i) {
      const SimIoRequest& r = pc.Disks.Requests[i];
      if (r.Code != disk::kIoctlStorageQueryProperty) continue;
      EXPECT_EQ(r.Input.size(), 12u);
      EXPECT_EQ(r.OutSize, 12u) << "the whole record is asked for";
      ids.push_back(r.Input.size() >= 8 ? r.Input[0] | (r.Input[4] << 8) : 0xFFu);  // id, and the query type above it
    }
    return ids;
  }
};

TEST_F(MediaKind, SeekPenaltyFirstThenTrim) {
  constexpr SimAnswer Y = SimAnswer::Yes, N = SimAnswer::No, X = SimAnswer::NotSupported;
  struct Row {
    SimAnswer seek, trim;
    TMediaKind expected;
    std::vector<uint32_t> asked;  // property ids (standard queries)
  } rows[] = {
      {N, Y, TMediaKind::Ssd, {7}},
      {N, X, TMediaKind::Ssd, {7}},
      {Y, Y, TMediaKind::Hdd, {7}},  // the seek penalty decides; TRIM is not asked
      {Y, X, TMediaKind::Hdd, {7}},
      {X, Y, TMediaKind::Ssd, {7, 8}},
      {X, N, TMediaKind::Unknown, {7, 8}},  // no TRIM proves no spinning disk
      {X, X, TMediaKind::Unknown, {7, 8}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "seek " << int(r.seek) << " trim " << int(r.trim));
    pc.Disks.Drives.clear();
    pc.Disks.AddGptDisk(3).Media = {r.seek, r.trim};
    const std::size_t from = pc.Disks.Requests.size();
    const Counts before = Snapshot();
    EXPECT_EQ(GetDisk().GetDiskMediaKind(3), r.expected);
    EXPECT_EQ(PropertiesAsked(from), r.asked);
    const Counts after = Snapshot();
    const int n = static_cast<int>(r.asked.size());
    EXPECT_EQ(after.opens - before.opens, n) << "one open per request";
    EXPECT_EQ(after.closes - before.closes, n);
    EXPECT_EQ(pc.Disks.Opens.back().Access, os::kGenericRead);
    EXPECT_EQ(pc.Disks.Opens.back().Path, PhysicalDrivePath(3));
    EXPECT_EQ(DeviceHandlesOpen(), 0);
  }
}

// Only the bytes the driver returned count, and only a record whose own
// Version and Size reach the field.
TEST_F(MediaKind, RepliesThatDoNotCoverTheFlagAreNotBelieved) {
  constexpr SimAnswer Y = SimAnswer::Yes, N = SimAnswer::No, X = SimAnswer::NotSupported;
  struct Row {
    const char* name;
    SimAnswer seek, trim;
    uint32_t seekBytes, trimBytes, claimedSize;
    TMediaKind expected;
  } rows[] = {
      {"seek penalty: header only, TRIM yes", Y, Y, 8, 12, 12, TMediaKind::Ssd},
      {"seek penalty: header only, TRIM no", Y, N, 8, 12, 12, TMediaKind::Unknown},
      {"seek penalty: nothing returned, TRIM yes", Y, Y, 0, 12, 12, TMediaKind::Ssd},
      {"seek penalty: up to the flag exactly", Y, Y, 9, 12, 12, TMediaKind::Hdd},
      {"TRIM: header only", X, Y, 12, 8, 12, TMediaKind::Unknown},
      {"both cut short", N, Y, 4, 7, 12, TMediaKind::Unknown},
      {"records claim 8 bytes", Y, Y, 12, 12, 8, TMediaKind::Unknown},
      {"records claim 0 bytes", N, Y, 12, 12, 0, TMediaKind::Unknown},
      {"records claim more", N, N, 12, 12, 16, TMediaKind::Ssd},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    pc.Disks.Drives.clear();
    SimDrive& d = pc.Disks.AddMbrDisk(0);
    d.Media = {r.seek, r.trim};
    d.Media.SeekPenaltyReplyBytes = r.seekBytes;
    d.Media.TrimReplyBytes = r.trimBytes;
    d.Media.ClaimedSize = r.claimedSize;
    EXPECT_EQ(GetDisk().GetDiskMediaKind(0), r.expected);
    EXPECT_EQ(DeviceHandlesOpen(), 0);
  }
}

TEST_F(MediaKind, ARefusedSeekPenaltyRequestFallsBackToTrim) {
  pc.Disks.AddMbrDisk(0).Media = kSimSsd;
  pc.FailNth(Call::DeviceIoControl, 1, os::kErrorGenFailure);
  EXPECT_EQ(GetDisk().GetDiskMediaKind(0), TMediaKind::Ssd);
  EXPECT_EQ(pc.Count(Call::DeviceIoControl), 2);
  EXPECT_EQ(PropertiesAsked(), (std::vector<uint32_t>{8})) << "the refused request never reached the driver";
  pc.FailNth(Call::DeviceIoControl, 1, os::kErrorGenFailure);
  pc.FailNth(Call::DeviceIoControl, 2, os::kErrorGenFailure);
  EXPECT_EQ(GetDisk().GetDiskMediaKind(0), TMediaKind::Unknown);
  EXPECT_EQ(DeviceHandlesOpen(), 0);
}

TEST_F(MediaKind, ADriveThatCannotBeOpenedIsAskedOnce) {
  pc.Disks.AddMbrDisk(0).Media = kSimHdd;
  struct Row {
    const char* name;
    std::function<void()> arrange;
    int32_t diskNum;
    int opens;
  } rows[] = {
      {"no such drive", [] {}, 5, 1},
      {"not elevated", [this] { pc.Disks.Elevated = false; }, 0, 1},
      {"open fails", [this] { pc.FailNth(Call::CreateFileA, 1, os::kErrorSharingViolation); }, 0, 1},
      {"number out of range", [] {}, 64, 0},
      {"negative number", [] {}, -1, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    pc.Disks.Elevated = true;
    r.arrange();
    const Counts before = Snapshot();
    EXPECT_EQ(GetDisk().GetDiskMediaKind(r.diskNum), TMediaKind::Unknown);
    const Counts after = Snapshot();
    EXPECT_EQ(after.opens - before.opens, r.opens);
    EXPECT_EQ(after.requests - before.requests, 0);
    EXPECT_EQ(DeviceHandlesOpen(), 0);
  }
}

TEST_F(MediaKind, TheScanFillsEveryFixedDiskAndResetsStaleKinds) {
  pc.Disks.AddGptDisk(0).Media = kSimSsd;
  pc.Disks.AddUsbFlash(1);
  pc.Disks.AddMbrDisk(2).Media = kSimHdd;
  SimDrive& unreadable = pc.Disks.AddGptDisk(3);
  unreadable.Media = kSimHdd;
  unreadable.LayoutError = os::kErrorInvalidFunction;
  pc.Disks.AddRawDisk(4).Media = kSimMediaUnknown;
  auto disks = std::make_unique<_DiskInfo[]>(6);
  for (int i = 0; i < 6; ++i) disks[i].MediaKind = TMediaKind::Ssd;  // an earlier scan's
  ASSERT_EQ(GetDisk().ReadFixedDisks(disks.get(), 6, TLetterLookup::OncePerScan), 4);
  const std::pair<int32_t, TMediaKind> expected[] = {
      {0, TMediaKind::Ssd}, {2, TMediaKind::Hdd}, {3, TMediaKind::Hdd}, {4, TMediaKind::Unknown}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(disks[i].DiskNum, expected[i].first);
    EXPECT_EQ(disks[i].MediaKind, expected[i].second) << "disk " << expected[i].first;
  }
  EXPECT_EQ(disks[2].PartitionStyle, kPartitionStyleUnknown);
  // The removable drive is not asked.
  for (const SimIoRequest& r : pc.Disks.Requests) {
    if (r.Code == disk::kIoctlStorageQueryProperty) {
      EXPECT_NE(r.Path, PhysicalDrivePath(1));
    }
  }
}

// The simulated driver answers as Windows does: a buffer too small for the
// header is refused, one that holds the header gets the header alone, with
// the size the whole record needs.
TEST_F(MediaKind, SimulatedDriverRepliesByteExactly) {
  pc.Disks.AddMbrDisk(0).Media = kSimHdd;
  const os::Handle h = pc.CreateFileA(PhysicalDrivePath(0), os::kGenericRead,
                                      os::kFileShareRead | os::kFileShareWrite, os::kOpenExisting, 0);
  ASSERT_TRUE(pc.Owns(h));
  struct Row {
    uint32_t property, outSize;
    bool ok;
    uint32_t error, bytes;
    std::vector<uint8_t> reply;
  } rows[] = {
      {7, 12, true, 0, 12, {12, 0, 0, 0, 12, 0, 0, 0, 1, 0x3C, 0x3C, 0x3C}},  // padding left as it was
      {8, 12, true, 0, 12, {12, 0, 0, 0, 12, 0, 0, 0, 0, 0x3C, 0x3C, 0x3C}},
      {7, 16, true, 0, 12, {12, 0, 0, 0, 12, 0, 0, 0, 1, 0x3C, 0x3C, 0x3C}},
      {7, 11, true, 0, 8, {12, 0, 0, 0, 12, 0, 0, 0}},
      {7, 8, true, 0, 8, {12, 0, 0, 0, 12, 0, 0, 0}},
      {7, 7, false, os::kErrorInsufficientBuffer, 0, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "property " << r.property << ", " << r.outSize << " bytes");
    const uint8_t query[12] = {static_cast<uint8_t>(r.property)};
    uint8_t out[16];
    std::memset(out, 0x3C, sizeof out);
    uint32_t bytes = 99;
    EXPECT_EQ(pc.DeviceIoControl(h, disk::kIoctlStorageQueryProperty, query, 12, out, r.outSize, bytes), r.ok);
    EXPECT_EQ(bytes, r.bytes);
    if (!r.ok) {
      EXPECT_EQ(pc.GetLastError(), r.error);
    }
    EXPECT_EQ(std::vector<uint8_t>(out, out + bytes), r.reply);
    for (uint32_t i = bytes; i < r.outSize; ++i) EXPECT_EQ(out[i], 0xA5) << "unreturned byte " << i;
  }
  // A drive that knows neither property refuses both, existence queries too.
  pc.Disks.FindDrive(0)->Media = kSimMediaUnknown;
  for (uint8_t property : {7, 8}) {
    for (uint8_t type : {0, 1}) {
      const uint8_t query[12] = {property, 0, 0, 0, type};
      uint8_t out[12] = {};
      uint32_t bytes = 0;
      EXPECT_FALSE(pc.DeviceIoControl(h, disk::kIoctlStorageQueryProperty, query, 12, out, 12, bytes));
      EXPECT_EQ(pc.GetLastError(), os::kErrorNotSupported);
    }
  }
  pc.CloseHandle(h);
}

}  // namespace

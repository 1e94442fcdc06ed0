// Shared pieces of the disk tests: a fixture with a fresh simulated PC and
// fresh process-wide services, the log as (attribute, line) pairs, and the
// partition-type GUIDs the scenarios use.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "disk/disk.h"
#include "disk/disk_model.h"
#include "disk/part_identity.h"
#include "platform/sim/sim_pc.h"
#include "shell/debug_console.h"
#include "shell/os_version.h"

namespace disktest {

constexpr uint64_t kMiB = kBytesPerMb;
constexpr uint64_t kGiB = SimDisks::kGiB;

inline os::Guid G(const char* text) {
  os::Guid g{};
  EXPECT_TRUE(disk::ParseGuidText(text, g)) << text;
  return g;
}
inline os::Guid EfiType() { return G("{C12A7328-F81F-11D2-BA4B-00A0C93EC93B}"); }
inline os::Guid MsrType() { return G("{E3C9E316-0B5C-4DB8-817D-F92DF00215AE}"); }
inline os::Guid DataType() { return G("{EBD0A0A2-B9E5-4433-87C0-68B6B72699C7}"); }
inline os::Guid RapidType() { return G("{D3BFE2DE-3DAF-11DF-BA40-E3A556D89593}"); }
inline os::Guid RecoveryType() { return G("{DE94BBA4-06D1-4D40-A16A-BFD50179D6AC}"); }

using LogLine = std::pair<uint16_t, std::string>;  // attribute, text

class DiskTest : public ::testing::Test {
 protected:
  SimPc pc;
  ScopedOs seam{pc};

  DiskTest() { ResetServices(); }
  ~DiskTest() override { ResetServices(); }

  static void ResetServices() {
    ReleaseDisk();
    ReleaseOsVersion();
    ReleaseDebugConsole();
  }

  // Switches the log on, so its lines reach the simulated console with their attributes.
  void EnableLog() { GetDebugConsole(true); }
  // Forgets what the console shows so far.
  void ClearLog() { pc.ConsoleWrites.clear(); }

  // The console's lines from the first write on; each line starts with "\r\n".
  std::vector<LogLine> Lines() const {
    std::vector<LogLine> lines;
    for (const SimConsoleWrite& w : pc.ConsoleWrites) {
      if (w.text.rfind("\r\n", 0) == 0)
        lines.emplace_back(w.attr, w.text.substr(2));
      else if (!lines.empty())
        lines.back().second += w.text;
      else
        lines.emplace_back(w.attr, w.text);
    }
    return lines;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const LogLine& l : Lines()) texts.push_back(l.second);
    return texts;
  }

  // Handles left open, the log's console aside.
  int DeviceHandlesOpen() const { return pc.OpenHandles() - (pc.ConsoleAllocated ? 1 : 0); }

  struct Counts {
    int opens, requests, closes;
  };
  Counts Snapshot() const {
    return {pc.Count(Call::CreateFileA), pc.Count(Call::DeviceIoControl), pc.Count(Call::CloseHandle)};
  }
};

// The disk model as the session's start-up builds it (no Rapid Start
// partition known, a scan, then the search), with no session or window
// around it. The services it read through go with it, as they go with the
// window, so the next one reads its machine afresh.
struct StartUpModel : TDiskModel {
  StartUpModel() {
    RapidStartDiskIndex = -1;
    RapidStartPartIndex = -1;
    ScanDisks();
    FindRapidStartPart();
  }
  ~StartUpModel() {
    ReleaseOsVersion();
    ReleaseDisk();
  }
  StartUpModel(const StartUpModel&) = delete;
  StartUpModel& operator=(const StartUpModel&) = delete;
};
// 64 disk records: never on the stack.
inline std::unique_ptr<StartUpModel> NewModel() { return std::make_unique<StartUpModel>(); }

// Two fixed disks with a USB flash drive between them: an MBR disk (C: and a
// second partition) and a GPT disk with a Rapid Start partition.
inline void BuildMixedPc(SimPc& pc) {
  SimDrive& mbr = pc.Disks.AddMbrDisk(0);
  mbr.AddPrimary(0x07, kMiB, 8589934592ull, true);
  mbr.AddPrimary(0x0C, 10 * kGiB, 20 * kGiB + kMiB - 1, false, 2);
  pc.Disks.AddVolume(0, 1, 'C');
  pc.Disks.AddUsbFlash(1).AddPrimary(0x0C, kMiB, 8 * kGiB);
  pc.Disks.AddVolume(1, 1, 'E');
  SimDrive& gpt = pc.Disks.AddGptDisk(2);
  gpt.Media = kSimHdd;
  gpt.AddGptPartition(EfiType(), kMiB, 100 * kMiB, u"EFI system partition");
  gpt.AddGptPartition(MsrType(), 101 * kMiB, 16 * kMiB, u"Reserved");
  gpt.AddGptPartition(DataType(), 117 * kMiB, 400 * kGiB, u"Basic data partition");
  gpt.AddGptPartition(RapidType(), 420 * kGiB, 8589934592ull);
  pc.Disks.AddHiddenVolume(2, 1);
  pc.Disks.AddVolume(2, 3, 'F');
  pc.Disks.AddHiddenVolume(2, 4);
}

// Field-for-field equality of two disk records (their padding aside).
inline void ExpectSameDisk(const _DiskInfo& a, const _DiskInfo& b) {
  EXPECT_EQ(a.DiskNum, b.DiskNum);
  EXPECT_EQ(a.PartitionStyle, b.PartitionStyle);
  ASSERT_EQ(a.PartCount, b.PartCount) << "disk " << a.DiskNum;
  for (uint32_t j = 0; j < a.PartCount; ++j) {
    const _PartInfo& x = a.PartInfo[j];
    const _PartInfo& y = b.PartInfo[j];
    EXPECT_EQ(x.DiskNum, y.DiskNum);
    EXPECT_EQ(x.PartNum, y.PartNum);
    EXPECT_EQ(x.PartDriveLetter, y.PartDriveLetter) << "disk " << a.DiskNum << " part " << x.PartNum;
    EXPECT_EQ(x.PartOffset, y.PartOffset);
    EXPECT_EQ(x.PartLen, y.PartLen);
    EXPECT_EQ(0, std::memcmp(&x.Mbr, &y.Mbr, sizeof x.Mbr));
    EXPECT_EQ(0, std::memcmp(&x.Gpt, &y.Gpt, sizeof x.Gpt));
  }
}

// A machine of fixedDisks GPT disks of partsPerDisk partitions each, with
// letters C: onwards on the first `letters` partitions, disk by disk.
inline void BuildBusyPc(SimPc& pc, int fixedDisks, int partsPerDisk, int letters) {
  int lettered = 0;
  for (int n = 0; n < fixedDisks; ++n) {
    SimDrive& d = pc.Disks.AddGptDisk(n, 1024 * kGiB);
    for (int p = 0; p < partsPerDisk; ++p) {
      d.AddGptPartition(DataType(), kMiB + static_cast<uint64_t>(p) * 100 * kGiB, 50 * kGiB);
      if (lettered < letters) pc.Disks.AddVolume(n, static_cast<uint32_t>(p + 1), static_cast<char>('C' + lettered++));
    }
  }
}

}  // namespace disktest

namespace os {
// GoogleTest prints GUIDs in their text form.
inline void PrintTo(const Guid& g, std::ostream* out) { *out << disk::FormatGuidText(g); }
}  // namespace os

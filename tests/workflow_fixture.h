// Running the Create and Delete workflows on simulated PCs, and the rules no
// workflow may break, checked against what the simulated PC recorded.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "disk/part_identity.h"
#include "disk_test_util.h"
#include "form_fixture.h"
#include "platform/sim/sim_diskpart.h"
#include "session_fixture.h"
#include "ui/part_sizes.h"

namespace flowtest {

using disktest::kGiB;
using disktest::kMiB;

inline const os::Guid kEfi = disktest::EfiType();
inline const os::Guid kMsr = disktest::MsrType();
inline const os::Guid kData = disktest::DataType();
inline const os::Guid kRapid = disktest::RapidType();

// The systems of each family code.
inline SimVersion Family(int family) {
  SimVersion v;
  switch (family) {
    case 1: return SimVersion::Make(2, 5, 1, 2600, "Service Pack 3");
    case 2:
    case 3:
      v = SimVersion::Make(2, 5, 2, 3790, "Service Pack 2", 3);
      v.wow64 = true;
      v.nativeArchitecture = family == 2 ? os::kProcessorArchitectureIa64 : os::kProcessorArchitectureAmd64;
      return v;
    case 4: return SimVersion::Make(2, 6, 1, 7601, "Service Pack 1");
    case 6:
      v = SimVersion::Make(2, 6, 1, 7601, "Service Pack 1");
      v.wow64 = true;
      v.nativeArchitecture = os::kProcessorArchitectureAmd64;
      return v;
    default: return SimVersion::Make(2, 5, 2, 3790, "Service Pack 2", 3);  // 32-bit Server 2003: -1
  }
}
inline bool IoFamily(int family) { return family >= 1 && family <= 3; }

// One partition as the disks hold it, for comparing before and after.
struct Part {
  int Disk;
  uint64_t Offset, Length;
  uint8_t MbrType;
  os::Guid GptType;
  bool Gpt;
  bool RapidStart() const { return Gpt ? GptType == kRapid : MbrType == 0x84; }
  bool SameType(const Part& o) const { return Gpt == o.Gpt && (Gpt ? GptType == o.GptType : MbrType == o.MbrType); }
};

inline std::vector<Part> Partitions(SimPc& pc) {
  auto lock = pc.Lock();
  std::vector<Part> parts;
  for (const SimDrive& d : pc.Disks.Drives)
    for (const SimPartition& p : d.Layout)
      if (p.Used() && p.Number != 0) parts.push_back({d.Number, p.Offset, p.Length, p.MbrType, p.GptType, p.Style == 1});
  return parts;
}

inline const Part* Find(const std::vector<Part>& parts, int disk, uint64_t offset) {
  for (const Part& p : parts)
    if (p.Disk == disk && p.Offset == offset) return &p;
  return nullptr;
}

inline std::string Describe(const Part& p) {
  return "disk " + std::to_string(p.Disk) + " at " + std::to_string(p.Offset / kMiB) + " MB";
}

// No partition that existed at the click was retyped or deleted, except the
// Rapid Start partition a Delete means (deleted may name it); none changed
// size except by the resizes diskpart recorded on it, and a shrink by at
// most maxShrinkMb.
inline void ExpectUntouched(SimPc& pc, const std::vector<Part>& before, const Part* deleted, uint32_t maxShrinkMb,
                            const std::string& context) {
  const std::vector<Part> after = Partitions(pc);
  auto lock = pc.Lock();
  for (const Part& b : before) {
    if (deleted && b.Disk == deleted->Disk && b.Offset == deleted->Offset) continue;
    const Part* a = Find(after, b.Disk, b.Offset);
    if (!a) {
      ADD_FAILURE() << context << ": the partition on " << Describe(b) << " is gone";
      continue;
    }
    EXPECT_TRUE(a->SameType(b)) << context << ": the partition on " << Describe(b) << " was retyped";
    int64_t resized = 0;
    for (const SimProcesses::Resize& r : pc.Processes.Resizes) {
      if (r.Disk != b.Disk || r.Offset != b.Offset) continue;
      resized += r.Bytes;
      if (r.Bytes < 0) {
        EXPECT_LE(static_cast<uint64_t>(-r.Bytes), maxShrinkMb * kMiB) << context << ": shrunk too far";
      }
    }
    EXPECT_EQ(static_cast<int64_t>(a->Length), static_cast<int64_t>(b.Length) + resized)
        << context << ": the partition on " << Describe(b) << " changed size outside a shrink or extend of its own";
  }
}

// Every partition table written through the disk driver is the one read from
// that drive just before, with at most one entry changed.
inline void ExpectLayoutsWrittenFromReads(SimPc& pc, const std::string& context) {
  auto lock = pc.Lock();
  constexpr uint32_t kGet = 0x00070050, kSet = 0x0007C054, kHeader = 48, kEntry = 144;
  std::vector<const SimIoRequest*> lastRead;
  for (std::size_t i = 0; i < pc.Disks.Requests.size(); ++i) {
    const SimIoRequest& r = pc.Disks.Requests[i];
    if (r.Code != kSet) continue;
    const SimIoRequest* read = nullptr;
    for (std::size_t j = i; j-- > 0;) {
      const SimIoRequest& q = pc.Disks.Requests[j];
      if (q.Code == kGet && q.Path == r.Path && q.Ok) {
        read = &q;
        break;
      }
    }
    if (!read) {
      ADD_FAILURE() << context << ": a layout was written to " << r.Path << " without one read from it";
      continue;
    }
    std::vector<uint8_t> got = read->Output;
    got.resize(r.Input.size(), 0);
    EXPECT_EQ(std::memcmp(got.data(), r.Input.data(), kHeader), 0) << context << ": the layout header was changed";
    int changed = 0;
    for (std::size_t at = kHeader; at + kEntry <= r.Input.size(); at += kEntry)
      if (std::memcmp(got.data() + at, r.Input.data() + at, kEntry) != 0) ++changed;
    EXPECT_LE(changed, 1) << context << ": more than one layout entry was rewritten";
  }
}

// ---- layouts more than one table uses ----
// 64 GB MBR disk: C: over the first 40 GB, the rest free.
inline void MbrWithFreeSpace(SimPc& pc) {
  SimDrive& d = pc.Disks.AddMbrDisk(0, 64 * kGiB);
  d.AddPrimary(0x07, kMiB, 40 * kGiB, true);
  pc.Disks.AddVolume(0, 1, 'C');
}
// 128 GB GPT disk with EFI, reserved and C: up to its end.
inline void FullGpt(SimPc& pc) {
  SimDrive& d = pc.Disks.AddGptDisk(0, 128 * kGiB);
  d.AddGptPartition(kEfi, kMiB, 100 * kMiB);
  d.AddGptPartition(kMsr, 101 * kMiB, 16 * kMiB);
  d.AddGptPartition(kData, 117 * kMiB, 128 * kGiB - 118 * kMiB);
  pc.Disks.AddHiddenVolume(0, 1);
  pc.Disks.AddVolume(0, 3, 'C');
}
// Partition 1 (C:) in the first slot, an extended partition at the end of
// the disk with logical D: (partition 2), free primary space between them. A
// new primary partition there takes number 2 and D: becomes partition 3,
// which is the number a prediction gives.
inline void LogicalAfterAGap(SimPc& pc) {
  SimDrive& d = pc.Disks.AddMbrDisk(0, 100 * kGiB);
  d.AddPrimary(0x07, kMiB, 30 * kGiB, true);
  d.AddExtended(60 * kGiB, 40 * kGiB);
  d.AddLogical(0x07, 60 * kGiB + kMiB, 40 * kGiB - kMiB);
  pc.Disks.AddVolume(0, 1, 'C');
  pc.Disks.AddVolume(0, 2, 'D');
}

// C: and a Rapid Start partition of mb MB behind it, on a 64 GB MBR disk.
inline void WithRapidStart(SimPc& pc, uint64_t mb) {
  SimDrive& d = pc.Disks.AddMbrDisk(0, 64 * kGiB);
  d.AddPrimary(0x07, kMiB, 40 * kGiB, true);
  d.AddPrimary(0x84, 40 * kGiB + kMiB, mb * kMiB);
  pc.Disks.AddVolume(0, 1, 'C');
  pc.Disks.AddHiddenVolume(0, 2);
}

// The workflow helpers, over a bare session (WorkflowTest) or a window
// (WindowWorkflowTest).
template <class Base>
class FlowOn : public Base {
 protected:
  void UseFamily(int family) { this->pc.Version = Family(family); }
  // Starts the session's Create on the disk at diskIndex with the size item
  // sizeItem (-1: the one the window preselects for the memory), as the
  // window's click does once its questions are answered, and lets it run.
  void Create(int32_t diskIndex = 0, int sizeItem = -1) {
    StartCreate(diskIndex, sizeItem);
    ASSERT_TRUE(this->RunWorkflow());
  }
  void Delete() {
    StartDelete();
    ASSERT_TRUE(this->RunWorkflow());
  }
  // The same, started only: the test lets the time pass.
  void StartCreate(int32_t diskIndex = 0, int sizeItem = -1) {
    TDiskSession& session = this->Session();
    const std::size_t item =
        sizeItem >= 0 ? static_cast<std::size_t>(sizeItem) : PartSizeIndexFor(session.PhysicalMemorySize);
    before = Partitions(this->pc);
    session.CreateFlow.Start(diskIndex, kPartSizes[item].SizeInMB);
  }
  void StartDelete() {
    TDiskSession& session = this->Session();
    before = Partitions(this->pc);
    session.DeleteFlow.Start();
  }
  // The scripts diskpart ran, each without its CR LF line ends.
  std::vector<std::string> Scripts() {
    auto lock = this->pc.Lock();
    std::vector<std::string> out;
    for (std::string s : this->pc.Processes.Scripts) {
      std::string flat;
      for (std::size_t at = 0; at < s.size();) {
        const std::size_t end = s.find("\r\n", at);
        flat += (flat.empty() ? "" : "|") + s.substr(at, end - at);
        at = end == std::string::npos ? s.size() : end + 2;
      }
      out.push_back(flat);
    }
    return out;
  }
  std::vector<std::string> Lines(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& l : this->HeldLines())
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }
  std::vector<Part> before;
};

// The workflows on a session with no window.
class WorkflowTest : public FlowOn<SessionTest> {};

// The workflows through the window, for what it shows of them; Create() and
// Delete() still start the session's workflows directly, the Click ones go
// through the window's buttons and its questions.
class WindowWorkflowTest : public FlowOn<FormTest> {
 protected:
  // Shows the window, selects the disk at diskIndex and presses Create.
  void ClickCreateAndRun(int32_t diskIndex = 0, int sizeItem = -1) {
    Form().Shown();
    if (diskIndex != 0) {
      Form().DiskIndex = diskIndex;
      Form().RefreshWindow();
    }
    if (sizeItem >= 0) Form().PartSizeComboBox.UserSelected(sizeItem);
    before = Partitions(pc);
    ClickCreate(Form(), pc);
    ASSERT_TRUE(RunWorkflow());
  }
  void ClickDeleteAndRun() {
    Form().Shown();
    before = Partitions(pc);
    Form().DeleteButtonClick();
    ASSERT_TRUE(RunWorkflow());
  }
};

}  // namespace flowtest

// Device opens and time per disk scan on a simulated PC with 4 fixed disks of
// 8 partitions each and 20 volume letters: finding each partition's letter by
// asking the volumes again, against reading the letter map once per scan.
// Both ways must give identical disk records; the run stops if they do not.
// Times include the simulated PC's own call recording.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "disk/disk.h"
#include "disk/part_identity.h"
#include "platform/sim/sim_pc.h"

namespace {

constexpr int kFixedDisks = 4;
constexpr int kPartsPerDisk = 8;
constexpr int kLetters = 20;

void BuildPc(SimPc& pc) {
  os::Guid data{};
  disk::ParseGuidText("{EBD0A0A2-B9E5-4433-87C0-68B6B72699C7}", data);
  int lettered = 0;
  for (int n = 0; n < kFixedDisks; ++n) {
    SimDrive& d = pc.Disks.AddGptDisk(n, 1024 * SimDisks::kGiB);
    for (int p = 0; p < kPartsPerDisk; ++p) {
      d.AddGptPartition(data, kBytesPerMb + static_cast<uint64_t>(p) * 100 * SimDisks::kGiB,
                        50 * SimDisks::kGiB);
      if (lettered < kLetters)
        pc.Disks.AddVolume(n, static_cast<uint32_t>(p + 1), static_cast<char>('C' + lettered++));
    }
  }
}

bool SameDisks(const _DiskInfo* a, const _DiskInfo* b, int count) {
  for (int d = 0; d < count; ++d) {
    if (a[d].DiskNum != b[d].DiskNum || a[d].PartitionStyle != b[d].PartitionStyle ||
        a[d].PartCount != b[d].PartCount)
      return false;
    for (uint32_t j = 0; j < a[d].PartCount; ++j) {
      const _PartInfo& x = a[d].PartInfo[j];
      const _PartInfo& y = b[d].PartInfo[j];
      if (x.DiskNum != y.DiskNum || x.PartNum != y.PartNum || x.PartDriveLetter != y.PartDriveLetter ||
          x.PartOffset != y.PartOffset || x.PartLen != y.PartLen || std::memcmp(&x.Mbr, &y.Mbr, sizeof x.Mbr) ||
          std::memcmp(&x.Gpt, &y.Gpt, sizeof x.Gpt))
        return false;
    }
  }
  return true;
}

void ScanDisks(benchmark::State& state, TLetterLookup lookup) {
  SimPc pc;
  ScopedOs seam(pc);
  BuildPc(pc);
  auto perPartition = std::make_unique<_DiskInfo[]>(kMaxDisks);
  auto oncePerScan = std::make_unique<_DiskInfo[]>(kMaxDisks);
  const int32_t n1 = GetDisk().ReadFixedDisks(perPartition.get(), kMaxDisks, TLetterLookup::PerPartition);
  const int32_t n2 = GetDisk().ReadFixedDisks(oncePerScan.get(), kMaxDisks, TLetterLookup::OncePerScan);
  if (n1 != kFixedDisks || n2 != n1 || !SameDisks(perPartition.get(), oncePerScan.get(), n1)) {
    state.SkipWithError("the two ways give different disk records");
    return;
  }

  auto disks = std::make_unique<_DiskInfo[]>(kMaxDisks);
  int64_t opens = 0, scans = 0;
  for (auto _ : state) {
    const int before = pc.Count(Call::CreateFileA);
    benchmark::DoNotOptimize(GetDisk().ReadFixedDisks(disks.get(), kMaxDisks, lookup));
    opens += pc.Count(Call::CreateFileA) - before;
    ++scans;
    pc.Calls.clear();
    pc.Disks.Opens.clear();
    pc.Disks.Requests.clear();
  }
  state.counters["opens_per_scan"] = static_cast<double>(opens) / static_cast<double>(scans);
  ReleaseDisk();
}

BENCHMARK_CAPTURE(ScanDisks, letters_per_partition, TLetterLookup::PerPartition)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ScanDisks, letter_map_once_per_scan, TLetterLookup::OncePerScan)->Unit(benchmark::kMicrosecond);

}  // namespace

// The disk session's model: which fixed disks the machine has, how each
// is partitioned, and where the Rapid Start partition is.
//
// ScanDisks replaces the model from the drivers and writes it to the log;
// FindRapidStartPart derives the two Rapid Start indices from it. They always
// run as a pair, ScanDisks first. Indices are positions in DiskInfo, never
// drive numbers; -1 means none.
#pragma once

#include <cstdint>

#include "disk/disk.h"

class TDiskModel {
 public:
  // Rebuilds DiskInfo/DiskCount from the drivers and logs the disk block; always true.
  bool ScanDisks();
  // Sets the Rapid Start indices to the first Rapid Start partition in disk,
  // then partition, order; true when one was found.
  bool FindRapidStartPart();

  // The disk at an index of the model, or nullptr outside 0..DiskCount-1.
  const _DiskInfo* Disk(int32_t diskIndex) const;
  // The Rapid Start partition the indices name, or nullptr.
  const _PartInfo* RapidStartPart() const;

  _DiskInfo DiskInfo[kMaxDisks] = {};
  int32_t DiskCount = 0;
  int32_t RapidStartDiskIndex = -1;
  int32_t RapidStartPartIndex = -1;
};

// The largest partition, in whole MB, that fits into one run of
// unpartitioned space on a disk of diskSize bytes: from the first MB, where
// Windows starts the first partition, to the end (less the backup partition
// table on GPT), each run's start rounded up to a whole MB, as diskpart
// aligns a new partition on Vista and later. A Create puts its partition
// into one run, so this, not the sum of them, is the room it has. The model
// holds no extended container: room within one between its logical
// partitions counts too (a Create makes a logical partition there). 0 for a
// disk whose layout is not known.
uint64_t LargestFreeExtent(const _DiskInfo& disk, uint64_t diskSize);

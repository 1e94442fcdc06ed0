// What happens on "Create": the step machine that makes the Rapid Start
// partition on the chosen disk.
//
// CreateTimer drives it. Each tick either starts the current step (a diskpart
// script: create primary, create logical, shrink, extend back, set the type)
// or, once that run has ended, decides from its exit code and the system
// family what comes next; a run's end also brings the next tick at once.
// First a primary partition is tried, then a logical one; where the family
// allows it, the disk's partitions are then shrunk from the last one
// backwards to make room, and the creates are tried again. The pauses
// between steps keep their length but never block the window.
//
// It never acts on a guess: the partition it retypes is the one partition
// that did not exist at the click, found by rescanning and comparing
// starting offsets; a partition it shrinks or extends is looked up again by
// its starting offset, under the number it has now.
//
// A create script can fail after its create line has made the partition. So
// after any failed create or type step the disk is looked at again: a
// partition that was not there at the click is ours, and it is typed, or,
// when that fails, deleted; only when none of ours stands does the next
// create or a shrink follow. A shrink takes exactly the size or nothing, and
// a shrink that did not help is given back by exactly what it took, so a
// failed Create leaves the disk as it was at the click.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ui/workflow_steps.h"

class TCreateWorkflow : public TWorkflowSteps {
 public:
  // Steps (ExecuteStep).
  static constexpr int32_t kStepPrimary = 0;
  static constexpr int32_t kStepLogical = 1;
  static constexpr int32_t kStepShrink = 2;
  static constexpr int32_t kStepExtend = 3;
  static constexpr int32_t kStepSetType = 5;     // the type run on a new partition left untyped
  static constexpr int32_t kStepDeleteNew = 6;   // removes a new partition that cannot be typed
  // diskpart's "the device is in use" (VDS_E_DEVICE_IN_USE): the partition
  // was made but its type could not be set in the same script.
  static constexpr int32_t kResultDeviceInUse = static_cast<int32_t>(0x80042413u);

  // Driven by the session's CreateTimer.
  TCreateWorkflow(TDiskSession& session, std::function<void()> changed);

  // The click: diskIndex is the chosen disk, sizeTag the chosen size item's
  // tag, or -1 when no item is chosen.
  void Start(int32_t diskIndex, int sizeTag);
  void CreateTimerTimer();

  uint32_t PartSizeInMB = 0;
  int32_t NewPartNum = 0;
  bool ShrinkDone = false;
  int32_t DiskIndex = 0;
  int32_t PartIndex = -1;  // the next partition to shrink, an index into the disk's PartInfo

 private:
  void StartStep();
  void Decide();
  void FinishTail();
  const char* StepName() const override;
  int32_t WorkDiskNum() const override { return DiskNum_; }
  // What a rescan of the chosen disk shows of partitions new since the click.
  struct TNewPartitions {
    bool Readable = false;
    uint32_t Count = 0;
    int32_t PartNum = 0;  // the new one, when Count is 1
    bool RapidStart = false;
  };
  TNewPartitions LookForNewPartitions();
  // The number of the one partition of the chosen disk that did not exist at
  // the click; 0 (and the reason logged) when there is none or more than one.
  int32_t FindNewPartition();
  void RetypeNewPartitionUseIo();
  // After a create run on a family that types by direct I/O: types the new
  // partition, rescans, and deletes a partition of ours left untyped; when
  // none of ours stands, goes on with noneOfOurs.
  void TypeUseIoThenCheck(std::function<void()> noneOfOurs);
  // After a failed create or type step: types or removes a partition of ours
  // that stands, or, when there is none, goes on with next.
  void AfterFailedStep(const std::function<void()>& next);
  // The step after a failed create when no partition of ours stands.
  void NextAfterFailedCreate();
  // Gives back what a shrink took, or finishes when nothing was taken.
  void GiveBackOrFinish();
  void StartFinish();

  int32_t DiskNum_ = -1;
  int32_t Style_ = 0;
  int32_t TypePartNum_ = 0;             // the partition the type run retypes, or the delete removes
  std::vector<uint64_t> ClickOffsets_;  // where the chosen disk's partitions started at the click
  std::vector<uint64_t> ClickLengths_;  // and how long they were
  uint32_t ShrunkMB_ = 0;               // what the last successful shrink took, read back from the disk
};

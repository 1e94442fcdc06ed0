// What happens on "Delete": the step machine that removes the Rapid Start
// partition and, where the system family allows it, gives its space to the
// partition before it.
//
// DeleteTimer drives it, as CreateTimer drives the Create workflow: step 4
// deletes (by a diskpart script, or by direct I/O on the families that use
// it), step 3 extends the neighbour. The partitions it acts on are those the
// click's rescan found; before each step they are looked up again by their
// starting offset, and the Rapid Start partition by its type as well, so a
// renumbered or changed partition is never taken for them.
#pragma once

#include <cstdint>
#include <functional>

#include "ui/workflow_steps.h"

class TDeleteWorkflow : public TWorkflowSteps {
 public:
  static constexpr int32_t kStepExtend = 3;
  static constexpr int32_t kStepDelete = 4;
  static constexpr int32_t kStepRestoreType = 7;  // a failed delete left it retyped: the type goes back

  // Driven by the session's DeleteTimer.
  TDeleteWorkflow(TDiskSession& session, std::function<void()> changed);

  void Start();
  void DeleteTimerTimer();

  uint32_t ExtendSizeInMB = 0;

 private:
  void StartStep();
  void Decide();
  void FinishTail();
  const char* StepName() const override;
  // Whether the model's last scan may still hold a partition of drive
  // diskNum at offset: true also when that drive was not read.
  bool MayStillStand(int32_t diskNum, uint64_t offset) const;
  int32_t WorkDiskNum() const override { return DiskNum_; }

  // What the click's rescan found.
  int32_t DiskNum_ = -1;
  int32_t Style_ = 0;
  int32_t PartIndex_ = -1;  // the Rapid Start partition's index on its disk
  uint64_t PartOffset_ = 0;
  uint64_t PartLen_ = 0;
  uint64_t NeighbourOffset_ = 0;  // the partition that ends where it starts, if it can be extended
  bool HasNeighbour_ = false;
  int32_t RestorePartNum_ = 0;
  bool DeleteRan_ = false;  // the delete script ran on the Rapid Start partition
};

// What the Create and Delete workflows share: the step machine's status
// fields, the runs they wait for, the pauses between steps, and the fresh
// look at a disk before a partition is touched.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "disk/disk.h"
#include "partops/disk_change_lock.h"
#include "widgets/widgets.h"

class TDiskSession;

// The pauses between the steps of a workflow.
constexpr uint32_t kStepPauseMs = 2000;

class TWorkflowSteps {
 public:
  // A run ended (on the GUI thread); the end of a run this workflow is not
  // waiting for is logged and ignored.
  void RunEnded(uint64_t runId, int32_t exitCode);
  // From the click until Finish has shown the result.
  bool Running() const { return Running_; }

  // Told of each step as it starts and ends, one "Key=value" line each
  // (unattended runs print them).
  std::function<void(const std::string& line)> OnProgress;

  // Where the current step stands; the log shows the numbers.
  static constexpr int32_t kStepDue = 0;      // the next tick starts it
  static constexpr int32_t kStepRunning = 1;  // its run goes on
  static constexpr int32_t kStepEnded = 2;    // it has ended; the next tick decides
  int32_t ExecuteStatus = kStepDue;
  int32_t ExecuteStep = 0;
  int32_t ExecuteResult = 0;
  // The exit code of the last step that failed since the click; 0: none.
  int32_t FailureCode = 0;
  // The last click found the disks locked by another run: nothing was
  // read or changed, and LockRefusedWhy says why.
  bool LockRefused = false;
  std::string LockRefusedWhy() const { return DiskLock_.WhyNotTaken(); }
  // Takes the machine-wide lock on disk changes, before the disks are read,
  // for the click about to start this workflow (Start keeps it until Done);
  // false (and logged) when refused.
  bool TakeDiskLock();
  // The click will not start the workflow after all.
  void GiveBackDiskLock() { DiskLock_.Release(); }

 protected:
  // The session holds the model, scripts, status and timers the workflow
  // works with; changed is called whenever it has changed the model or the
  // status, for the window to show.
  TWorkflowSteps(TDiskSession& session, std::function<void()> changed, TTimer& stepTimer);
  ~TWorkflowSteps() = default;

  // The click: the workflow runs from now on, its timer ticking.
  void Begin();
  // Logs the tick and keeps the dots moving; false while a pause lasts (the
  // pause ends on its own timer, not on a tick).
  bool BeginTick();
  // Starts a step's script run with start, which returns its run id (0: it
  // could not be started). When the run comes close behind the previous one,
  // the work disk is read first: the run may change it as soon as it starts.
  void StartRun(const std::function<uint64_t()>& start);
  // A step's script run was started (runId), or could not be (0: the step
  // has failed and ends at once).
  void Started(uint64_t runId);
  // The step's end is known now: decide at once rather than at the next tick.
  void DecideNow() { StepTimer_.FireNow(); }
  // Waits kStepPauseMs without blocking the window, then runs then.
  void Pause(std::function<void()> then);
  // Pause, then start the step now set.
  void Continue();
  // Stops the timers, waits, rescans the disks, then runs tail (which judges
  // the rescan and reports). A work disk the rescan could not read is read
  // once more after another pause.
  void Finish(std::function<void()> tail);
  // Called by the tail: the workflow is over; the change is reported (the
  // window refreshes) and the lock given back.
  void Done();
  // The step's name in progress lines.
  virtual const char* StepName() const = 0;
  // The drive the workflow changes; -1 while none is known.
  virtual int32_t WorkDiskNum() const = 0;
  void Report(const std::string& line) {
    if (OnProgress) OnProgress(line);
  }

  TDiskSession& Session_;
  std::function<void()> Changed_;
  bool Running_ = false;
  TDiskChangeHold DiskLock_;

 private:
  void PauseEnded();
  void RescanThen(const std::function<void()>& tail);
  // The last rescan read the work disk's layout.
  bool WorkDiskRead() const;
  // A run failed: when it started within the spacing Microsoft asks for
  // after the previous one ended (StartRun then read the disk), waits until
  // the spacing has passed since the failed run's end, then runs the same
  // script once more. False when it must be judged as it is: not a close
  // run, already run again, or the disk has changed since the run started.
  bool RunAgainAfterCloseFailure(uint64_t endMs);
  void WaitThenRunAgain(uint64_t failedEndMs);
  TTimer& StepTimer_;
  TTimer& PauseTimer_;
  std::function<void()> AfterPause_;
  uint64_t RunId_ = 0;
  uint64_t RunStartMs_ = 0;
  bool RanAgain_ = false;         // the step's script has been run a second time
  bool RescannedAgain_ = false;   // Finish has read the work disk a second time
  std::string LayoutAtRunStart_;  // the work disk when a close run started; empty: not read
};

// The diskpart runs of one window follow each other this far apart, as
// Microsoft asks ("diskpart scripts and examples": successive scripts run
// sooner might fail).
constexpr uint64_t kDiskpartSpacingMs = 15000;
// The ms clock the workflows measure run spacing with.
uint64_t WorkflowNowMs();
// What identifies a disk's layout: each partition's offset, length and type.
std::string LayoutSignature(const _DiskInfo& disk);

// The layout of drive diskNum as the driver reports it now, without drive
// letters; nullptr when it cannot be read.
std::unique_ptr<_DiskInfo> ReadDiskLayout(int32_t diskNum);
// The number the partition of drive diskNum that starts at offset has now;
// with rapidStart it must also still be a Rapid Start partition. 0 (and the
// reason logged) when there is no such partition.
int32_t PartNumAtOffset(int32_t diskNum, uint64_t offset, bool rapidStart);

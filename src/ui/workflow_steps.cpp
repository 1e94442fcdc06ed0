#include "ui/workflow_steps.h"

#include "shell/log_kv.h"
#include "ui/session.h"

TWorkflowSteps::TWorkflowSteps(TDiskSession& session, std::function<void()> changed, TTimer& stepTimer)
    : Session_(session), Changed_(std::move(changed)), StepTimer_(stepTimer), PauseTimer_(session.PauseTimer) {}

bool TWorkflowSteps::TakeDiskLock() {
  LockRefused = DiskLock_.Take() != TDiskChangeLock::Taken;
  if (LockRefused) LogLine("DiskChangeLock=" + DiskLock_.WhyNotTaken() + "; nothing is changed");
  return !LockRefused;
}

void TWorkflowSteps::Begin() {
  RunId_ = 0;
  FailureCode = 0;
  Running_ = true;
  StepTimer_.SetEnabled(true);
}

bool TWorkflowSteps::BeginTick() {
  LogKv((StepTimer_.Name() + "->ExecuteStatus").c_str(), ExecuteStatus);
  if (!Session_.StatusTimer.Enabled()) Session_.StatusTimer.SetEnabled(true);
  return !AfterPause_;
}

void TWorkflowSteps::StartRun(const std::function<uint64_t()>& start) {
  RunStartMs_ = WorkflowNowMs();
  // Close behind the previous run: what the disk looks like before this one
  // decides whether a failure may be run again.
  LayoutAtRunStart_.clear();
  TDiskPart& dp = Session_.DiskPart;
  if (dp.AnyRunEnded && RunStartMs_ - dp.LastRunEndMs < kDiskpartSpacingMs && WorkDiskNum() >= 0)
    if (const std::unique_ptr<_DiskInfo> now = ReadDiskLayout(WorkDiskNum())) LayoutAtRunStart_ = LayoutSignature(*now);
  Started(start());
}

void TWorkflowSteps::Started(uint64_t runId) {
  RunId_ = runId;
  RanAgain_ = false;
  Report(std::string("Step=") + StepName() + (runId != 0 ? "" : " (not started)"));
  if (runId != 0) {
    ExecuteStatus = kStepRunning;
    return;
  }
  ExecuteResult = static_cast<int32_t>(os::HResultFromWin32(os::kErrorGenFailure));
  FailureCode = ExecuteResult;
  ExecuteStatus = kStepEnded;
  DecideNow();
}

void TWorkflowSteps::RunEnded(uint64_t runId, int32_t exitCode) {
  if (!Running_ || runId == 0 || runId != RunId_ || ExecuteStatus != kStepRunning) {
    LogKv((StepTimer_.Name() + "->IgnoredRun").c_str(), runId);
    return;
  }
  const uint64_t endMs = WorkflowNowMs();
  TDiskPart& dp = Session_.DiskPart;
  dp.AnyRunEnded = true;
  dp.LastRunEndMs = endMs;
  Report("StepExitCode=" + HexResultText(exitCode));
  if (exitCode != 0 && RunAgainAfterCloseFailure(endMs)) return;
  ExecuteResult = exitCode;
  if (exitCode != 0) FailureCode = exitCode;
  ExecuteStatus = kStepEnded;
  DecideNow();
}

bool TWorkflowSteps::RunAgainAfterCloseFailure(uint64_t endMs) {
  if (RanAgain_ || LayoutAtRunStart_.empty()) return false;
  // A failing line may have changed the disk before it failed: a script is
  // run again only on the disk it started on.
  const std::unique_ptr<_DiskInfo> now = ReadDiskLayout(WorkDiskNum());
  if (!now || LayoutSignature(*now) != LayoutAtRunStart_) {
    LogLine("CloseRun: the disk changed during the failed run; it is not run again");
    return false;
  }
  LogLine("CloseRun: the run failed less than 15 s after the previous one; it runs again once the 15 s are over");
  Report("Waiting=the spacing between diskpart runs");
  RanAgain_ = true;
  WaitThenRunAgain(endMs);
  return true;
}

void TWorkflowSteps::WaitThenRunAgain(uint64_t failedEndMs) {
  Pause([this, failedEndMs] {
    if (WorkflowNowMs() - failedEndMs < kDiskpartSpacingMs) return WaitThenRunAgain(failedEndMs);
    RunId_ = Session_.DiskPart.RunLastScriptAgain();
    Report(std::string("Step=") + StepName() + (RunId_ != 0 ? " (again)" : " (again, not started)"));
    RunStartMs_ = WorkflowNowMs();
    if (RunId_ != 0) return;
    ExecuteResult = static_cast<int32_t>(os::HResultFromWin32(os::kErrorGenFailure));
    FailureCode = ExecuteResult;
    ExecuteStatus = kStepEnded;
    DecideNow();
  });
}

void TWorkflowSteps::Pause(std::function<void()> then) {
  AfterPause_ = std::move(then);
  PauseTimer_.OnTimer = [this] { PauseEnded(); };
  PauseTimer_.SetEnabled(true);
}

void TWorkflowSteps::PauseEnded() {
  PauseTimer_.SetEnabled(false);
  const std::function<void()> then = std::move(AfterPause_);
  AfterPause_ = nullptr;
  if (then) then();
}

uint64_t WorkflowNowMs() { return CurrentOs().GetTickCount(); }

std::string LayoutSignature(const _DiskInfo& disk) {
  std::string signature;
  for (uint32_t j = 0; j < StoredPartCount(disk); ++j) {
    const _PartInfo& p = disk.PartInfo[j];
    signature += std::to_string(p.PartOffset) + "+" + std::to_string(p.PartLen) + ":";
    signature.append(reinterpret_cast<const char*>(&p.Mbr), sizeof p.Mbr);
    signature.append(reinterpret_cast<const char*>(&p.Gpt), sizeof p.Gpt);
    signature += ";";
  }
  return signature;
}

void TWorkflowSteps::Continue() {
  Pause([this] {
    ExecuteStatus = kStepDue;
    StepTimer_.FireNow();  // start the step now rather than at the next tick
  });
}

void TWorkflowSteps::Finish(std::function<void()> tail) {
  StepTimer_.SetEnabled(false);
  Session_.StatusTimer.SetEnabled(false);
  RescannedAgain_ = false;
  Pause([this, tail = std::move(tail)] { RescanThen(tail); });
}

void TWorkflowSteps::RescanThen(const std::function<void()>& tail) {
  Session_.Model.ScanDisks();
  Session_.Model.FindRapidStartPart();
  // The verdict is what this rescan finds on the work disk. Read just after a
  // change, while Windows takes stock of the disk's volumes, it may not answer:
  // judged then, a partition made would be reported as not made.
  if (!RescannedAgain_ && WorkDiskNum() >= 0 && !WorkDiskRead()) {
    RescannedAgain_ = true;
    LogLine("Rescan: the disk could not be read; it is read again after a pause");
    return Pause([this, tail] { RescanThen(tail); });
  }
  tail();
}

bool TWorkflowSteps::WorkDiskRead() const {
  for (int32_t d = 0; d < Session_.Model.DiskCount; ++d) {
    const _DiskInfo& disk = Session_.Model.DiskInfo[d];
    if (disk.DiskNum == WorkDiskNum()) return disk.PartitionStyle != kPartitionStyleUnknown;
  }
  return false;
}

void TWorkflowSteps::Done() {
  Running_ = false;
  DiskLock_.Release();
  Changed_();
}

std::unique_ptr<_DiskInfo> ReadDiskLayout(int32_t diskNum) {
  auto info = std::make_unique<_DiskInfo>();
  if (!GetDisk().GetDiskInfo(*info, diskNum, TDriveLetterMap())) return nullptr;
  return info;
}

int32_t PartNumAtOffset(int32_t diskNum, uint64_t offset, bool rapidStart) {
  if (const std::unique_ptr<_DiskInfo> now = ReadDiskLayout(diskNum)) {
    for (uint32_t j = 0; j < StoredPartCount(*now); ++j) {
      const _PartInfo& p = now->PartInfo[j];
      if (p.PartOffset != offset) continue;
      if (rapidStart && !IsRapidStartPart(now->PartitionStyle, p)) break;
      return p.PartNum;
    }
  }
  LogLine("PartOffset=" + SizeMbText(offset) + " no longer holds the partition read at the click; nothing is changed");
  return 0;
}

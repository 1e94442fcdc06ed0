#include "ui/workflow_steps.h"

#include "shell/log_kv.h"

TWorkflowSteps::TWorkflowSteps(const TWorkflowContext& context, TTimer& stepTimer, TTimer& pauseTimer)
    : Ctx_(context), StepTimer_(stepTimer), PauseTimer_(pauseTimer) {}

void TWorkflowSteps::Begin() {
  RunId_ = 0;
  Running_ = true;
  StepTimer_.SetEnabled(true);
}

bool TWorkflowSteps::BeginTick() {
  LogKv((StepTimer_.Name() + "->ExecuteStatus").c_str(), ExecuteStatus);
  if (!Ctx_.StatusTimer.Enabled()) Ctx_.StatusTimer.SetEnabled(true);
  return !AfterPause_;
}

void TWorkflowSteps::Started(uint64_t runId) {
  RunId_ = runId;
  Report(std::string("Step=") + StepName() + (runId != 0 ? "" : " (not started)"));
  if (runId != 0) {
    ExecuteStatus = 1;
    return;
  }
  ExecuteResult = static_cast<int32_t>(os::HResultFromWin32(os::kErrorGenFailure));
  ExecuteStatus = 2;
  DecideNow();
}

void TWorkflowSteps::RunEnded(uint64_t runId, int32_t exitCode) {
  if (!Running_ || runId == 0 || runId != RunId_ || ExecuteStatus != 1) {
    LogKv((StepTimer_.Name() + "->IgnoredRun").c_str(), runId);
    return;
  }
  ExecuteResult = exitCode;
  ExecuteStatus = 2;
  Report("StepExitCode=" + HexResultText(exitCode));
  DecideNow();
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

void TWorkflowSteps::Continue() {
  Pause([this] {
    ExecuteStatus = 0;
    StepTimer_.FireNow();  // start the step now rather than at the next tick
  });
}

void TWorkflowSteps::Finish(std::function<void()> tail) {
  StepTimer_.SetEnabled(false);
  Ctx_.StatusTimer.SetEnabled(false);
  Pause(std::move(tail));
}

void TWorkflowSteps::Done() {
  Running_ = false;
  Ctx_.RefreshWindow();
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

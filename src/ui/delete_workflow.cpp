#include "ui/delete_workflow.h"

#include <string>

#include "partops/direct_ops.h"
#include "shell/log_kv.h"

namespace {

constexpr uint64_t kBytesPerMb = 1048576;
constexpr int32_t kStyleGpt = 1;

}  // namespace

void TDeleteWorkflow::Start() {
  // The partition the user was shown, which is the one the click means.
  const _PartInfo* shown = Ctx_.Model.RapidStartPart();
  const int32_t shownDisk = shown ? Ctx_.Model.DiskInfo[Ctx_.Model.RapidStartDiskIndex].DiskNum : -1;
  const uint64_t shownOffset = shown ? shown->PartOffset : 0;

  Ctx_.StatusText = "Deleting";
  Ctx_.Model.ScanDisks();
  Ctx_.Model.FindRapidStartPart();
  ExecuteStatus = 0;
  ExecuteStep = kStepDelete;
  ExecuteResult = 0;
  const _PartInfo* part = Ctx_.Model.RapidStartPart();
  if (!part) {
    // Gone since the window last looked: there is nothing to run.
    LogLine("Delete: no Rapid Start partition; nothing is deleted");
    Ctx_.StatusText += ".....Done.";
    Ctx_.RefreshWindow();
    return;
  }
  const _DiskInfo& disk = Ctx_.Model.DiskInfo[Ctx_.Model.RapidStartDiskIndex];
  if (shown && (disk.DiskNum != shownDisk || part->PartOffset != shownOffset)) {
    // The rescan found another Rapid Start partition first (the shown one
    // went, or its disk was not read this time): one the user was not shown
    // is never deleted. The window now shows what is there.
    LogLine("Delete: the Rapid Start partition shown (disk " + std::to_string(shownDisk) + " at offset " +
            std::to_string(shownOffset) + ") is not the one found now; nothing is deleted");
    Ctx_.StatusText += ".....Failed.";
    Ctx_.RefreshWindow();
    return;
  }
  DiskNum_ = disk.DiskNum;
  Style_ = disk.PartitionStyle;
  PartIndex_ = Ctx_.Model.RapidStartPartIndex;
  PartOffset_ = part->PartOffset;
  PartLen_ = part->PartLen;
  NeighbourOffset_ = PartIndex_ > 0 ? disk.PartInfo[PartIndex_ - 1].PartOffset : 0;
  Begin();
  Ctx_.RefreshWindow();
}

void TDeleteWorkflow::DeleteTimerTimer() {
  if (!BeginTick()) return;
  if (ExecuteStatus == 0)
    StartStep();
  else if (ExecuteStatus == 2)
    Decide();
}

void TDeleteWorkflow::StartStep() {
  if (ExecuteStep == kStepDelete) {
    const int32_t partNum = PartNumAtOffset(DiskNum_, PartOffset_, true);
    if (Ctx_.UseIo) {
      ExtendSizeInMB = 0;
      Report(partNum != 0 ? "Step=DeleteDirect PartNum=" + std::to_string(partNum) : "Step=DeleteDirect (partition gone)");
      if (partNum != 0) DeletePartitionUseIo(Ctx_.Model, DiskNum_, partNum);
      ExecuteStatus = 2;  // done at once; no run
      DecideNow();
    } else {
      ExtendSizeInMB = static_cast<uint32_t>(PartLen_ / kBytesPerMb);
      Started(partNum == 0 ? 0 : Ctx_.DiskPart.DeleteRapidStartPart(DiskNum_, partNum, Style_));
    }
    return;
  }
  // The extend step. A partition under 1 MB leaves nothing to give back: the
  // workflow ends as after the extend.
  if (ExtendSizeInMB == 0 || PartIndex_ <= 0) return Finish([this] { FinishTail(); });
  const int32_t neighbour = PartNumAtOffset(DiskNum_, NeighbourOffset_, false);
  const uint32_t sizeInMB = ExtendSizeInMB;
  ExtendSizeInMB = 0;
  Started(neighbour == 0 ? 0 : Ctx_.DiskPart.ExtendPart(DiskNum_, neighbour, sizeInMB));
}

void TDeleteWorkflow::Decide() {
  if (ExecuteStep != kStepDelete || Ctx_.UseIo || ExecuteResult != 0 || PartIndex_ == 0 ||
      (PartIndex_ == 1 && Style_ == kStyleGpt))
    return Finish([this] { FinishTail(); });
  ExecuteStep = kStepExtend;
  Continue();
}

const char* TDeleteWorkflow::StepName() const { return ExecuteStep == kStepDelete ? "Delete" : "Extend"; }

void TDeleteWorkflow::FinishTail() {
  Ctx_.Model.ScanDisks();
  Ctx_.Model.FindRapidStartPart();
  // A Rapid Start partition still where the deleted one was: it failed.
  bool stillThere = false;
  for (int32_t d = 0; d < Ctx_.Model.DiskCount; ++d) {
    const _DiskInfo& disk = Ctx_.Model.DiskInfo[d];
    if (disk.DiskNum != DiskNum_) continue;
    for (uint32_t j = 0; j < StoredPartCount(disk); ++j)
      if (disk.PartInfo[j].PartOffset == PartOffset_ && IsRapidStartPart(disk.PartitionStyle, disk.PartInfo[j]))
        stillThere = true;
  }
  Ctx_.StatusText += stillThere ? ".....Failed." : ".....Done.";
  Done();
}

#include "ui/create_workflow.h"

#include <algorithm>

#include "partops/direct_ops.h"
#include "shell/log_kv.h"

void TCreateWorkflow::Start(int32_t diskIndex, int sizeTag) {
  LogKv("DiskIndex", diskIndex);
  LogKv("PartIndex", PartIndex);
  Ctx_.Model.ScanDisks();
  Ctx_.Model.FindRapidStartPart();
  if (Ctx_.Model.RapidStartDiskIndex >= 0) {
    // One appeared since the window last looked: there is nothing to make,
    // and the window turns to it.
    LogLine("Create: a Rapid Start partition exists already; nothing is created");
    Ctx_.StatusText.clear();
    Ctx_.RefreshWindow();
    return;
  }
  Ctx_.StatusText = "Creating";
  if (sizeTag >= 0) PartSizeInMB = static_cast<uint32_t>(sizeTag);
  DiskIndex = diskIndex;
  const _DiskInfo* disk = Ctx_.Model.Disk(diskIndex);
  // A disk that is gone since the last scan, or whose layout cannot be read,
  // gets nothing: the first tick finishes.
  const bool known = disk && disk->PartitionStyle != kPartitionStyleUnknown;
  if (!known) LogLine("Create: the chosen disk is not in the model; nothing is changed");
  PartIndex = known ? static_cast<int32_t>(StoredPartCount(*disk)) : -1;
  DiskNum_ = known ? disk->DiskNum : -1;
  Style_ = known ? disk->PartitionStyle : 0;
  ClickOffsets_.clear();
  for (int32_t j = 0; j < PartIndex; ++j) ClickOffsets_.push_back(disk->PartInfo[j].PartOffset);
  ExecuteStatus = 0;
  ExecuteStep = kStepPrimary;
  ShrinkDone = false;
  ExecuteResult = 0;
  Begin();
  Ctx_.RefreshWindow();
}

void TCreateWorkflow::CreateTimerTimer() {
  if (!BeginTick()) return;
  if (ExecuteStatus == 0) {
    if (DiskIndex >= 0 && PartIndex >= 0)
      StartStep();
    else
      Finish([this] { FinishTail(); });
  } else if (ExecuteStatus == 2) {
    Decide();
  }
}

void TCreateWorkflow::StartStep() {
  TDiskPart& dp = Ctx_.DiskPart;
  switch (ExecuteStep) {
    case kStepPrimary:
    case kStepLogical:
      NewPartNum = GetNewPartitionNumber(Ctx_.Model, DiskIndex, Ctx_.OsFamily);
      Started(dp.CreateRapidStartPart(DiskNum_, PartSizeInMB, ExecuteStep == kStepPrimary, Style_));
      break;
    case kStepShrink:
    case kStepExtend: {
      // The partition that started there at the click, under the number it
      // has now: a partition made since may have renumbered it.
      const int32_t partNum = PartNumAtOffset(DiskNum_, ClickOffsets_[static_cast<std::size_t>(PartIndex)], false);
      if (partNum == 0)
        Started(0);
      else if (ExecuteStep == kStepShrink)
        Started(dp.ShrinkPart(DiskNum_, partNum, PartSizeInMB));
      else  // all the free space behind it: what the shrink took
        Started(dp.ExtendPart(DiskNum_, partNum, 0));
      break;
    }
    default:  // kStepSetType
      Started(dp.SetRapidStartPartId(DiskNum_, TypePartNum_, Style_));
      break;
  }
}

void TCreateWorkflow::Decide() {
  switch (ExecuteStep) {
    case kStepPrimary:
      if (Ctx_.UseIo) {
        // The type is set by direct I/O whatever the script's result; then
        // the rescan tells whether a Rapid Start partition exists.
        RetypeNewPartitionUseIo();
        Pause([this] {
          Ctx_.Model.ScanDisks();
          Ctx_.Model.FindRapidStartPart();
          if (Ctx_.Model.RapidStartPartIndex >= 0) {
            Finish([this] { FinishTail(); });
          } else {
            ExecuteStep = kStepLogical;
            Continue();
          }
        });
      } else if (ExecuteResult == 0) {
        Finish([this] { FinishTail(); });
      } else if (ExecuteResult == kResultDeviceInUse) {
        if (!StartTypeRun()) Finish([this] { FinishTail(); });
      } else {
        ExecuteStep = kStepLogical;
        Continue();
      }
      break;
    case kStepLogical:
      if (ExecuteResult == 0) {
        if (Ctx_.UseIo) RetypeNewPartitionUseIo();
        Finish([this] { FinishTail(); });
      } else if (ExecuteResult == kResultDeviceInUse && !Ctx_.UseIo && StartTypeRun()) {
        // As after the primary create: the logical partition exists, untyped.
      } else if (!Ctx_.CanResize) {
        Finish([this] { FinishTail(); });
      } else if (ShrinkDone) {
        ExecuteStep = kStepExtend;
        Continue();
      } else {
        --PartIndex;
        ExecuteStep = kStepShrink;
        Continue();
      }
      break;
    case kStepShrink:
      if (ExecuteResult == 0) {
        ShrinkDone = true;
        ExecuteStep = kStepPrimary;
      } else {
        ShrinkDone = false;
        --PartIndex;
      }
      Continue();
      break;
    default:  // the extend and the type run end the workflow, whatever their result
      Finish([this] { FinishTail(); });
      break;
  }
}

bool TCreateWorkflow::StartTypeRun() {
  TypePartNum_ = FindNewPartition();
  if (TypePartNum_ == 0) return false;
  // A step of its own: Finish waits for its end.
  ExecuteStep = kStepSetType;
  StartStep();
  return true;
}

void TCreateWorkflow::RetypeNewPartitionUseIo() {
  const int32_t partNum = FindNewPartition();
  Report(partNum != 0 ? "Step=SetTypeDirect PartNum=" + std::to_string(partNum) : "Step=SetTypeDirect (no new partition)");
  if (partNum != 0) SetRapidStartPartIdUseIo(Ctx_.Model, DiskNum_, partNum);
}

const char* TCreateWorkflow::StepName() const {
  switch (ExecuteStep) {
    case kStepPrimary: return "CreatePrimary";
    case kStepLogical: return "CreateLogical";
    case kStepShrink: return "Shrink";
    case kStepExtend: return "Extend";
    default: return "SetType";
  }
}

void TCreateWorkflow::FinishTail() {
  Ctx_.Model.ScanDisks();
  Ctx_.Model.FindRapidStartPart();
  if (Ctx_.Model.RapidStartDiskIndex >= 0) {
    Ctx_.StatusText += ".....Done.";
    Ctx_.RestartPending = true;
  } else {
    Ctx_.StatusText += ".....Failed.";
  }
  Done();
}

int32_t TCreateWorkflow::FindNewPartition() {
  const std::unique_ptr<_DiskInfo> now = ReadDiskLayout(DiskNum_);
  if (!now) {
    LogLine("NewPartition: the layout cannot be read; nothing is retyped");
    return 0;
  }
  int32_t found = 0;
  uint32_t count = 0;
  for (uint32_t j = 0; j < StoredPartCount(*now); ++j) {
    const _PartInfo& p = now->PartInfo[j];
    if (std::find(ClickOffsets_.begin(), ClickOffsets_.end(), p.PartOffset) != ClickOffsets_.end()) continue;
    ++count;
    found = p.PartNum;
  }
  if (count != 1) {
    LogLine("NewPartition: " + std::to_string(count) + " partitions new since the click; nothing is retyped");
    return 0;
  }
  LogKv("NewPartition->PartNum", found);
  return found;
}

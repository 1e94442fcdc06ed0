#include "ui/create_workflow.h"

#include <algorithm>

#include "partops/direct_ops.h"
#include "shell/log_kv.h"
#include "ui/session.h"

TCreateWorkflow::TCreateWorkflow(TDiskSession& session, std::function<void()> changed)
    : TWorkflowSteps(session, std::move(changed), session.CreateTimer) {}

void TCreateWorkflow::Start(int32_t diskIndex, int sizeTag) {
  if (!TakeDiskLock()) return;
  LogKv("DiskIndex", diskIndex);
  LogKv("PartIndex", PartIndex);
  Session_.Model.ScanDisks();
  Session_.Model.FindRapidStartPart();
  if (Session_.Model.RapidStartDiskIndex >= 0) {
    // One appeared since the window last looked: there is nothing to make,
    // and the window turns to it.
    LogLine("Create: a Rapid Start partition exists already; nothing is created");
    DiskLock_.Release();
    Session_.StatusText.clear();
    Changed_();
    return;
  }
  Session_.StatusText = "Creating";
  if (sizeTag >= 0) PartSizeInMB = static_cast<uint32_t>(sizeTag);
  DiskIndex = diskIndex;
  const _DiskInfo* disk = Session_.Model.Disk(diskIndex);
  // A disk that is gone since the last scan, or whose layout cannot be read,
  // gets nothing: the first tick finishes.
  const bool known = disk && disk->PartitionStyle != kPartitionStyleUnknown;
  if (!known) LogLine("Create: the chosen disk is not in the model; nothing is changed");
  PartIndex = known ? static_cast<int32_t>(StoredPartCount(*disk)) : -1;
  DiskNum_ = known ? disk->DiskNum : -1;
  Style_ = known ? disk->PartitionStyle : kPartitionStyleMbr;
  ClickOffsets_.clear();
  ClickLengths_.clear();
  for (int32_t j = 0; j < PartIndex; ++j) {
    ClickOffsets_.push_back(disk->PartInfo[j].PartOffset);
    ClickLengths_.push_back(disk->PartInfo[j].PartLen);
  }
  ShrunkMB_ = 0;
  ExecuteStatus = kStepDue;
  ExecuteStep = kStepPrimary;
  ShrinkDone = false;
  ExecuteResult = 0;
  Begin();
  Changed_();
}

void TCreateWorkflow::CreateTimerTimer() {
  if (!BeginTick()) return;
  if (ExecuteStatus == kStepDue) {
    if (DiskIndex >= 0 && PartIndex >= 0)
      StartStep();
    else
      StartFinish();
  } else if (ExecuteStatus == kStepEnded) {
    Decide();
  }
}

void TCreateWorkflow::StartStep() {
  TDiskPart& dp = Session_.DiskPart;
  switch (ExecuteStep) {
    case kStepPrimary:
    case kStepLogical:
      NewPartNum = GetNewPartitionNumber(Session_.Model, DiskIndex, Session_.OsFamily);
      StartRun([&] { return dp.CreateRapidStartPart(DiskNum_, PartSizeInMB, ExecuteStep == kStepPrimary, Style_); });
      break;
    case kStepShrink:
    case kStepExtend: {
      // The partition that started there at the click, under the number it
      // has now: a partition made since may have renumbered it.
      const int32_t partNum = PartNumAtOffset(DiskNum_, ClickOffsets_[static_cast<std::size_t>(PartIndex)], false);
      if (partNum == 0)
        Started(0);
      else if (ExecuteStep == kStepShrink)
        StartRun([&] { return dp.ShrinkPart(DiskNum_, partNum, PartSizeInMB); });
      else  // exactly what the shrink took: free space that was there at the click stays free
        StartRun([&] { return dp.ExtendPart(DiskNum_, partNum, ShrunkMB_); });
      break;
    }
    case kStepDeleteNew:
      StartRun([&] { return dp.DeleteNewPartition(DiskNum_, TypePartNum_); });
      break;
    default:  // kStepSetType
      StartRun([&] { return dp.SetRapidStartPartId(DiskNum_, TypePartNum_, Style_); });
      break;
  }
}

void TCreateWorkflow::Decide() {
  switch (ExecuteStep) {
    case kStepPrimary:
      if (Session_.UseIo) {
        TypeUseIoThenCheck([this] {
          ExecuteStep = kStepLogical;
          Continue();
        });
      } else if (ExecuteResult == 0) {
        StartFinish();
      } else {
        AfterFailedStep([this] { NextAfterFailedCreate(); });
      }
      break;
    case kStepLogical:
      if (Session_.UseIo)
        TypeUseIoThenCheck([this] { StartFinish(); });  // no shrinking on these families
      else if (ExecuteResult == 0)
        StartFinish();
      else
        AfterFailedStep([this] { NextAfterFailedCreate(); });
      break;
    case kStepShrink: {
      // What it took, read back from the disk: that much is given back if
      // the creates still fail. A run reported failed may still have shrunk
      // (its exit code lost, a later line failing): the disk decides.
      const std::size_t at = static_cast<std::size_t>(PartIndex);
      ShrunkMB_ = 0;
      const std::unique_ptr<_DiskInfo> now = ReadDiskLayout(DiskNum_);
      if (now) {
        for (uint32_t j = 0; j < StoredPartCount(*now); ++j)
          if (now->PartInfo[j].PartOffset == ClickOffsets_[at] && now->PartInfo[j].PartLen < ClickLengths_[at])
            ShrunkMB_ = static_cast<uint32_t>((ClickLengths_[at] - now->PartInfo[j].PartLen) / kBytesPerMb);
      } else if (ExecuteResult == 0) {
        // The script asks for "desired=N minimum=N": a shrink that
        // succeeded took exactly the size, so that is what a give-back
        // returns. Guessing 0 would make the extend take all free space.
        LogLine("Shrink: the layout cannot be read back; it took the size asked for");
        ShrunkMB_ = PartSizeInMB;
      }
      if (ExecuteResult != 0 && ShrunkMB_ > 0) LogLine("Shrink: the run reported a failure, but the partition shrank");
      LogKv("ShrunkMB", ShrunkMB_);
      if (ExecuteResult == 0 || ShrunkMB_ > 0) {
        ShrinkDone = true;
        ExecuteStep = kStepPrimary;
      } else {
        ShrinkDone = false;
        --PartIndex;
      }
      Continue();
      break;
    }
    case kStepSetType:
      if (ExecuteResult == 0) return StartFinish();
      AfterFailedStep([this] { GiveBackOrFinish(); });
      break;
    case kStepDeleteNew: {
      const TNewPartitions found = LookForNewPartitions();
      if (found.Readable && found.Count == 0) {
        LogLine("AfterFailure: the new partition is deleted");
        return GiveBackOrFinish();
      }
      LogLine("AfterFailure: the new partition could not be deleted; nothing more is changed");
      StartFinish();
      break;
    }
    default:  // the extend ends the workflow, whatever its result
      StartFinish();
      break;
  }
}

void TCreateWorkflow::AfterFailedStep(const std::function<void()>& next) {
  const TNewPartitions found = LookForNewPartitions();
  if (!found.Readable || found.Count > 1) {
    LogLine("AfterFailure: the disk cannot be told apart from the click's; nothing more is changed");
    return StartFinish();
  }
  if (found.Count == 0) {
    LogLine("AfterFailure: no new partition");
    return next();
  }
  TypePartNum_ = found.PartNum;
  if (found.RapidStart) {
    LogLine("AfterFailure: the new partition has the Rapid Start type");
    return StartFinish();
  }
  if (ExecuteStep != kStepSetType) {
    LogLine("AfterFailure: the new partition is untyped; it is typed");
    ExecuteStep = kStepSetType;
  } else {
    LogLine("AfterFailure: the new partition cannot be typed; it is deleted");
    ExecuteStep = kStepDeleteNew;
  }
  Continue();
}

void TCreateWorkflow::TypeUseIoThenCheck(std::function<void()> noneOfOurs) {
  // The type is set by direct I/O whatever the script's result: a failed
  // script may still have made the partition. Then the rescan tells whether
  // a Rapid Start partition exists.
  RetypeNewPartitionUseIo();
  Pause([this, noneOfOurs = std::move(noneOfOurs)] {
    Session_.Model.ScanDisks();
    Session_.Model.FindRapidStartPart();
    if (Session_.Model.RapidStartPartIndex >= 0) return StartFinish();
    // A partition of ours that the direct write could not type is never
    // left behind, nor beside a second one.
    const TNewPartitions found = LookForNewPartitions();
    if (!found.Readable || found.Count > 1) return StartFinish();
    if (found.Count == 1) {
      LogLine("AfterFailure: the new partition could not be typed; it is deleted");
      DeletePartitionUseIo(Session_.Model, DiskNum_, found.PartNum);
      return StartFinish();
    }
    noneOfOurs();
  });
}

void TCreateWorkflow::NextAfterFailedCreate() {
  if (ExecuteStep == kStepPrimary) {
    ExecuteStep = kStepLogical;
  } else if (!Session_.CanResize) {
    return StartFinish();
  } else if (ShrinkDone) {
    return GiveBackOrFinish();
  } else {
    --PartIndex;
    ExecuteStep = kStepShrink;
  }
  Continue();
}

void TCreateWorkflow::GiveBackOrFinish() {
  if (!ShrinkDone) return StartFinish();
  if (ShrunkMB_ == 0) {
    // ExtendPart would write a bare "extend", which takes all adjacent free
    // space, also what was free at the click.
    LogLine("AfterFailure: the shrink took nothing that can be seen; nothing is extended");
    return StartFinish();
  }
  LogLine("AfterFailure: the shrunk partition gets back what it gave");
  ExecuteStep = kStepExtend;
  Continue();
}

void TCreateWorkflow::StartFinish() { Finish([this] { FinishTail(); }); }

void TCreateWorkflow::RetypeNewPartitionUseIo() {
  const int32_t partNum = FindNewPartition();
  Report(partNum != 0 ? "Step=SetTypeDirect PartNum=" + std::to_string(partNum) : "Step=SetTypeDirect (no new partition)");
  if (partNum != 0) SetRapidStartPartIdUseIo(Session_.Model, DiskNum_, partNum);
}

const char* TCreateWorkflow::StepName() const {
  switch (ExecuteStep) {
    case kStepPrimary: return "CreatePrimary";
    case kStepLogical: return "CreateLogical";
    case kStepShrink: return "Shrink";
    case kStepExtend: return "Extend";
    case kStepDeleteNew: return "DeleteNew";
    default: return "SetType";
  }
}

void TCreateWorkflow::FinishTail() {
  if (Session_.Model.RapidStartDiskIndex >= 0) {
    Session_.StatusText += ".....Done.";
    Session_.RestartPending = true;
  } else {
    Session_.StatusText += ".....Failed.";
  }
  Done();
}

TCreateWorkflow::TNewPartitions TCreateWorkflow::LookForNewPartitions() {
  TNewPartitions found;
  const std::unique_ptr<_DiskInfo> now = ReadDiskLayout(DiskNum_);
  if (!now) {
    LogLine("NewPartition: the layout cannot be read");
    return found;
  }
  found.Readable = true;
  for (uint32_t j = 0; j < StoredPartCount(*now); ++j) {
    const _PartInfo& p = now->PartInfo[j];
    if (std::find(ClickOffsets_.begin(), ClickOffsets_.end(), p.PartOffset) != ClickOffsets_.end()) continue;
    ++found.Count;
    found.PartNum = p.PartNum;
    found.RapidStart = IsRapidStartPart(now->PartitionStyle, p);
  }
  LogKv("NewPartitions", found.Count);
  return found;
}

int32_t TCreateWorkflow::FindNewPartition() {
  const TNewPartitions found = LookForNewPartitions();
  if (!found.Readable) {
    LogLine("NewPartition: the layout cannot be read; nothing is retyped");
    return 0;
  }
  if (found.Count != 1) {
    LogLine("NewPartition: " + std::to_string(found.Count) + " partitions new since the click; nothing is retyped");
    return 0;
  }
  LogKv("NewPartition->PartNum", found.PartNum);
  return found.PartNum;
}

#include "ui/delete_workflow.h"

#include <string>

#include "disk/part_identity.h"
#include "partops/direct_ops.h"
#include "shell/log_kv.h"
#include "ui/session.h"

namespace {

// What may lie between a partition's end and the next one's start: the
// alignment of a new partition (a track before Vista, 1 MiB since) and a
// logical partition's boot record.
constexpr uint64_t kMaxAlignmentGapBytes = kBytesPerMb;

// A partition diskpart can extend: an NTFS data partition.
bool IsNtfsDataPart(int32_t partitionStyle, const _PartInfo& p) {
  if (partitionStyle == kPartitionStyleGpt) return disk::FormatGuidText(p.Gpt.PartitionType) == disk::kBasicDataGptTypeText;
  return p.Mbr.PartitionType == 0x07;
}

// The index of the partition that ends where the one at index starts, within
// the alignment gap; -1 when none does.
int32_t PhysicalNeighbour(const _DiskInfo& disk, int32_t index) {
  const uint64_t start = disk.PartInfo[index].PartOffset;
  int32_t found = -1;
  uint64_t foundEnd = 0;
  for (uint32_t j = 0; j < StoredPartCount(disk); ++j) {
    const _PartInfo& p = disk.PartInfo[j];
    const uint64_t end = p.PartOffset + p.PartLen;
    if (static_cast<int32_t>(j) == index || end > start || start - end > kMaxAlignmentGapBytes) continue;
    if (found < 0 || end > foundEnd) {
      found = static_cast<int32_t>(j);
      foundEnd = end;
    }
  }
  return found;
}

}  // namespace

bool TDeleteWorkflow::MayStillStand(int32_t diskNum, uint64_t offset) const {
  // A disk that is gone from the model or cannot be read proves nothing.
  bool stands = true;
  for (int32_t d = 0; d < Session_.Model.DiskCount; ++d) {
    const _DiskInfo& disk = Session_.Model.DiskInfo[d];
    if (disk.DiskNum != diskNum || disk.PartitionStyle == kPartitionStyleUnknown) continue;
    stands = false;
    for (uint32_t j = 0; j < StoredPartCount(disk); ++j)
      if (disk.PartInfo[j].PartOffset == offset) stands = true;
  }
  return stands;
}

TDeleteWorkflow::TDeleteWorkflow(TDiskSession& session, std::function<void()> changed)
    : TWorkflowSteps(session, std::move(changed), session.DeleteTimer) {}

void TDeleteWorkflow::Start() {
  if (!TakeDiskLock()) return;
  // The partition the user was shown, which is the one the click means.
  const _PartInfo* shown = Session_.Model.RapidStartPart();
  const int32_t shownDisk = shown ? Session_.Model.DiskInfo[Session_.Model.RapidStartDiskIndex].DiskNum : -1;
  const uint64_t shownOffset = shown ? shown->PartOffset : 0;

  Session_.StatusText = "Deleting";
  Session_.Model.ScanDisks();
  Session_.Model.FindRapidStartPart();
  ExecuteStatus = kStepDue;
  ExecuteStep = kStepDelete;
  ExecuteResult = 0;
  const _PartInfo* part = Session_.Model.RapidStartPart();
  if (!part) {
    // Gone since the window last looked: there is nothing to run. Unless the
    // rescan could not read its disk: then it may well stand, and "Done"
    // would be a lie.
    const bool mayStand = shown && MayStillStand(shownDisk, shownOffset);
    LogLine(mayStand ? "Delete: the Rapid Start partition shown cannot be found now; nothing is deleted"
                     : "Delete: no Rapid Start partition; nothing is deleted");
    DiskLock_.Release();
    Session_.StatusText += mayStand ? ".....Failed." : ".....Done.";
    Changed_();
    return;
  }
  const _DiskInfo& disk = Session_.Model.DiskInfo[Session_.Model.RapidStartDiskIndex];
  if (shown && (disk.DiskNum != shownDisk || part->PartOffset != shownOffset)) {
    // The rescan found another Rapid Start partition first (the shown one
    // went, or its disk was not read this time): one the user was not shown
    // is never deleted. The window now shows what is there.
    LogLine("Delete: the Rapid Start partition shown (disk " + std::to_string(shownDisk) + " at offset " +
            std::to_string(shownOffset) + ") is not the one found now; nothing is deleted");
    DiskLock_.Release();
    Session_.StatusText += ".....Failed.";
    Changed_();
    return;
  }
  DiskNum_ = disk.DiskNum;
  Style_ = disk.PartitionStyle;
  PartIndex_ = Session_.Model.RapidStartPartIndex;
  PartOffset_ = part->PartOffset;
  PartLen_ = part->PartLen;
  // The space goes to the partition right before it on the disk, whatever
  // its place in the list, and only if diskpart can extend it; otherwise it
  // stays free. The entry before it in the list may be a Recovery partition
  // elsewhere on the disk.
  const int32_t neighbour = PhysicalNeighbour(disk, PartIndex_);
  HasNeighbour_ = neighbour >= 0 && IsNtfsDataPart(disk.PartitionStyle, disk.PartInfo[neighbour]);
  NeighbourOffset_ = HasNeighbour_ ? disk.PartInfo[neighbour].PartOffset : 0;
  if (neighbour < 0)
    LogLine("Delete: no partition ends where it starts; its space stays free");
  else if (!HasNeighbour_)
    LogLine("Delete: the partition before it is not an NTFS data partition; its space stays free");
  else
    LogKv("Neighbour->PartNum", disk.PartInfo[neighbour].PartNum);
  Begin();
  Changed_();
}

void TDeleteWorkflow::DeleteTimerTimer() {
  if (!BeginTick()) return;
  if (ExecuteStatus == kStepDue)
    StartStep();
  else if (ExecuteStatus == kStepEnded)
    Decide();
}

void TDeleteWorkflow::StartStep() {
  if (ExecuteStep == kStepRestoreType) {
    StartRun([this] { return Session_.DiskPart.SetRapidStartPartId(DiskNum_, RestorePartNum_, Style_); });
    return;
  }
  if (ExecuteStep == kStepDelete) {
    const int32_t partNum = PartNumAtOffset(DiskNum_, PartOffset_, true);
    if (Session_.UseIo) {
      ExtendSizeInMB = 0;
      Report(partNum != 0 ? "Step=DeleteDirect PartNum=" + std::to_string(partNum) : "Step=DeleteDirect (partition gone)");
      if (partNum != 0) DeletePartitionUseIo(Session_.Model, DiskNum_, partNum);
      ExecuteStatus = kStepEnded;  // done at once; no run
      DecideNow();
    } else {
      ExtendSizeInMB = static_cast<uint32_t>(PartLen_ / kBytesPerMb);
      DeleteRan_ = partNum != 0;
      if (partNum == 0)
        Started(0);
      else
        StartRun([&] { return Session_.DiskPart.DeleteRapidStartPart(DiskNum_, partNum, Style_); });
    }
    return;
  }
  // The extend step. A partition under 1 MB leaves nothing to give back: the
  // workflow ends as after the extend.
  if (ExtendSizeInMB == 0 || !HasNeighbour_) return Finish([this] { FinishTail(); });
  const int32_t neighbour = PartNumAtOffset(DiskNum_, NeighbourOffset_, false);
  const uint32_t sizeInMB = ExtendSizeInMB;
  ExtendSizeInMB = 0;
  if (neighbour == 0)
    Started(0);
  else
    StartRun([&] { return Session_.DiskPart.ExtendPart(DiskNum_, neighbour, sizeInMB); });
}

void TDeleteWorkflow::Decide() {
  if (ExecuteStep == kStepDelete && DeleteRan_ && !Session_.UseIo && ExecuteResult != 0 &&
      Style_ != kPartitionStyleGpt) {
    // The script retypes the partition before it deletes it: when the delete
    // failed, the partition may stand there as an ordinary one. It gets its
    // Rapid Start type back, so the disk is as it was at the click.
    const int32_t partNum = PartNumAtOffset(DiskNum_, PartOffset_, false);
    if (partNum != 0 && PartNumAtOffset(DiskNum_, PartOffset_, true) == 0) {
      LogLine("Delete: the partition was retyped but not deleted; its type is set back");
      RestorePartNum_ = partNum;
      ExecuteStep = kStepRestoreType;
      return Continue();
    }
  }
  if (ExecuteStep != kStepDelete || Session_.UseIo || ExecuteResult != 0 || !HasNeighbour_)
    return Finish([this] { FinishTail(); });
  ExecuteStep = kStepExtend;
  Continue();
}

const char* TDeleteWorkflow::StepName() const {
  return ExecuteStep == kStepDelete ? "Delete" : ExecuteStep == kStepExtend ? "Extend" : "RestoreType";
}

void TDeleteWorkflow::FinishTail() {
  // Any partition still where the deleted one was, of any type (the script
  // retypes it before deleting it): it failed.
  const bool stillThere = MayStillStand(DiskNum_, PartOffset_);
  if (stillThere) {
    LogLine("Delete: a partition still starts where the Rapid Start partition did");
    // The direct delete reports no code: the generic failure stands for it,
    // as for a run that cannot start, so a report never says Failed without one.
    if (FailureCode == 0) FailureCode = static_cast<int32_t>(os::HResultFromWin32(os::kErrorGenFailure));
  }
  Session_.StatusText += stillThere ? ".....Failed." : ".....Done.";
  Done();
}

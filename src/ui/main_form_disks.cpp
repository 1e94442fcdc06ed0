// The disk strip: three tiles showing the fixed disks from FirstVisibleDisk
// on, the arrows that move it by one disk, and the choice of a disk by a
// click on its tile or the Left and Right keys; FormShow, the window's first
// painting.
#include <algorithm>

#include "ui/main_form.h"
#include "ui/tile_hint.h"

void TMainForm::FormShow() {
  SelectPartSizeItem(Session.PhysicalMemorySize);
  FillDiskPanel();
  HighlightDisk(DiskIndex);
  RefreshWindow();
  FocusSelectedTile();
}

void TMainForm::FillDiskPanel() {
  for (int p = 0; p < kTiles; ++p) {
    DiskImages[p]->SetVisible(false);
    DiskLabels[p]->SetVisible(false);
    DiskLabels[p]->SetTag(kEmptyTileTag);
  }
  for (int32_t k = FirstVisibleDisk; k < Session.Model.DiskCount && k - FirstVisibleDisk < kTiles; ++k) {
    const int p = k - FirstVisibleDisk;
    DiskImages[p]->SetVisible(true);
    DiskLabels[p]->SetCaption("Disk" + std::to_string(k));
    DiskLabels[p]->SetTag(k);
    DiskLabels[p]->SetVisible(true);
  }
  LeftButton.SetVisible(FirstVisibleDisk > 0);
  RightButton.SetVisible(FirstVisibleDisk < Session.Model.DiskCount - kTiles);
  RefreshWindow();  // the tiles' pictures and hints too
}

// The tiles in view show their disks as the model has them now: RefreshWindow
// calls this, so a workflow's rescan reaches the pictures and hints, and a
// tile whose disk the rescan no longer found is emptied.
void TMainForm::ShowTileFacts() {
  for (int p = 0; p < kTiles; ++p) {
    const int32_t k = DiskLabels[p]->Tag();
    if (k == kEmptyTileTag) continue;
    if (k >= Session.Model.DiskCount) {
      DiskImages[p]->SetVisible(false);
      DiskLabels[p]->SetVisible(false);
      DiskLabels[p]->SetTag(kEmptyTileTag);
      continue;
    }
    const _DiskInfo& disk = Session.Model.DiskInfo[k];
    // A disk that does not tell its media kind keeps the hard-disk picture.
    DiskImages[p]->SetPicture(disk.MediaKind == TMediaKind::Ssd ? "SSD" : "DISK");
    DiskImages[p]->SetHint(
        DiskTileHint(k, GetDisk().GetDiskProductId(disk.DiskNum), disk,
                     k == Session.Model.RapidStartDiskIndex ? Session.Model.RapidStartPart() : nullptr));
  }
}

// Paging refills the tiles; the mark then follows the selected disk.
void TMainForm::LeftButtonClick() {
  if (Session.WorkflowRunning() || FirstVisibleDisk <= 0) return;
  --FirstVisibleDisk;
  FillDiskPanel();
  HighlightDisk(DiskIndex);
}

void TMainForm::RightButtonClick() {
  if (Session.WorkflowRunning() || FirstVisibleDisk >= Session.Model.DiskCount) return;
  ++FirstVisibleDisk;
  FillDiskPanel();
  HighlightDisk(DiskIndex);
}

void TMainForm::Disk0ImageClick(TControl& sender) {
  if (Session.WorkflowRunning() || Session.Model.RapidStartDiskIndex >= 0) return;
  Session.StatusText.clear();
  const int p = sender.Tag();
  if (p >= 0 && p < kTiles && DiskLabels[p]->Tag() != kEmptyTileTag) DiskIndex = DiskLabels[p]->Tag();
  HighlightDisk(DiskIndex);
  RefreshWindow();
}

// The keys move the selection as a click on the tile beside it would, paging
// the strip when that disk is out of view; the focus stays on the selected
// tile, which a refill of the strip would otherwise take from it.
void TMainForm::MoveSelection(int step) {
  const int32_t target = DiskIndex + step;
  if (!Session.WorkflowRunning() && Session.Model.RapidStartDiskIndex < 0 && target >= 0 &&
      target < Session.Model.DiskCount) {
    Session.StatusText.clear();
    DiskIndex = target;
    const int32_t first = std::clamp(FirstVisibleDisk, target - (kTiles - 1), target);
    if (first != FirstVisibleDisk) {
      FirstVisibleDisk = first;
      FillDiskPanel();
    }
    HighlightDisk(DiskIndex);
    RefreshWindow();
  }
  FocusSelectedTile();
}

void TMainForm::FocusSelectedTile() {
  const int32_t p = DiskIndex - FirstVisibleDisk;
  if (DiskIndex >= 0 && p >= 0 && p < kTiles && DiskImages[p]->Visible()) DiskImages[p]->SetFocus();
}

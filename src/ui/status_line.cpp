// The status line, the tiles' pictures and hints, the enabled state of the
// buttons and the size box, and the restart question: RefreshWindow alone
// decides them from the disk model
// and the workflows' state; StatusTimer moves the dots while a workflow runs.
#include "ui/main_form.h"

#include "platform/os.h"
#include "sys/power_man.h"

namespace {

constexpr int kAnimSteps = 5;
constexpr TColor kDisabledItemColor = clGray;
constexpr char kNoDiskText[] = "No fixed disk found.";

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

void TMainForm::RefreshWindow() {
  const bool running = WorkflowRunning();
  const bool noDisk = DiskCount == 0;

  if (noDisk || DiskIndex < 0) {
    StatusPrefix.clear();
    StatusLabel.SetCaption(noDisk ? kNoDiskText : "");
  } else {
    // A disk index the model no longer holds has no product text to show.
    const _DiskInfo* disk = Disk(DiskIndex);
    StatusPrefix = "Disk " + std::to_string(DiskIndex) + ": " + (disk ? GetDisk().GetDiskProductId(disk->DiskNum) : "");
    StatusLabel.SetCaption(StatusText.empty() ? StatusPrefix : StatusPrefix + ", " + StatusText);
  }

  ShowTileFacts();

  // The red note after a failed Create; else, in the normal colour, where
  // the Rapid Start partition is.
  const bool createFailed = Contains(StatusText, "Creating") && Contains(StatusText, "Failed");
  const _PartInfo* rapidStart = RapidStartPart();
  TFont noteFont = NoteLabel.Font();
  noteFont.Color = createFailed ? clRed : clWindowText;
  NoteLabel.SetFont(noteFont);
  if (createFailed)
    NoteLabel.SetCaption(kNoSpaceNote);
  else if (rapidStart)
    NoteLabel.SetCaption("Rapid Start partition: " + GbText(rapidStart->PartLen / kBytesPerMb) + " on disk " +
                         std::to_string(RapidStartDiskIndex) + ".");
  NoteLabel.SetVisible(createFailed || rapidStart);

  if (!running && RapidStartDiskIndex >= 0) {
    DiskIndex = RapidStartDiskIndex;
    HighlightDisk(DiskIndex);
    const _PartInfo* part = RapidStartPart();
    SelectPartSizeItem(part ? static_cast<uint32_t>(part->PartLen / kBytesPerMb) : 0);
  }

  PartSizeComboBox.SetEnabled(!noDisk && RapidStartDiskIndex < 0 && !running);
  PartSizeComboBox.SetItemFontColor(PartSizeComboBox.ItemIndex(),
                                    PartSizeComboBox.Enabled() ? clBlack : kDisabledItemColor);
  CreateButton.SetEnabled(!noDisk && DiskIndex >= 0 && RapidStartDiskIndex < 0 && !running);
  DeleteButton.SetEnabled(RapidStartDiskIndex >= 0 && !running);

  if (RestartPending && !Unattended) {
    const int answer = CurrentOs().MessageBoxA("You need to restart the system, Would you like to restart now?",
                                               "Reboot", os::kMbSystemModal | os::kMbIconWarning | os::kMbYesNo);
    if (answer == os::kIdYes)
      GetPowerMan().Reboot();  // if the machine stays up, the question comes again
    else
      RestartPending = false;
  }
}

void TMainForm::StatusTimerTimer() {
  StatusLabel.SetCaption(StatusPrefix + ", " + StatusText + std::string(static_cast<std::size_t>(StatusAnimStep), ' ') +
                         ".....");
  StatusAnimStep = (StatusAnimStep + 1) % kAnimSteps;
}

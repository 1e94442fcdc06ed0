// The status line, the tiles' pictures and hints, the enabled state of the
// buttons and the size box, and the restart question: RefreshWindow alone
// decides them from the session's disk model and the workflows' state; the
// session's StatusTimer moves the dots while a workflow runs.
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
  const bool running = Session.WorkflowRunning();
  const bool noDisk = Session.Model.DiskCount == 0;

  if (noDisk || DiskIndex < 0) {
    StatusPrefix.clear();
    StatusLabel.SetCaption(noDisk ? kNoDiskText : "");
  } else {
    // A disk index the model no longer holds has no product text to show.
    const _DiskInfo* disk = Session.Model.Disk(DiskIndex);
    StatusPrefix = "Disk " + std::to_string(DiskIndex) + ": " + (disk ? GetDisk().GetDiskProductId(disk->DiskNum) : "");
    StatusLabel.SetCaption(Session.StatusText.empty() ? StatusPrefix : StatusPrefix + ", " + Session.StatusText);
  }

  ShowTileFacts();

  // The red note after a failed Create; else, in the normal colour, where
  // the Rapid Start partition is.
  const bool createFailed = Contains(Session.StatusText, "Creating") && Contains(Session.StatusText, "Failed");
  const _PartInfo* rapidStart = Session.Model.RapidStartPart();
  TFont noteFont = NoteLabel.Font();
  noteFont.Color = createFailed ? clRed : clWindowText;
  NoteLabel.SetFont(noteFont);
  if (createFailed)
    NoteLabel.SetCaption(kNoSpaceNote);
  else if (rapidStart)
    NoteLabel.SetCaption("Rapid Start partition: " + GbText(rapidStart->PartLen / kBytesPerMb) + " on disk " +
                         std::to_string(Session.Model.RapidStartDiskIndex) + ".");
  NoteLabel.SetVisible(createFailed || rapidStart);

  if (!running && Session.Model.RapidStartDiskIndex >= 0) {
    DiskIndex = Session.Model.RapidStartDiskIndex;
    HighlightDisk(DiskIndex);
    const _PartInfo* part = Session.Model.RapidStartPart();
    SelectPartSizeItem(part ? static_cast<uint32_t>(part->PartLen / kBytesPerMb) : 0);
  }

  PartSizeComboBox.SetEnabled(!noDisk && Session.Model.RapidStartDiskIndex < 0 && !running);
  PartSizeComboBox.SetItemFontColor(PartSizeComboBox.ItemIndex(),
                                    PartSizeComboBox.Enabled() ? clBlack : kDisabledItemColor);
  CreateButton.SetEnabled(!noDisk && DiskIndex >= 0 && Session.Model.RapidStartDiskIndex < 0 && !running);
  DeleteButton.SetEnabled(Session.Model.RapidStartDiskIndex >= 0 && !running);

  if (Session.RestartPending) {
    const int answer = CurrentOs().MessageBoxA("You need to restart the system, Would you like to restart now?",
                                               "Reboot", os::kMbSystemModal | os::kMbIconWarning | os::kMbYesNo);
    if (answer == os::kIdYes)
      GetPowerMan().Reboot();  // if the machine stays up, the question comes again
    else
      Session.RestartPending = false;
  }
}

void TMainForm::StatusTimerTimer() {
  StatusLabel.SetCaption(StatusPrefix + ", " + Session.StatusText +
                         std::string(static_cast<std::size_t>(StatusAnimStep), ' ') + ".....");
  StatusAnimStep = (StatusAnimStep + 1) % kAnimSteps;
}

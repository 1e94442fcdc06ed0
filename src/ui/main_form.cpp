// TMainForm's start-up and teardown: the controls first, then the session's
// start-up; at the end, the release of the process-wide services. Also the
// Create and Delete clicks, and the questions asked before a Create.
#include "ui/main_form.h"

#include "platform/os.h"
#include "shell/log_kv.h"

TMainForm* MainForm = nullptr;

TMainForm::TMainForm() : TForm("MainForm") {
  BuildControls();
  OnCreate = [this] { FormCreate(); };
  OnShow = [this] { FormShow(); };
  OnCloseQuery = [this] { return FormCloseQuery(); };
  OnClose = [this] { FormClose(); };
  Session.StatusTimer.OnTimer = [this] { StatusTimerTimer(); };
  Session.OnChanged = [this] { RefreshWindow(); };
  Session.Runs.OnOutput = [this](const std::string& chunk) { ConsoleRichEdit.Text += chunk; };

  Session.StartUp();
  DiskIndex = 0;

  MainForm = this;
}

TMainForm::~TMainForm() {
  FormDestroy();
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::FormDestroy() { TDiskSession::ReleaseServices(); }

bool TMainForm::FormCloseQuery() {
  if (!Session.WorkflowRunning()) return true;
  // A diskpart run left going, or a shrink given back never, leaves the disk
  // half changed: the user decides, and the safe answer is the default.
  const int answer = CurrentOs().MessageBoxA(
      "A partition change is in progress. Closing now can leave the disk half changed. Close anyway?", "OrvRapidStart",
      os::kMbYesNo | os::kMbIconWarning | os::kMbDefButton2);
  LogLine(answer == os::kIdYes ? "Close: the user closes during a workflow" : "Close: the window stays open");
  return answer == os::kIdYes;
}

std::string GbText(uint64_t mb) {
  if (mb < 1024) return std::to_string(mb) + " MB";
  const uint64_t tenths = mb * 10 / 1024;
  return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "") + " GB";
}

std::vector<std::string> TMainForm::CreateQuestions(int sizeTag) const {
  std::vector<std::string> questions;
  if (Session.Firmware == TFirmwareState::Absent)
    questions.push_back(
        "This PC's firmware does not offer Intel Rapid Start, so the partition would not be used. Create it anyway?");
  if (sizeTag <= 0) return questions;
  const uint32_t sizeMb = static_cast<uint32_t>(sizeTag);
  if (Session.PhysicalMemorySize > sizeMb)
    questions.push_back("The firmware uses the partition only if it holds the installed memory (" +
                        GbText(Session.PhysicalMemorySize) + "). Create a " + GbText(sizeMb) + " partition anyway?");
  // Only a family that may shrink does, and only a disk with a partition to
  // shrink; a disk whose size is not known is left to the workflow.
  const _DiskInfo* disk = Session.Model.Disk(DiskIndex);
  if (Session.CanResize && disk && StoredPartCount(*disk) > 0 && disk->DiskSize > 0 &&
      LargestFreeExtent(*disk, disk->DiskSize) < sizeMb * kBytesPerMb)
    questions.push_back("Disk " + std::to_string(DiskIndex) +
                        " has not enough free space. Create will shrink a partition of this disk by " + GbText(sizeMb) +
                        " to make room. Continue?");
  return questions;
}

void TMainForm::CreateButtonClick() {
  if (Session.WorkflowRunning()) return;
  // Before the questions look at the disk: another run may be changing it.
  if (!Session.CreateFlow.TakeDiskLock()) return TellLockRefused(Session.CreateFlow.LockRefusedWhy());
  const int item = PartSizeComboBox.ItemIndex();
  const int sizeTag = item >= 0 ? PartSizeComboBox.Items()[static_cast<std::size_t>(item)].Tag : -1;
  // Asked in order, each once; the first No starts nothing.
  for (const std::string& question : CreateQuestions(sizeTag)) {
    if (CurrentOs().MessageBoxA(question, "OrvRapidStart", os::kMbYesNo | os::kMbIconWarning | os::kMbDefButton2) !=
        os::kIdYes) {
      LogLine("Create: the user answered No; nothing is started");
      Session.CreateFlow.GiveBackDiskLock();
      return;
    }
  }
  Session.CreateFlow.Start(DiskIndex, sizeTag);  // keeps the lock until it is done
}

void TMainForm::DeleteButtonClick() {
  if (Session.WorkflowRunning()) return;
  Session.DeleteFlow.Start();
  if (Session.DeleteFlow.LockRefused) TellLockRefused(Session.DeleteFlow.LockRefusedWhy());
}

// An unattended run has no window: its report says why instead.
void TMainForm::TellLockRefused(const std::string& why) {
  CurrentOs().MessageBoxA("Nothing was changed: " + why + ".", "OrvRapidStart", os::kMbOk | os::kMbIconWarning);
}

// TMainForm's start-up and teardown: the controls first, then the values
// fixed for the whole run, the first disk model; at the end, the release of
// the process-wide services. Also the wiring of runs and workflows.
#include "ui/main_form.h"

#include "platform/os.h"
#include "shell/debug_console.h"
#include "shell/global.h"
#include "shell/log_kv.h"
#include "shell/os_version.h"
#include "sys/firmware.h"
#include "sys/wmi_info.h"

TMainForm* MainForm = nullptr;

TMainForm::TMainForm()
    : TForm("MainForm"),
      DiskPart(TDiskPartSetup(), Runs),
      CreateFlow(Context(), CreateTimer, PauseTimer),
      DeleteFlow(Context(), DeleteTimer, PauseTimer) {
  BuildControls();
  OnCreate = [this] { FormCreate(); };
  OnShow = [this] { FormShow(); };
  OnCloseQuery = [this] { return FormCloseQuery(); };
  OnClose = [this] { FormClose(); };
  CreateTimer.OnTimer = [this] { CreateTimerTimer(); };
  DeleteTimer.OnTimer = [this] { DeleteTimerTimer(); };
  StatusTimer.OnTimer = [this] { StatusTimerTimer(); };
  Runs.OnOutput = [this](const std::string& chunk) { ConsoleRichEdit.Text += chunk; };
  Runs.OnEnded = [this](uint64_t runId, int32_t exitCode) {
    if (CreateFlow.Running()) CreateFlow.RunEnded(runId, exitCode);
    if (DeleteFlow.Running()) DeleteFlow.RunEnded(runId, exitCode);
  };

  Os& os = CurrentOs();
  // The whole command line, program path included: a start through a short or
  // relative name still honours /DEBUG here, and the held lines are replayed.
  DebugMode = AnsiUpperCase(os.GetCommandLineA()).find("/DEBUG") != std::string::npos;
  GetDebugConsole(DebugMode);

  ExePath = ExtractFilePath(os.GetModuleFileNameA());
  LogLine("ExePath=" + ExePath);
  TempDir = os.GetTempPathA(kTempPathChars);
  LogLine("TempDir=" + TempDir);
  PhysicalMemorySize = GetWmiInfo().GetPhysicalMemorySize();
  LogKv("PhysicalMemorySize", PhysicalMemorySize);
  Firmware = DetectRapidStartFirmware();
  LogLine(std::string("RapidStartFirmware=") + FirmwareStateText(Firmware));

  OsFamily = GetOsVersion().OsFamily;
  UseIo = UsesDirectIo(OsFamily);
  CanResize = !UseIo;
  // The script's folder is made by the first script, there (never in TempDir).
  const std::string windowsDirectory = os.GetSystemWindowsDirectoryA();
  DiskPart.Setup = {windowsDirectory.empty() ? "" : IncludeTrailingBackslash(windowsDirectory) + "Temp", "", ExePath,
                    os.GetSystemDirectoryA(), OsFamily, UseIo};

  DiskIndex = 0;
  RapidStartDiskIndex = -1;
  RapidStartPartIndex = -1;
  ScanDisks();
  FindRapidStartPart();

  MainForm = this;
}

TMainForm::~TMainForm() {
  FormDestroy();
  if (MainForm == this) MainForm = nullptr;
}

TWorkflowContext TMainForm::Context() {
  return {*this, DiskPart, StatusTimer, StatusText, RestartPending, [this] { RefreshWindow(); },
          OsFamily, UseIo, CanResize};
}

void TMainForm::FormDestroy() { ReleaseServices(); }

void TMainForm::ReleaseServices() {
  ReleaseOsVersion();
  ReleaseWmiInfo();
  ReleaseDisk();
}

bool TMainForm::WorkflowRunning() const {
  return CreateTimer.Enabled() || DeleteTimer.Enabled() || CreateFlow.Running() || DeleteFlow.Running();
}

bool TMainForm::FormCloseQuery() {
  if (!WorkflowRunning()) return true;
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
  if (Firmware == TFirmwareState::Absent)
    questions.push_back(
        "This PC's firmware does not offer Intel Rapid Start, so the partition would not be used. Create it anyway?");
  if (sizeTag <= 0) return questions;
  const uint32_t sizeMb = static_cast<uint32_t>(sizeTag);
  if (PhysicalMemorySize > sizeMb)
    questions.push_back("The firmware uses the partition only if it holds the installed memory (" +
                        GbText(PhysicalMemorySize) + "). Create a " + GbText(sizeMb) + " partition anyway?");
  // Only a family that may shrink does, and only a disk with a partition to
  // shrink; a disk whose size is not known is left to the workflow.
  const _DiskInfo* disk = Disk(DiskIndex);
  if (CanResize && disk && StoredPartCount(*disk) > 0 && disk->DiskSize > 0 &&
      LargestFreeExtent(*disk, disk->DiskSize) < sizeMb * kBytesPerMb)
    questions.push_back("Disk " + std::to_string(DiskIndex) +
                        " has not enough free space. Create will shrink a partition of this disk by " + GbText(sizeMb) +
                        " to make room. Continue?");
  return questions;
}

void TMainForm::CreateButtonClick() {
  if (WorkflowRunning()) return;
  // Before the questions look at the disk: another run may be changing it.
  if (!CreateFlow.TakeDiskLock()) return TellLockRefused(CreateFlow.LockRefusedWhy());
  const int item = PartSizeComboBox.ItemIndex();
  const int sizeTag = item >= 0 ? PartSizeComboBox.Items()[static_cast<std::size_t>(item)].Tag : -1;
  // Asked in order, each once; the first No starts nothing.
  if (!Unattended) {
    for (const std::string& question : CreateQuestions(sizeTag)) {
      if (CurrentOs().MessageBoxA(question, "OrvRapidStart", os::kMbYesNo | os::kMbIconWarning | os::kMbDefButton2) !=
          os::kIdYes) {
        LogLine("Create: the user answered No; nothing is started");
        CreateFlow.GiveBackDiskLock();
        return;
      }
    }
  }
  CreateFlow.Start(DiskIndex, sizeTag);  // keeps the lock until it is done
}

void TMainForm::DeleteButtonClick() {
  if (WorkflowRunning()) return;
  DeleteFlow.Start();
  if (DeleteFlow.LockRefused) TellLockRefused(DeleteFlow.LockRefusedWhy());
}

// An unattended run reports it instead; nobody may be there to press OK.
void TMainForm::TellLockRefused(const std::string& why) {
  if (Unattended) return;
  CurrentOs().MessageBoxA("Nothing was changed: " + why + ".", "OrvRapidStart", os::kMbOk | os::kMbIconWarning);
}

// TDiskSession's start-up (the values fixed for the whole run, the first disk
// model), its release of the process-wide services, and the wiring of runs to
// the workflows waiting for them.
#include "ui/session.h"

#include "platform/os.h"
#include "shell/debug_console.h"
#include "shell/global.h"
#include "shell/log_kv.h"
#include "shell/os_version.h"
#include "sys/wmi_info.h"

TDiskSession::TDiskSession(TTimerHost& timers)
    : CreateTimer(timers, "CreateTimer"),
      DeleteTimer(timers, "DeleteTimer"),
      StatusTimer(timers, "StatusTimer"),
      PauseTimer(timers, "PauseTimer", kStepPauseMs),
      DiskPart(TDiskPartSetup(), Runs),
      CreateFlow(*this, [this] { Changed(); }),
      DeleteFlow(*this, [this] { Changed(); }),
      TimerHost_(timers) {
  CreateTimer.OnTimer = [this] { CreateFlow.CreateTimerTimer(); };
  DeleteTimer.OnTimer = [this] { DeleteFlow.DeleteTimerTimer(); };
  Runs.OnEnded = [this](uint64_t runId, int32_t exitCode) {
    if (CreateFlow.Running()) CreateFlow.RunEnded(runId, exitCode);
    if (DeleteFlow.Running()) DeleteFlow.RunEnded(runId, exitCode);
  };
}

void TDiskSession::StartUp() {
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

  Model.RapidStartDiskIndex = -1;
  Model.RapidStartPartIndex = -1;
  Model.ScanDisks();
  Model.FindRapidStartPart();
}

void TDiskSession::ReleaseServices() {
  ReleaseOsVersion();
  ReleaseWmiInfo();
  ReleaseDisk();
}

bool TDiskSession::WorkflowRunning() const {
  return CreateTimer.Enabled() || DeleteTimer.Enabled() || CreateFlow.Running() || DeleteFlow.Running();
}

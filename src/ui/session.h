// TDiskSession: what the program knows of the disks and does to them, with
// or without a window. It owns the disk model, the values read once at
// start-up, the diskpart runs and scripts, the Create and Delete workflows
// with their timers, and the status they leave. The window shows it and
// forwards the user's clicks to it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "disk/disk_model.h"
#include "partops/disk_part.h"
#include "partops/run_owner.h"
#include "sys/firmware.h"
#include "ui/create_workflow.h"
#include "ui/delete_workflow.h"
#include "widgets/widgets.h"

class TDiskSession {
 public:
  static constexpr uint32_t kTempPathChars = 260;

  // The timers live on timers: a form, whose renderer runs them, or a bare
  // host that the unattended loop runs.
  explicit TDiskSession(TTimerHost& timers);
  TDiskSession(const TDiskSession&) = delete;
  TDiskSession& operator=(const TDiskSession&) = delete;

  // Reads the values fixed for the whole run, then the first disk model.
  void StartUp();
  // Releases the process-wide services in a fixed order.
  static void ReleaseServices();

  // Where the timers live, for a loop that runs them.
  TTimerHost& TimerHost() { return TimerHost_; }

  // A Create or Delete is under way (its timer runs, or it is finishing).
  bool WorkflowRunning() const;

  // Told whenever a workflow has changed the model or the status; a window
  // refreshes itself.
  std::function<void()> OnChanged;

  // ---- fixed at start-up ----
  bool DebugMode = false;
  bool UseIo = false;      // partition types are set, and partitions deleted, by direct I/O
  bool CanResize = false;  // partitions may be shrunk and extended
  int32_t OsFamily = -1;
  std::string ExePath;              // the executable's directory, with its trailing backslash
  std::string TempDir;              // as GetTempPathA returned it
  uint32_t PhysicalMemorySize = 0;  // MB
  TFirmwareState Firmware = TFirmwareState::Unknown;  // whether the firmware offers Rapid Start

  TDiskModel Model;
  // What the last workflow is doing or did: "Creating", then ".....Done."
  // or ".....Failed." appended.
  std::string StatusText;
  // A Create has succeeded and the system should restart to use it.
  bool RestartPending = false;

  // ---- timers, in the order the window has always made them ----
  TTimer CreateTimer;
  TTimer DeleteTimer;
  // Moves the status line's dots while a workflow runs; the window animates.
  TTimer StatusTimer;
  // Ends the pauses between workflow steps, so the window keeps answering.
  TTimer PauseTimer;

  // ---- runs, scripts and workflows ----
  TRunOwner Runs;
  TDiskPart DiskPart;
  TCreateWorkflow CreateFlow;
  TDeleteWorkflow DeleteFlow;

 private:
  TTimerHost& TimerHost_;
  void Changed() {
    if (OnChanged) OnChanged();
  }
};

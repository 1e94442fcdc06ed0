// What the Create and Delete workflows need of the window, handed to them as
// references: the disk model they rescan, the scripts and runs they start,
// the status fields they write, and the refresh they ask for.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "disk/disk_model.h"
#include "partops/disk_part.h"
#include "widgets/widgets.h"

struct TWorkflowContext {
  TDiskModel& Model;
  TDiskPart& DiskPart;
  TTimer& StatusTimer;
  std::string& StatusText;
  bool& RestartPending;
  std::function<void()> RefreshWindow;
  // Fixed at start-up, after the workflows are made.
  const int32_t& OsFamily;
  const bool& UseIo;      // partition types are set, and partitions deleted, by direct I/O
  const bool& CanResize;  // partitions may be shrunk and extended
};

// The pauses between the steps of a workflow.
constexpr uint32_t kStepPauseMs = 2000;

// The unattended runs: /STATUS, /CREATE and /DELETE without a window, for
// deployment scripts. They drive the disk session the window shows (its
// start-up, disk model and workflows) with no window at all, print
// "Key=value" lines, and end with an exit code a script can act on.
#pragma once

#include <functional>
#include <string>

#include "app/switches.h"
#include "widgets/timer_loop.h"

// Exit codes; the README lists them with their meaning.
enum TExitCode : int {
  kExitOk = 0,             // /STATUS: ready; /CREATE: created; /DELETE: deleted
  kExitNoPartition = 1,    // /STATUS and /DELETE: there is no Rapid Start partition
  kExitTooSmall = 2,       // /STATUS: it is smaller than the installed memory
  kExitNoFirmware = 3,     // /STATUS: the firmware does not offer Intel Rapid Start
  kExitExists = 10,        // /CREATE: a Rapid Start partition exists already
  kExitFirmwareAbsent = 11,  // /CREATE without /FORCE on firmware without Intel Rapid Start
  kExitBadDisk = 12,       // /CREATE: no such disk, not a fixed disk, or its table cannot be read
  kExitBadSize = 13,       // /CREATE: the size is not from 1024 to 65536 MB
  kExitFailed = 14,        // /CREATE or /DELETE ran and did not succeed
  kExitRestartRefused = 15,  // /CREATE /RESTART: created, but the restart was refused
  kExitUsage = 64,         // the command line is not a valid unattended run; nothing was done
  kExitInternal = 70,      // an unexpected error; see the report and the log
  kExitCannotLog = 73,     // /LOG: the file cannot be written; nothing was done
  kExitAnotherCopy = 75,   // another copy runs, or changes a disk on this computer; nothing was done
};

constexpr uint32_t kMinCreateSizeMb = 1024;
constexpr uint32_t kMaxCreateSizeMb = 65536;

// What a run needs of its surroundings: the GUI queue its workers report
// to, the clock its timers run on, and where its report lines go.
struct TUnattendedEnv {
  TQueueDispatcher& Gui;
  TLoopClock& Clock;
  std::function<void(const std::string& line)> Out;
};

// Runs s.Action (not Window) with valid switches; the process-wide checks
// (one instance, the log file) are the caller's. Returns the exit code.
int RunUnattended(const TSwitches& s, TUnattendedEnv& env);

// The usage text, line by line, for kExitUsage.
std::string UsageText();

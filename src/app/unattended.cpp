#include "app/unattended.h"

#include <memory>
#include <vector>

#include "disk/part_identity.h"
#include "partops/disk_change_lock.h"
#include "shell/log_kv.h"
#include "sys/power_man.h"
#include "sys/wmi_info.h"
#include "ui/part_sizes.h"
#include "ui/session.h"

namespace {

// A workflow that has not ended after this long never will on its own.
constexpr uint64_t kRunLimitMs = 60ull * 60 * 1000;
// How often a wait for a run is reported.
constexpr uint64_t kWaitingLineMs = 60ull * 1000;

using TOut = std::function<void(const std::string&)>;

// A disk session with nothing to show: its timers live on a bare host that
// RunWorkflow's loop runs, and the services go when it does, as a window's
// would.
struct TWindowlessSession {
  TTimerHost Timers;
  TDiskSession Session{Timers};
  TWindowlessSession() { Session.StartUp(); }
  ~TWindowlessSession() { TDiskSession::ReleaseServices(); }
  TWindowlessSession(const TWindowlessSession&) = delete;
  TWindowlessSession& operator=(const TWindowlessSession&) = delete;
};

// A product text on one report line: no control characters, no padding.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

const char* StyleText(int32_t style) {
  const char* text = PartitionStyleText(style);
  return text ? text : "Unknown";
}

std::string MbText(uint64_t bytes) { return std::to_string(bytes / kBytesPerMb); }

void ReportDisks(TDiskSession& session, const TOut& out) {
  out("FixedDisks=" + std::to_string(session.Model.DiskCount));
  for (int32_t d = 0; d < session.Model.DiskCount; ++d) {
    const _DiskInfo& info = session.Model.DiskInfo[d];
    const std::string key = "Disk." + std::to_string(info.DiskNum) + ".";
    disk::DiskGeometryEx geometry{};
    const bool sized = GetDisk().GetDriveGeometry(PhysicalDrivePath(info.DiskNum), geometry) && geometry.DiskSize > 0;
    const uint64_t size = sized ? static_cast<uint64_t>(geometry.DiskSize) : 0;
    const bool known = info.PartitionStyle != kPartitionStyleUnknown;
    uint64_t used = 0;
    bool rapidStart = false;
    for (uint32_t j = 0; j < StoredPartCount(info); ++j) {
      used += info.PartInfo[j].PartLen;
      rapidStart = rapidStart || IsRapidStartPart(info.PartitionStyle, info.PartInfo[j]);
    }
    out(key + "Product=" + OneLine(GetDisk().GetDiskProductId(info.DiskNum)));
    out(key + "SizeMB=" + (sized ? MbText(size) : "Unknown"));
    out(key + "Style=" + StyleText(info.PartitionStyle));
    out(key + "Media=" + MediaKindText(info.MediaKind));
    out(key + "FreeMB=" + (sized && known ? MbText(used < size ? size - used : 0) : "Unknown"));
    out(key + "RapidStart=" + (known ? (rapidStart ? "Yes" : "No") : "Unknown"));
  }
}

void ReportRapidStart(TDiskSession& session, const TOut& out) {
  const _PartInfo* part = session.Model.RapidStartPart();
  if (!part) {
    out("RapidStart=None");
    return;
  }
  const _DiskInfo& disk = session.Model.DiskInfo[session.Model.RapidStartDiskIndex];
  out("RapidStart=Present");
  out("RapidStart.Disk=" + std::to_string(disk.DiskNum));
  out("RapidStart.PartNum=" + std::to_string(part->PartNum));
  out("RapidStart.SizeMB=" + MbText(part->PartLen));
  out("RapidStart.Type=" + (disk.PartitionStyle == kPartitionStyleGpt ? disk::FormatGuidText(part->Gpt.PartitionType)
                                                      : HexByteText(part->Mbr.PartitionType)));
}

// What /STATUS concludes of the machine as the session last read it.
struct TStatusVerdict {
  int Code;
  const char* Name;
  std::string Reason;
};

TStatusVerdict StatusVerdict(TDiskSession& session) {
  const _PartInfo* part = session.Model.RapidStartPart();
  if (session.Firmware == TFirmwareState::Absent)
    return {kExitNoFirmware, "NoFirmware", "the firmware does not offer Intel Rapid Start"};
  if (!part) return {kExitNoPartition, "NoPartition", "there is no Rapid Start partition"};
  if (session.PhysicalMemorySize != 0 && part->PartLen < uint64_t{session.PhysicalMemorySize} * kBytesPerMb)
    return {kExitTooSmall, "TooSmall",
            "the Rapid Start partition (" + MbText(part->PartLen) + " MB) is smaller than the installed memory (" +
                std::to_string(session.PhysicalMemorySize) + " MB)"};
  return {kExitOk, "Ready",
          session.PhysicalMemorySize != 0 ? "the Rapid Start partition holds the installed memory"
                                          : "a Rapid Start partition exists; the installed memory is unknown"};
}

int Refuse(const TOut& out, int code, const std::string& reason) {
  out("Result=Refused");
  out("Reason=" + reason);
  return code;
}

int RefuseExisting(TDiskSession& session, const TOut& out) {
  ReportRapidStart(session, out);
  return Refuse(out, kExitExists, "a Rapid Start partition exists already");
}

int RunStatus(TDiskSession& session, const TOut& out) {
  ReportDisks(session, out);
  ReportRapidStart(session, out);
  const TStatusVerdict v = StatusVerdict(session);
  out(std::string("Verdict=") + v.Name);
  out("Reason=" + v.Reason);
  return v.Code;
}

// The disk /DISK names (-1 and the reason when there is none to use). AUTO
// takes only disks whose bus is known to be inside the machine: a USB stick
// or card reader that reports fixed media (the imaging stick of a
// deployment) is never chosen for it, and is taken by number only with /FORCE.
int32_t ChooseDisk(const TSwitches& s, TDiskSession& session, std::string& why) {
  TDisk& disks = GetDisk();
  if (s.DiskAuto) {
    std::vector<int32_t> internal;
    for (int32_t d = 0; d < session.Model.DiskCount; ++d) {
      const int32_t bus = disks.GetDiskBusType(session.Model.DiskInfo[d].DiskNum);
      if (bus >= 0 && !IsExternalBus(bus)) internal.push_back(d);
    }
    for (int32_t d : internal)
      if (session.Model.DiskInfo[d].MediaKind == TMediaKind::Ssd) return d;
    if (!internal.empty()) return internal.front();
    why = session.Model.DiskCount > 0 ? "there is no fixed disk on an internal bus" : "there is no fixed disk";
    return -1;
  }
  for (int32_t d = 0; d < session.Model.DiskCount; ++d) {
    if (static_cast<uint64_t>(session.Model.DiskInfo[d].DiskNum) != s.DiskNum) continue;
    if (!s.Force && IsExternalBus(disks.GetDiskBusType(session.Model.DiskInfo[d].DiskNum))) {
      why = "disk " + std::to_string(s.DiskNum) + " is on a USB, 1394, SD or MMC bus (/FORCE takes it all the same)";
      return -1;
    }
    return d;
  }
  const std::string name = "disk " + std::to_string(s.DiskNum);
  const bool exists = s.DiskNum <= static_cast<uint64_t>(kLastDriveNumber) &&
                      disks.GetDiskDeviceType(static_cast<int32_t>(s.DiskNum)) != disk::kFileDeviceUnknown;
  why = exists ? name + " is not a fixed disk" : name + " does not exist";
  return -1;
}

bool RunWorkflow(TDiskSession& session, TUnattendedEnv& env, const std::function<void()>& start) {
  TTimerLoop loop(session.TimerHost(), env.Gui, env.Clock);
  start();
  // Nobody is watching a first status tick: the first step starts at once
  // rather than a timer interval after the click.
  for (TTimer* t : {&session.CreateTimer, &session.DeleteTimer})
    if (t->Enabled()) t->FireNow();
  // A diskpart run that is still going is waited for, however long it takes
  // (a shrink moves data and can take many minutes): reporting Failed while
  // it may still change the disk would be a guess. Each minute says so.
  uint64_t waitedMs = 0;
  for (;;) {
    if (loop.RunUntil([&session] { return !session.WorkflowRunning(); }, kWaitingLineMs)) return true;
    waitedMs += kWaitingLineMs;
    if (session.Runs.Busy()) {
      env.Out("Waiting=" + std::to_string(waitedMs / kWaitingLineMs) + " min; diskpart is still running");
      continue;
    }
    if (waitedMs < kRunLimitMs) continue;
    env.Out("Reason=the workflow did not end within " + std::to_string(kRunLimitMs / 60000) + " minutes");
    return false;
  }
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

int RunCreate(const TSwitches& s, TDiskSession& session, TUnattendedEnv& env) {
  const TOut& out = env.Out;
  uint32_t sizeMb = 0;
  if (s.SizeAuto) {
    // What /STATUS then calls Ready: a size that holds the memory.
    sizeMb = SmallestSizeHolding(session.PhysicalMemorySize);
    if (sizeMb == 0)
      return Refuse(out, kExitBadSize,
                    "the installed memory (" + std::to_string(session.PhysicalMemorySize) +
                        " MB) is more than the largest partition, " + std::to_string(kMaxCreateSizeMb) + " MB");
  } else if (s.SizeMb < kMinCreateSizeMb || s.SizeMb > kMaxCreateSizeMb) {
    return Refuse(out, kExitBadSize, "the size must be from 1024 to 65536 MB");
  } else {
    sizeMb = static_cast<uint32_t>(s.SizeMb);
  }
  if (session.Model.RapidStartPart()) return RefuseExisting(session, out);
  if (session.Firmware == TFirmwareState::Absent && !s.Force)
    return Refuse(out, kExitFirmwareAbsent,
                  "the firmware does not offer Intel Rapid Start (/FORCE creates the partition all the same)");
  std::string why;
  const int32_t index = ChooseDisk(s, session, why);
  if (index < 0) return Refuse(out, kExitBadDisk, why);
  const _DiskInfo& disk = session.Model.DiskInfo[index];
  if (disk.PartitionStyle == kPartitionStyleUnknown)
    return Refuse(out, kExitBadDisk, "the partition table of disk " + std::to_string(disk.DiskNum) + " cannot be read");

  out("Disk=" + std::to_string(disk.DiskNum));
  out("SizeMB=" + std::to_string(sizeMb));
  if (session.PhysicalMemorySize != 0 && sizeMb < session.PhysicalMemorySize)
    out("Warning=the partition is smaller than the installed memory (" + std::to_string(session.PhysicalMemorySize) +
        " MB): the firmware will not use it");
  session.CreateFlow.OnProgress = out;
  const bool ended = RunWorkflow(session, env, [&] { session.CreateFlow.Start(index, static_cast<int>(sizeMb)); });
  out("Status=" + session.StatusText);
  // One appeared between the start-up scan and the click's rescan.
  if (session.StatusText.empty() && session.Model.RapidStartPart()) return RefuseExisting(session, out);
  if (!ended || !EndsWith(session.StatusText, ".....Done.")) {
    out("Result=Failed");
    if (session.CreateFlow.FailureCode != 0) out("FailureCode=" + HexResultText(session.CreateFlow.FailureCode));
    return kExitFailed;
  }
  out("Result=Created");
  ReportRapidStart(session, out);
  // A deployment that reads only the exit code learns here what /STATUS will say.
  const TStatusVerdict v = StatusVerdict(session);
  if (v.Code != kExitOk) out(std::string("Warning=/STATUS will report ") + v.Name + ": " + v.Reason);
  if (!s.Restart) {
    out("Restart=No");
    return kExitOk;
  }
  if (GetPowerMan().Reboot()) {
    out("Restart=Requested");
    return kExitOk;
  }
  out("Restart=Refused");
  return kExitRestartRefused;
}

int RunDelete(TDiskSession& session, TUnattendedEnv& env) {
  const TOut& out = env.Out;
  ReportRapidStart(session, out);
  if (!session.Model.RapidStartPart()) {
    out("Result=NothingToDelete");
    return kExitNoPartition;
  }
  session.DeleteFlow.OnProgress = out;
  const bool ended = RunWorkflow(session, env, [&session] { session.DeleteFlow.Start(); });
  out("Status=" + session.StatusText);
  if (!ended || !EndsWith(session.StatusText, ".....Done.")) {
    out("Result=Failed");
    if (session.DeleteFlow.FailureCode != 0) out("FailureCode=" + HexResultText(session.DeleteFlow.FailureCode));
    return kExitFailed;
  }
  out("Result=Deleted");
  return kExitOk;
}

}  // namespace

int RunUnattended(const TSwitches& s, TUnattendedEnv& env) {
  const TOut& out = env.Out;
  const std::string action =
      std::string("Action=") + (s.Action == TAction::Status ? "Status" : s.Action == TAction::Create ? "Create" : "Delete");
  // A run that may change a disk holds the machine-wide lock from before its
  // first look at the disks until it ends.
  TDiskChangeHold hold;
  if ((s.Action == TAction::Create || s.Action == TAction::Delete) && hold.Take() != TDiskChangeLock::Taken) {
    out(action);
    Refuse(out, kExitAnotherCopy, hold.WhyNotTaken());
    out("ExitCode=" + std::to_string(kExitAnotherCopy));
    return kExitAnotherCopy;
  }
  GetWmiInfo().DescribeOnStdOut = false;  // the standard output carries the report
  auto windowless = std::make_unique<TWindowlessSession>();  // 64 disk records: never on the stack
  TDiskSession& session = windowless->Session;
  out(action);
  out(std::string("RapidStartFirmware=") + FirmwareStateText(session.Firmware));
  out("PhysicalMemoryMB=" + std::to_string(session.PhysicalMemorySize));
  int code = kExitInternal;
  switch (s.Action) {
    case TAction::Status: code = RunStatus(session, out); break;
    case TAction::Create: code = RunCreate(s, session, env); break;
    case TAction::Delete: code = RunDelete(session, env); break;
    default: break;
  }
  out("ExitCode=" + std::to_string(code));
  return code;
}

std::string UsageText() {
  return "Usage: OrvRapidStart.exe /STATUS | /CREATE[:SIZE] [/DISK:N] [/FORCE] [/RESTART] | /DELETE\n"
         "                         [/LOG:PATH] [/DEBUG]\n"
         "  /STATUS        report the firmware, memory, disks and Rapid Start partition\n"
         "  /CREATE[:SIZE] make a Rapid Start partition of SIZE MB (1024 to 65536) or AUTO (default:\n"
         "                 the smallest of the window's sizes that holds the installed memory)\n"
         "  /DISK:N        the disk to use, by number, or AUTO (default: the first SSD, else the first disk,\n"
         "                 on an internal bus)\n"
         "  /FORCE         create even when the firmware does not offer Intel Rapid Start, or on a\n"
         "                 disk named by /DISK:N that is on a USB, 1394, SD or MMC bus\n"
         "  /RESTART       restart after a successful create\n"
         "  /DELETE        remove the Rapid Start partition and give its space back\n"
         "  /LOG:PATH      also write the debug log, with times, to the file PATH\n"
         "  /DEBUG         show the debug log in a console window\n"
         "  /? or /HELP    show this text\n"
         "Without /STATUS, /CREATE or /DELETE the window opens.\n"
         "Exit codes:\n"
         "   0  done: /STATUS ready, /CREATE created, /DELETE deleted; also /? and /HELP\n"
         "   1  /STATUS, /DELETE: there is no Rapid Start partition\n"
         "   2  /STATUS: the partition is smaller than the installed memory\n"
         "   3  /STATUS: the firmware does not offer Intel Rapid Start\n"
         "  10  /CREATE: a Rapid Start partition exists already\n"
         "  11  /CREATE: the firmware does not offer Intel Rapid Start (see /FORCE)\n"
         "  12  /CREATE: no such disk, not a fixed disk on an internal bus, or its table cannot be read\n"
         "  13  /CREATE: the size is not from 1024 to 65536 MB, or no size holds the installed memory\n"
         "  14  /CREATE, /DELETE: the partition change did not succeed\n"
         "  15  /CREATE /RESTART: created, but the restart was refused\n"
         "  64  the command line is not valid; nothing was done\n"
         "  70  an unexpected error; see the report and the log\n"
         "  73  /LOG: the file cannot be written; nothing was done\n"
         "  75  another copy runs, or changes a disk on this computer; nothing was done";
}

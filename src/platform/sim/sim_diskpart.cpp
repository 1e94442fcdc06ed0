// A diskpart interpreter over the simulated disks: the commands the program's
// scripts use, with diskpart's messages and failures.
#include "platform/sim/sim_diskpart.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <vector>

#include "platform/helper_command.h"
#include "platform/sim/sim_pc.h"

namespace {

constexpr uint64_t kMiB = kBytesPerMb;
// Alignment of new partitions ("Alignment changes in Windows 2008 and 2008
// R2", learn.microsoft.com/archive/blogs/askcore/alignment-changes-in-
// windows-2008-and-2008-r2): Vista and later start a partition at sector
// 2048 (1 MiB); XP and Server 2003 at sector 63, a track, to keep to the
// cylinder boundaries. assumed: before Vista a partition also ends on a
// cylinder boundary (255 heads x 63 sectors), so its size is rounded up to
// whole cylinders.
constexpr uint64_t kTrackBytes = 63 * 512;
constexpr uint64_t kCylinderBytes = 255 * kTrackBytes;
using os::kStyleGpt, os::kStyleMbr, os::kStyleRaw;
constexpr uint8_t kDefaultMbrType = 0x06;  // documented: create without id= makes type 0x06
const os::Guid kBasicDataType = {0xEBD0A0A2, 0xB9E5, 0x4433, {0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}};

uint64_t AlignUp(uint64_t value, uint64_t unit) { return (value + unit - 1) / unit * unit; }

// A type that gets no volume: the Rapid Start partition (learn.microsoft.com/
// windows/win32/api/winioctl/ns-winioctl-partition_information_ex: hidden
// and unrecognized types are not mounted).
bool IsRapidStartType(const SimPartition& p) {
  return p.Style == kStyleGpt ? p.GptType == kSimRapidStartGptType : p.MbrType == kSimRapidStartMbrType;
}

// The MBR types diskpart deletes without override ("delete partition":
// "Typically, DiskPart only permits you to delete known data partitions").
// assumed: the known data types are the file-system types of the Disk
// Partition Types page (learn.microsoft.com/windows/win32/fileio/
// disk-partition-types) and of PARTITION_INFORMATION (FAT12, FAT16, huge,
// IFS, FAT32, their INT 13 forms) and the extended containers; everything
// else (OEM, hidden, Linux, Rapid Start) needs override and is not mounted.
bool IsKnownDataMbrType(uint8_t type) {
  switch (type) {
    case 0x01: case 0x04: case 0x05: case 0x06: case 0x07: case 0x0B: case 0x0C: case 0x0E: case 0x0F: return true;
    default: return false;
  }
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The C run-time's argument splitting: blanks separate, quotes group.
std::vector<std::string> SplitArguments(const std::string& commandLine) {
  std::vector<std::string> args;
  std::string current;
  bool quoted = false, any = false;
  for (char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) args.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) args.push_back(current);
  return args;
}

bool ParseGuid(const std::string& text, os::Guid& g) {
  unsigned a, b, c, d[8];
  if (text.size() != 36 ||
      std::sscanf(text.c_str(), "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x", &a, &b, &c, &d[0], &d[1], &d[2], &d[3],
                  &d[4], &d[5], &d[6], &d[7]) != 11)
    return false;
  g.Data1 = a;
  g.Data2 = static_cast<uint16_t>(b);
  g.Data3 = static_cast<uint16_t>(c);
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<uint8_t>(d[i]);
  return true;
}

struct Extent {
  uint64_t begin, end;
};

class Diskpart {
 public:
  explicit Diskpart(SimPc& pc) : pc_(pc) {}

  // Runs the script; returns the exit code.
  uint32_t Run(const std::string& script) {
    if (closeRunFails) {
      // assumed: which error a run too soon after the last one gives, and
      // that it fails before its first command has changed anything.
      return Fail(kVdsAnotherCallInProgress, "The service is busy with another operation. Try again later.");
    }
    std::istringstream lines(script);
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::istringstream words(Lower(line));
      std::vector<std::string> w;
      for (std::string word; words >> word;) w.push_back(word);
      if (w.empty()) continue;
      if (w[0] == "exit") {
        Say("Leaving DiskPart...");
        return 0;
      }
      const uint32_t code = Command(w);
      if (code != 0) return code;
    }
    return 0;
  }

  std::string output;
  bool closeRunFails = false;
  int64_t runMs = -1;  // how long the run takes; -1: the usual time

 private:
  void Say(const std::string& text) { output += "\r\n" + text + "\r\n"; }
  uint32_t Fail(uint32_t code, const std::string& message) {
    if ((code & 0xFFFF0000u) == 0x80070000u)
      Say("DiskPart has encountered an error: " + message);
    else
      Say(code >= 0x80000000u ? "Virtual Disk Service error:\r\n" + message : message);
    return code;
  }

  static bool Value(const std::string& word, const char* key, std::string& value) {
    const std::string prefix = std::string(key) + "=";
    if (word.rfind(prefix, 0) != 0) return false;
    value = word.substr(prefix.size());
    return true;
  }
  static bool Number(const std::string& text, uint64_t& n) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), ::isdigit)) return false;
    n = std::stoull(text);
    return true;
  }

  // An injected failure of the next command of this kind, or 0.
  uint32_t Injected(const std::string& kind) {
    auto it = pc_.Processes.CommandFailures.find(kind);
    if (it == pc_.Processes.CommandFailures.end() || it->second.empty()) return 0;
    const uint32_t code = it->second.front();
    it->second.pop_front();
    return code;
  }

  uint32_t Command(const std::vector<std::string>& w) {
    uint64_t n = 0;
    std::string v;
    if (w[0] == "create" || w[0] == "set" || w[0] == "delete" || w[0] == "shrink" || w[0] == "extend")
      if (const uint32_t code = Injected(w[0])) return Fail(code, "The operation failed.");
    if (w.size() == 3 && w[0] == "select" && w[1] == "disk" && Number(w[2], n)) return SelectDisk(n);
    if (w.size() == 3 && w[0] == "select" && w[1] == "partition" && Number(w[2], n)) return SelectPartition(n);
    if (w.size() == 4 && w[0] == "create" && w[1] == "partition" && (w[2] == "primary" || w[2] == "logical") &&
        Value(w[3], "size", v) && Number(v, n))
      return Create(w[2] == "primary", n);
    if ((w.size() == 2 || w.size() == 3) && w[0] == "set" && Value(w[1], "id", v))
      return SetId(v, w.size() == 3 && w[2] == "override");
    if ((w.size() == 2 || w.size() == 3) && w[0] == "delete" && w[1] == "partition")
      return Delete(w.size() == 3 && w[2] == "override");
    if (w.size() == 2 && w[0] == "shrink" && Value(w[1], "desired", v) && Number(v, n)) return Shrink(n, 0);
    uint64_t m = 0;
    std::string mv;
    if (w.size() == 3 && w[0] == "shrink" && Value(w[1], "desired", v) && Number(v, n) && Value(w[2], "minimum", mv) &&
        Number(mv, m))
      return Shrink(n, m);
    if (w.size() == 1 && w[0] == "extend") return Extend(0);
    if (w.size() == 2 && w[0] == "extend" && Value(w[1], "size", v) && Number(v, n) && n > 0) return Extend(n);
    return Fail(kDiskpartSyntaxError, "The arguments specified for this command are not valid.");
  }

  uint32_t SelectDisk(uint64_t n) {
    SimDrive* d = pc_.Disks.FindDrive(static_cast<int>(n));
    if (!d || d->DeviceType != 0x07) return Fail(kVdsObjectNotFound, "The disk you specified is not valid.");
    disk_ = d;
    part_ = 0;
    Say("Disk " + std::to_string(n) + " is now the selected disk.");
    return 0;
  }

  uint32_t SelectPartition(uint64_t n) {
    if (!disk_) return Fail(kVdsObjectNotFound, "There is no disk selected.");
    SimPartition* p = disk_->FindPartition(static_cast<uint32_t>(n));
    if (!p || !p->Used()) return Fail(kVdsObjectNotFound, "The partition you selected is not valid.");
    part_ = static_cast<uint32_t>(n);
    Say("Partition " + std::to_string(n) + " is now the selected partition.");
    return 0;
  }

  SimPartition* Selected() { return disk_ && part_ ? disk_->FindPartition(part_) : nullptr; }

  static bool IsContainer(const SimPartition& e) { return e.Style == kStyleMbr && (e.MbrType == 0x05 || e.MbrType == 0x0F); }

  SimPartition* ExtendedContainer() {
    for (std::size_t i = 0; i < 4 && i < disk_->Layout.size(); ++i)
      if (IsContainer(disk_->Layout[i])) return &disk_->Layout[i];
    return nullptr;
  }

  bool Vista() const { return pc_.Version.record.dwMajorVersion >= 6; }

  // Where a partition of sizeMb starts and how long it is once aligned, in
  // the free extent that starts at cursor and ends at limit; false when it
  // does not fit there. gap: what precedes it (a logical partition's boot
  // record).
  bool Aligned(uint64_t cursor, uint64_t limit, uint64_t sizeMb, uint64_t gap, uint64_t& start,
               uint64_t& length) const {
    if (Vista()) {
      start = AlignUp(cursor + gap, kMiB);
      length = sizeMb * kMiB;
    } else {
      start = AlignUp(cursor + gap, kTrackBytes);
      length = AlignUp(start + sizeMb * kMiB, kCylinderBytes) - start;
    }
    return start < limit && limit - start >= length;
  }

  // The largest free extent within [begin, end), given what is taken, that
  // holds sizeMb once aligned; documented ("create partition primary"): a new
  // partition starts at the beginning of the largest extent that is large
  // enough to hold it. A size that does not fit once aligned fails.
  bool LargestFit(uint64_t begin, uint64_t end, std::vector<Extent> taken, uint64_t sizeMb, uint64_t gap, uint64_t& at,
                  uint64_t& length) const {
    std::sort(taken.begin(), taken.end(), [](const Extent& a, const Extent& b) { return a.begin < b.begin; });
    uint64_t best = 0, cursor = begin;
    bool found = false;
    taken.push_back({end, end});
    for (const Extent& t : taken) {
      uint64_t start = 0, len = 0;
      if (t.begin > cursor && t.begin - cursor > best && Aligned(cursor, t.begin, sizeMb, gap, start, len)) {
        best = t.begin - cursor;
        at = start;
        length = len;
        found = true;
      }
      cursor = std::max(cursor, t.end);
    }
    return found;
  }

  // The first letter from C: that no volume or other drive holds.
  char FreeLetter() const {
    const uint32_t mask = pc_.Disks.LogicalDriveMask();
    for (char c = 'C'; c <= 'Z'; ++c)
      if (!(mask & (1u << (c - 'A')))) return c;
    return 0;
  }

  uint64_t DataEnd() const { return disk_->SizeBytes - (disk_->Style == kStyleGpt ? kMiB : 0); }

  uint32_t Create(bool primary, uint64_t sizeMb) {
    if (!disk_) return Fail(kVdsObjectNotFound, "There is no disk selected.");
    if (disk_->Style == kStyleRaw) {  // assumed: a partition on an empty disk initialises it as MBR
      disk_->Style = kStyleMbr;
      disk_->Layout.assign(4, SimPartition{});
    }
    uint64_t at = 0, bytes = 0;
    std::vector<Extent> taken;
    uint32_t number = 0;
    if (disk_->Style == kStyleGpt) {
      if (!primary) return Fail(kVdsInvalidSpace, "Logical partitions can only be created on MBR disks.");
      for (const SimPartition& e : disk_->Layout)
        if (e.Used()) taken.push_back({e.Offset, e.Offset + e.Length});
      if (!LargestFit(kMiB, DataEnd(), taken, sizeMb, 0, at, bytes))
        return Fail(kVdsNotEnoughSpace, "There is not enough usable space for this operation.");
      number = disk_->AddGptPartition(kBasicDataType, at, bytes, u"Basic data partition").Number;
    } else if (primary) {
      bool freeSlot = false;
      for (std::size_t i = 0; i < 4; ++i) {
        const SimPartition& e = disk_->Layout[i];
        if (e.Used()) taken.push_back({e.Offset, e.Offset + e.Length});
        else freeSlot = true;
      }
      if (!freeSlot) return Fail(kVdsPartitionLimitReached, "No more partitions can be created on this disk.");
      if (!LargestFit(Vista() ? kMiB : kTrackBytes, disk_->SizeBytes, taken, sizeMb, 0, at, bytes))
        return Fail(kVdsNotEnoughSpace, "There is not enough usable space for this operation.");
      number = disk_->AddPrimary(kDefaultMbrType, at, bytes).Number;
    } else {
      const SimPartition* container = ExtendedContainer();
      if (!container) return Fail(kVdsInvalidSpace, "There is no extended partition on this disk.");
      for (std::size_t i = 4; i < disk_->Layout.size(); ++i) {
        const SimPartition& e = disk_->Layout[i];
        if (e.Used() && !IsContainer(e)) taken.push_back({e.Offset, e.Offset + e.Length});
      }
      // Each logical partition is preceded by its boot record: 1 MiB, or a
      // track before Vista.
      if (!LargestFit(container->Offset, container->Offset + container->Length, taken, sizeMb,
                      Vista() ? kMiB : kTrackBytes, at, bytes))
        return Fail(kVdsNotEnoughSpace, "There is not enough usable space for this operation.");
      number = disk_->AddLogical(kDefaultMbrType, at, bytes).Number;
    }
    part_ = number;
    // A new partition of a data type is mounted at once: it gets a volume
    // without a file system and, from Vista on, a drive letter ("create
    // partition primary"; automount, learn.microsoft.com/windows-server/
    // administration/windows-commands/automount). Explorer then holds it to
    // offer formatting, so a type change without override is refused.
    SimVolume& volume = pc_.Disks.AddVolume(disk_->Number, number, Vista() ? FreeLetter() : 0);
    volume.FileSystem = "RAW";
    Say("DiskPart succeeded in creating the specified partition.");
    return 0;
  }

  void DropVolumes(uint32_t partNum) {
    auto& volumes = pc_.Disks.Volumes;
    for (auto it = volumes.begin(); it != volumes.end();)
      it = it->Disk == disk_->Number && it->PartNum == partNum ? volumes.erase(it) : it + 1;
  }

  uint32_t SetId(const std::string& value, bool override) {
    SimPartition* p = Selected();
    if (!p) return Fail(kVdsObjectNotFound, "There is no partition selected.");
    if (pc_.Processes.SetIdRefusedDisks.count(disk_->Number) || pc_.Processes.SetIdRefusals > 0) {
      if (pc_.Processes.SetIdRefusals > 0) --pc_.Processes.SetIdRefusals;
      return Fail(kVdsDeviceInUse, "The device is currently in use.");
    }
    // "set id": without override diskpart does not change the type of a
    // partition whose volume is mounted and held (VDS_E_DEVICE_IN_USE);
    // override forces the file system to dismount first
    // (learn.microsoft.com/windows-server/administration/windows-commands/set-id).
    if (p->Style == kStyleGpt) {
      os::Guid type{};
      if (!ParseGuid(value, type)) return Fail(kDiskpartSyntaxError, "The specified type is not in the correct format.");
      if (!override && pc_.Disks.FindVolume(disk_->Number, part_))
        return Fail(kVdsDeviceInUse, "The device is currently in use.");
      p->GptType = type;
    } else {
      uint64_t byte = 0;
      if (value.size() != 2 || !std::all_of(value.begin(), value.end(), ::isxdigit))
        return Fail(kDiskpartSyntaxError, "The specified type is not in the correct format.");
      byte = std::stoul(value, nullptr, 16);
      if (byte == 0x42) return Fail(kVdsOperationDenied, "The specified type is not valid.");
      if (!override && pc_.Disks.FindVolume(disk_->Number, part_))
        return Fail(kVdsDeviceInUse, "The device is currently in use.");
      p->MbrType = static_cast<uint8_t>(byte);
    }
    // A hidden type is no longer mounted; the Rapid Start type never is.
    if (IsRapidStartType(*p) || (p->Style == kStyleMbr && !IsKnownDataMbrType(p->MbrType)) ||
        (p->Style == kStyleGpt && p->GptType != kBasicDataType))
      DropVolumes(part_);
    Say("DiskPart successfully set the partition ID.");
    return 0;
  }

  uint32_t Delete(bool override) {
    SimPartition* p = Selected();
    if (!p) return Fail(kVdsObjectNotFound, "There is no partition selected.");
    // Documented: without override diskpart deletes only known data partitions.
    const bool known = p->Style == kStyleGpt ? p->GptType == kBasicDataType : IsKnownDataMbrType(p->MbrType);
    if (!known && !override)
      return Fail(kVdsOperationDenied, "Cannot delete a protected partition without the force protected parameter set.");
    // Documented ("delete partition"): the system or boot partition, or one
    // holding the paging file, is not deleted without override.
    const SimVolume* volume = pc_.Disks.FindVolume(disk_->Number, part_);
    if (volume && volume->InUse && !override) return Fail(kVdsDeviceInUse, "The device is currently in use.");
    if (IsContainer(*p)) return Fail(kVdsPartitionNotEmpty, "The extended partition is not empty.");
    const uint32_t number = part_;
    if (p->Style == kStyleGpt) {
      disk_->Layout.erase(disk_->Layout.begin() + (p - disk_->Layout.data()));
    } else {
      *p = SimPartition{};
    }
    DropVolumes(number);
    disk_->RenumberMbr();
    part_ = 0;
    Say("DiskPart successfully deleted the selected partition.");
    return 0;
  }

  // The free bytes right behind the selected partition, within its region.
  uint64_t FreeBehind(const SimPartition& p) {
    uint64_t limit = DataEnd();
    const bool logical = p.Style == kStyleMbr && (&p - disk_->Layout.data()) >= 4;
    if (logical) {
      const SimPartition* c = ExtendedContainer();
      if (c) limit = c->Offset + c->Length;
    }
    const uint64_t end = p.Offset + p.Length;
    for (std::size_t i = 0; i < disk_->Layout.size(); ++i) {
      const SimPartition& e = disk_->Layout[i];
      if (&e == &p || !e.Used()) continue;
      if (logical && IsContainer(e)) continue;
      const uint64_t next = (logical && i >= 4) ? e.Offset - kMiB : e.Offset;
      if (next >= end) limit = std::min(limit, next);
    }
    return limit > end ? limit - end : 0;
  }

  // "shrink desired=N [minimum=M]" (learn.microsoft.com/windows-server/
  // administration/windows-commands/shrink): only an NTFS volume shrinks;
  // it gives up to N MB of what it can (its free space, less what cannot
  // move) and succeeds with less, unless minimum=M asks for at least M.
  uint32_t Shrink(uint64_t desiredMb, uint64_t minimumMb) {
    SimPartition* p = Selected();
    if (!p) return Fail(kVdsObjectNotFound, "There is no volume selected.");
    const SimVolume* volume = pc_.Disks.FindVolume(disk_->Number, part_);
    if (!volume) return Fail(kVdsObjectNotFound, "There is no volume selected.");
    if (volume->FileSystem != "NTFS")
      return Fail(kVdsCannotShrink, "The volume cannot be shrunk because the file system does not support it.");
    auto it = pc_.Processes.ShrinkableBytes.find({disk_->Number, part_});
    // assumed: a volume with a drive letter has half its length free and
    // movable; one without (Recovery, System Reserved) is nearly full and
    // gives only what ShrinkableBytes says.
    const uint64_t shrinkable = it != pc_.Processes.ShrinkableBytes.end() ? it->second
                                : volume->Letter ? p->Length / 2
                                                 : 0;
    const uint64_t maxMb = shrinkable / kMiB;
    if (maxMb == 0) return Fail(kVdsOperationDenied, "The volume cannot be shrunk.");
    if (minimumMb > maxMb)
      return Fail(kVdsShrinkSizeTooBig,
                  "The specified shrink size is too big and will cause the volume to be smaller than the minimum volume size.");
    const uint64_t mb = std::min(desiredMb, maxMb);
    p->Length -= mb * kMiB;
    if (it != pc_.Processes.ShrinkableBytes.end()) it->second -= mb * kMiB;
    if (pc_.KeepRecords)
      pc_.Processes.Resizes.push_back({disk_->Number, p->Offset, -static_cast<int64_t>(mb * kMiB)});
    Say("DiskPart successfully shrunk the volume by:  " + std::to_string(mb) + " MB");
    if (pc_.Processes.ShrinkRunMs > 0) runMs = pc_.Processes.ShrinkRunMs;
    return 0;
  }

  // "extend [size=N]" (learn.microsoft.com/windows-server/administration/
  // windows-commands/extend): grows the partition only into free space that
  // follows it; size=N fails when less is there; on a basic disk only a
  // partition with an NTFS volume is extended.
  uint32_t Extend(uint64_t sizeMb) {
    SimPartition* p = Selected();
    if (!p) return Fail(kVdsObjectNotFound, "There is no volume selected.");
    const SimVolume* volume = pc_.Disks.FindVolume(disk_->Number, part_);
    if (!volume) return Fail(kVdsObjectNotFound, "There is no volume selected.");
    if (volume->FileSystem != "NTFS") return Fail(kVdsCannotExtend, "The file system does not support extending this volume.");
    const uint64_t free = FreeBehind(*p) / kMiB * kMiB;
    const uint64_t bytes = sizeMb == 0 ? free : sizeMb * kMiB;
    if (bytes == 0 || bytes > free)
      return Fail(kVdsNotEnoughSpace, "There is not enough usable space for this operation.");
    p->Length += bytes;
    if (pc_.KeepRecords) pc_.Processes.Resizes.push_back({disk_->Number, p->Offset, static_cast<int64_t>(bytes)});
    Say("DiskPart successfully extended the volume.");
    return 0;
  }

  SimPc& pc_;
  SimDrive* disk_ = nullptr;
  uint32_t part_ = 0;
};

}  // namespace

SimChildResult RunSimDiskpart(const std::string& commandLine, SimPc& pc) {
  SimChildResult r;
  const std::vector<std::string> args = SplitArguments(commandLine);
  std::size_t s = 1;
  while (s < args.size() && Lower(args[s]) != "/s") ++s;
  if (s + 1 >= args.size()) {
    r.ExitCode = 2;  // documented: the command-line arguments are not valid
    return r;
  }
  // diskpart reads its script as the C run-time opens a file for reading:
  // read access, sharing read and write. A holder that shares less keeps it out.
  auto file = pc.Processes.Files.find(args[s + 1]);
  if (file == pc.Processes.Files.end() || file->second.Directory || file->second.Link ||
      !pc.Processes.OpenAllowed(args[s + 1], os::kGenericRead, os::kFileShareRead | os::kFileShareWrite)) {
    r.Output += "\r\nDiskPart was unable to open the script file.\r\n";
    r.ExitCode = kDiskpartScriptUnreadable;
    return r;
  }
  if (pc.KeepRecords) pc.Processes.Scripts.push_back(file->second.Bytes);
  Diskpart diskpart(pc);
  SimProcesses& sp = pc.Processes;
  const uint64_t now = pc.Clock.NowMs();
  if (sp.AnyDiskpartRun && now < sp.LastDiskpartEndMs + kSimDiskpartSpacingMs) {
    sp.CloseRunSeed = sp.CloseRunSeed * 6364136223846793005ull + 1442695040888963407ull;  // a seeded LCG
    diskpart.closeRunFails = sp.CloseRunsFail || (sp.CloseRunSeed >> 33) % 100 < sp.CloseRunFailPercent;
  }
  r.ExitCode = diskpart.Run(file->second.Bytes);
  r.Output += diskpart.output;
  r.RunMs = diskpart.runMs;
  sp.AnyDiskpartRun = true;
  sp.LastDiskpartEndMs = now + (r.RunMs >= 0 ? static_cast<uint64_t>(r.RunMs) : sp.RunMs);
  return r;
}

SimChildResult RunSimAmd64Helper(const std::string& commandLine, SimPc& pc) {
  const std::string inner = HelperTargetCommandLine(UnwrapHelperCommandLine(commandLine), pc.Processes.SystemDirectory);
  const SimProgram* program = pc.ProgramFor(inner);
  if (inner.empty() || !program) return {"", os::HResultFromWin32(os::kErrorFileNotFound)};
  return (*program)(inner, pc);
}

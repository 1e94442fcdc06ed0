#include "partops/disk_part.h"

#include "disk/disk.h"
#include "disk/part_identity.h"
#include "partops/script_file.h"
#include "shell/global.h"
#include "shell/log_kv.h"
#include "shell/os_version.h"

namespace {

// The Rapid Start type line: the GUID without braces on GPT disks, the MBR
// byte on every other disk (RAW included); both forced. A partition just made
// is mounted and held open (Explorer offers to format it), and "set id"
// without override then fails with VDS_E_DEVICE_IN_USE (0x80042413);
// override dismounts it first (learn.microsoft.com/windows-server/
// administration/windows-commands/set-id).
std::string RapidStartTypeLine(int32_t partitionStyle) {
  if (partitionStyle == kPartitionStyleGpt) return "set id=" + TextBetween(disk::kRapidStartGptTypeText, "{", "}", "") + " override";
  return "set id=" + HexByteText(disk::kRapidStartMbrType).substr(2) + " override";
}

std::string SelectDisk(int32_t diskNum) { return "select disk " + LogValueText(diskNum); }

}  // namespace

void TDiskPart::BeginPartitionScript(const char* operation, int32_t diskNum, int32_t partNum) {
  LogOperation(operation, diskNum, partNum);
  DiskPartScript.push_back(SelectDisk(diskNum));
  DiskPartScript.push_back("select partition " + LogValueText(partNum));
}

uint64_t TDiskPart::CreateRapidStartPart(int32_t diskNum, uint32_t sizeInMB, bool primary, int32_t partitionStyle) {
  LogHeading("CreateRapidStartPart");
  LogKv("DiskNum", diskNum);
  LogKv("PartSizeInMB", sizeInMB);
  LogHeading(primary ? "CreateRapidStartPart => primary" : "CreateRapidStartPart => logical");
  DiskPartScript.push_back(SelectDisk(diskNum));
  DiskPartScript.push_back(std::string(primary ? "create partition primary size=" : "create partition logical size=") +
                           LogValueText(sizeInMB));
  if (!Setup.UseIo) DiskPartScript.push_back(RapidStartTypeLine(partitionStyle));
  DiskPartScript.push_back("exit");
  return CallDiskPart();
}

uint64_t TDiskPart::DeleteRapidStartPart(int32_t diskNum, int32_t partNum, int32_t partitionStyle) {
  BeginPartitionScript("DeleteRapidStartPart", diskNum, partNum);
  // diskpart deletes only known data partitions unless told otherwise: a
  // non-GPT Rapid Start partition is made an ordinary one first, a GPT one
  // is deleted with "override".
  if (!Setup.UseIo && partitionStyle != kPartitionStyleGpt) DiskPartScript.push_back("set id=07 override");
  DiskPartScript.push_back(partitionStyle == kPartitionStyleGpt ? "delete partition override" : "delete partition");
  DiskPartScript.push_back("exit");
  return CallDiskPart();
}

uint64_t TDiskPart::ShrinkPart(int32_t diskNum, int32_t partNum, uint32_t desiredInMB) {
  BeginPartitionScript("ShrinkPart", diskNum, partNum);
  // Without minimum= diskpart shrinks by whatever the volume can give, up to
  // the size, and reports success: a Recovery volume that gives 400 MB of 8 GB
  // would count as room made (learn.microsoft.com/windows-server/
  // administration/windows-commands/shrink). Exactly the size, or nothing.
  DiskPartScript.push_back("shrink desired=" + LogValueText(desiredInMB) + " minimum=" + LogValueText(desiredInMB));
  DiskPartScript.push_back("exit");
  return CallDiskPart();
}

uint64_t TDiskPart::ExtendPart(int32_t diskNum, int32_t partNum, uint32_t sizeInMB) {
  BeginPartitionScript("ExtendPart", diskNum, partNum);
  DiskPartScript.push_back(sizeInMB != 0 ? "extend size=" + LogValueText(sizeInMB) : "extend");
  DiskPartScript.push_back("exit");
  return CallDiskPart();
}

uint64_t TDiskPart::DeleteNewPartition(int32_t diskNum, int32_t partNum) {
  BeginPartitionScript("DeleteNewPartition", diskNum, partNum);
  // It was made seconds ago, is empty, and may still be mounted: forced.
  DiskPartScript.push_back("delete partition override");
  DiskPartScript.push_back("exit");
  return CallDiskPart();
}

uint64_t TDiskPart::RunLastScriptAgain() {
  if (LastScript_.empty()) return 0;
  LogHeading("RunLastScriptAgain");
  DiskPartScript = LastScript_;
  return CallDiskPart();
}

uint64_t TDiskPart::SetRapidStartPartId(int32_t diskNum, int32_t partNum, int32_t partitionStyle) {
  BeginPartitionScript("SetRapidStartPartId", diskNum, partNum);
  DiskPartScript.push_back(RapidStartTypeLine(partitionStyle));
  DiskPartScript.push_back("exit");
  return CallDiskPart();
}

// diskpart is named by its full path in the system folder: a bare name would
// be searched for in the program's own folder and the current folder first,
// and a diskpart.exe planted there would run elevated. The helper is given
// the bare name and takes it from its own (64-bit) system folder. The paths
// are quoted, so folders with blanks work.
std::string TDiskPart::DiskPartCommandLine() const {
  const std::string quotedScript = "\"" + Setup.ScriptFileName + "\"";
  if (LaunchesDiskpartThroughHelper(Setup.OsFamily))
    return "\"" + IncludeTrailingBackslash(Setup.ExePath) + "amd64.exe\" \"diskpart.exe /S " + quotedScript + "\"";
  if (Setup.SystemDirectory.empty()) return "";
  return "\"" + IncludeTrailingBackslash(Setup.SystemDirectory) + "diskpart.exe\" /S " + quotedScript;
}

uint64_t TDiskPart::CallDiskPart() {
  LogLine("CallDiskPart");
  for (const std::string& line : DiskPartScript) LogLine(line);
  const std::vector<std::string> script = std::move(DiskPartScript);
  DiskPartScript.clear();
  LastScript_ = script;

  // A run in flight may still read the file: it is left alone.
  if (Runs_.RefuseWhileBusy()) return 0;
  uint32_t error = 0;
  if (Setup.ScriptFileName.empty()) {
    const std::string folder = ScriptFolder_.Make(Setup.ScriptFolderParent, error);
    if (folder.empty()) {
      LogKv("ScriptDirError", error);
      return Runs_.StartFailed(static_cast<int32_t>(os::HResultFromWin32(error)));
    }
    Setup.ScriptFileName = IncludeTrailingBackslash(folder) + kScriptFileName;
  }
  const std::string commandLine = DiskPartCommandLine();
  OsHandle lock = WriteLockedScriptFile(Setup.ScriptFileName, ScriptFileBytes(script), error);
  if (lock.Valid() && !commandLine.empty()) return Runs_.Start(commandLine, std::move(lock));
  // Never run diskpart on a script that is not exactly ours, nor by a search;
  // the run still ends the usual way, with the failure as its result.
  if (commandLine.empty()) {
    LogLine("SystemDirectoryError: diskpart cannot be located");
    error = os::kErrorPathNotFound;
  } else {
    LogKv("ScriptFileError", error);
  }
  return Runs_.StartFailed(static_cast<int32_t>(os::HResultFromWin32(error)));
}

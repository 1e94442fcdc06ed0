// The diskpart scripts: what each builder logs and writes, the script file
// and the command line that runs it on each system family.
#include <cstdio>

#include "disk/part_identity.h"
#include "partops/execute_program.h"
#include "partops/script_file.h"
#include "shell/global.h"
#include "shell/log_kv.h"
#include "shell/os_version.h"
#include "ui/main_form.h"

namespace {

constexpr int32_t kStyleGpt = 1;

// The Rapid Start type line: the GUID without braces on GPT disks; the MBR
// byte, forced, on every other disk (RAW included).
std::string RapidStartTypeLine(int32_t partitionStyle) {
  if (partitionStyle == kStyleGpt) return "set id=" + TextBetween(disk::kRapidStartGptTypeText, "{", "}", "");
  return "set id=" + HexByteText(disk::kRapidStartMbrType).substr(2) + " override";
}

std::string SelectDisk(int32_t diskNum) { return "select disk " + LogValueText(diskNum); }

}  // namespace

// Logs an operation on one partition and starts its script by selecting it.
void TMainForm::BeginPartitionScript(const char* operation, int32_t diskNum, int32_t partNum) {
  LogOperation(operation, diskNum, partNum);
  DiskPartScript.push_back(SelectDisk(diskNum));
  DiskPartScript.push_back("select partition " + LogValueText(partNum));
}

void TMainForm::CreateRapidStartPart(int32_t diskNum, uint32_t sizeInMB, bool primary, int32_t partitionStyle) {
  LogHeading("CreateRapidStartPart");
  LogKv("DiskNum", diskNum);
  LogKv("PartSizeInMB", sizeInMB);
  LogHeading(primary ? "CreateRapidStartPart => primary" : "CreateRapidStartPart => logical");
  DiskPartScript.push_back(SelectDisk(diskNum));
  DiskPartScript.push_back(std::string(primary ? "create partition primary size=" : "create partition logical size=") +
                           LogValueText(sizeInMB));
  if (!UseIo) DiskPartScript.push_back(RapidStartTypeLine(partitionStyle));
  DiskPartScript.push_back("exit");
  CallDiskPart();
}

void TMainForm::DeleteRapidStartPart(int32_t diskNum, int32_t partNum, int32_t partitionStyle) {
  BeginPartitionScript("DeleteRapidStartPart", diskNum, partNum);
  // diskpart deletes only data partitions; a non-GPT Rapid Start partition is
  // made an ordinary one first.
  if (!UseIo && partitionStyle != kStyleGpt) DiskPartScript.push_back("set id=07 override");
  DiskPartScript.push_back("delete partition");
  DiskPartScript.push_back("exit");
  CallDiskPart();
}

void TMainForm::ShrinkPart(int32_t diskNum, int32_t partNum, uint32_t desiredInMB) {
  BeginPartitionScript("ShrinkPart", diskNum, partNum);
  DiskPartScript.push_back("shrink desired=" + LogValueText(desiredInMB));
  DiskPartScript.push_back("exit");
  CallDiskPart();
}

void TMainForm::ExtendPart(int32_t diskNum, int32_t partNum, uint32_t sizeInMB) {
  BeginPartitionScript("ExtendPart", diskNum, partNum);
  DiskPartScript.push_back(sizeInMB != 0 ? "extend size=" + LogValueText(sizeInMB) : "extend");
  DiskPartScript.push_back("exit");
  CallDiskPart();
}

void TMainForm::SetRapidStartPartId(int32_t diskNum, int32_t partNum, int32_t partitionStyle) {
  BeginPartitionScript("SetRapidStartPartId", diskNum, partNum);
  DiskPartScript.push_back(RapidStartTypeLine(partitionStyle));
  DiskPartScript.push_back("exit");
  CallDiskPart();
}

// The script path is quoted, so a temporary folder with blanks works; so is
// the helper's own path, which CreateProcess would otherwise split at a blank.
std::string TMainForm::DiskPartCommandLine() const {
  const std::string quotedScript = "\"" + ScriptFileName + "\"";
  if (LaunchesDiskpartThroughHelper(GetOsVersion().OsFamily))
    return "\"" + IncludeTrailingBackslash(ExePath) + "amd64.exe\" \"diskpart.exe /S " + quotedScript + "\"";
  return "diskpart /S " + quotedScript;
}

void TMainForm::CallDiskPart() {
  LogLine("CallDiskPart");
  for (const std::string& line : DiskPartScript) LogLine(line);

  uint32_t error = 0;
  ScriptLock_ = WriteLockedScriptFile(ScriptFileName, ScriptFileBytes(DiskPartScript), error);
  if (ScriptLock_.Valid()) {
    StartExecuteProgram(DiskPartCommandLine());
  } else {
    // Never run diskpart on a script that is not exactly ours; the run still
    // ends the usual way, with the failure as its result.
    LogKv("ScriptFileError", error);
    TExecuteProgram* runner = NewRunner();
    runner->SetFailure(static_cast<int32_t>(os::HResultFromWin32(error)));
    ExecuteStatus = 1;
    runner->Start();
  }
  DiskPartScript.clear();
}

TExecuteProgram* TMainForm::NewRunner() {
  auto* runner = new TExecuteProgram(true, &ConsoleRichEdit, &ExecuteResult);  // frees itself
  runner->OnTerminate = [this] { ExecuteProgramTerminate(); };
  return runner;
}

void TMainForm::StartExecuteProgram(const std::string& commandLine) {
  TExecuteProgram* runner = NewRunner();
  runner->SetCommand(commandLine, 0);
  ExecuteStatus = 1;
  runner->Start();
}

void TMainForm::ExecuteProgramTerminate() {
  ScriptLock_.Reset();  // diskpart is done with the script
  ExecuteStatus = 2;
  char code[9];
  std::snprintf(code, sizeof code, "%08X", static_cast<uint32_t>(ExecuteResult));
  LogLine(std::string("Error Code: ") + code);
}

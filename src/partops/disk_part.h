// The diskpart scripts: what each builder logs and writes, the script file
// and the command line that runs it on each system family.
//
// A builder logs its operation, appends its lines to DiskPartScript and runs
// the script (CallDiskPart); it returns the id of the run it started, 0 when
// none was started. None waits for diskpart: the run's end reaches the owner
// of the runs on the GUI thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "partops/run_owner.h"
#include "partops/script_file.h"

struct TDiskPartSetup {
  std::string ScriptFolderParent;  // where the script's folder is made: the Windows folder's Temp
  std::string ScriptFileName;      // that folder\DPINPUT.TXT, once the first script has made it
  std::string ExePath;          // the executable's folder, where amd64.exe sits
  std::string SystemDirectory;  // where diskpart.exe is taken from
  int32_t OsFamily = -1;
  bool UseIo = false;           // partition types are set by direct I/O, not by "set id"
};

class TDiskPart {
 public:
  TDiskPart(const TDiskPartSetup& setup, TRunOwner& runs) : Setup(setup), Runs_(runs) {}

  uint64_t CreateRapidStartPart(int32_t diskNum, uint32_t sizeInMB, bool primary, int32_t partitionStyle);
  uint64_t DeleteRapidStartPart(int32_t diskNum, int32_t partNum, int32_t partitionStyle);
  uint64_t ShrinkPart(int32_t diskNum, int32_t partNum, uint32_t desiredInMB);
  uint64_t ExtendPart(int32_t diskNum, int32_t partNum, uint32_t sizeInMB);  // 0: all adjacent free space
  uint64_t SetRapidStartPartId(int32_t diskNum, int32_t partNum, int32_t partitionStyle);
  // Removes a partition the Create workflow made and could not type.
  uint64_t DeleteNewPartition(int32_t diskNum, int32_t partNum);
  // Runs the last script once more, as it was; 0 when there is none.
  uint64_t RunLastScriptAgain();
  // Writes DiskPartScript to the script file, starts diskpart on it, clears it.
  uint64_t CallDiskPart();
  // The command line that runs the script on this system.
  std::string DiskPartCommandLine() const;

  TDiskPartSetup Setup;
  std::vector<std::string> DiskPartScript;
  // When the last run of a workflow ended, on the workflows' ms clock.
  bool AnyRunEnded = false;
  uint64_t LastRunEndMs = 0;

 private:
  // Logs an operation on one partition and starts its script by selecting it.
  void BeginPartitionScript(const char* operation, int32_t diskNum, int32_t partNum);
  TRunOwner& Runs_;
  TScriptFolder ScriptFolder_;
  std::vector<std::string> LastScript_;
};

// The simulated PC's file system, pipes, child processes and clock.
//
// Files live in a flat map by full path (compared without regard to case, as
// NTFS does); an entry can be a planted link or a directory. A child process
// is a registered program: when it is created it reads what it needs (its
// script, say) and decides its output and exit code at once, then stays
// running for its run time on the simulated clock, or until a test releases
// it, writing its output into the pipe it was given piece by piece. Reads
// from a pipe wait for output, and report the broken pipe once every write
// end, the copies that children inherited included, is closed.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/os_types.h"
#include "platform/sim/sim_core.h"

class SimPc;

struct SimFile {
  std::string Bytes;
  bool Directory = false;
  bool Link = false;       // a symbolic link or junction planted under this name
  std::string LinkTarget;  // where the link points
  uint32_t Links = 1;      // hard links to the same data (2: one more name was planted)
  std::string Owner = os::kSidAdministrators;  // the owner's SID
  std::string Sddl;        // the descriptor a directory was made with
};

// What a program does when it runs.
struct SimChildResult {
  std::string Output;
  uint32_t ExitCode = 0;
  // How long it runs on the simulated clock; -1 takes SimProcesses::RunMs.
  int64_t RunMs = -1;
};

// A program's behaviour: given its full command line and the machine.
using SimProgram = std::function<SimChildResult(const std::string& commandLine, SimPc& pc)>;

struct SimChildRun {
  std::string CommandLine;
  uint32_t Flags = 0;
  SimChildResult Result;
};

struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

// The process table: the Os calls on files, directories, pipes and child
// processes, done through the machine's core.
class SimProcesses {
 public:
  SimProcesses(SimCore& core, SimPc& pc);

  std::map<std::string, SimFile, CaseInsensitiveLess> Files;
  // The system's programs by file name without ".exe", lower case
  // ("diskpart", "amd64"); they are found in the system directory, or by
  // their own name under any full path.
  std::map<std::string, SimProgram> Programs;
  // Programs planted at one full path (a "diskpart.exe" dropped into the
  // downloads folder): a search for a bare name finds them first.
  std::map<std::string, SimProgram, CaseInsensitiveLess> PlantedPrograms;
  std::string SystemDirectory = "C:\\Windows\\system32";
  std::string WindowsDirectory = "C:\\Windows";
  // The owner a new directory gets when its descriptor names none, or names
  // one the process may not give (assumed: an elevated administrator's
  // default owner, as on Vista and later).
  std::string DefaultOwner = os::kSidAdministrators;
  // Owners a process may name in a new object's descriptor: the groups its
  // token holds as owners (an elevated administrator's).
  std::set<std::string> OwnersAllowed = {os::kSidAdministrators};
  std::string CurrentDirectory = "C:\\Users\\User\\Downloads";
  // diskpart behaviour that depends on what is on the disks:
  // disks whose partition-type changes diskpart refuses (the volume is in use)
  std::set<int> SetIdRefusedDisks;
  // this many of the next type changes are refused the same way (a volume
  // that is busy right after it was made)
  int SetIdRefusals = 0;
  // bytes a partition's volume can give up when shrunk, by (disk, partition);
  // assumed for others: a partition with a drive letter can give up half its
  // length, one without a volume nothing.
  std::map<std::pair<int, uint32_t>, uint64_t> ShrinkableBytes;
  // Failures to inject: the next commands of a kind ("create", "set",
  // "delete", "shrink", "extend") fail with these exit codes, one each, in
  // order, after the lines before them in the script have had their effect.
  std::map<std::string, std::deque<uint32_t>> CommandFailures;
  // Scripts run close together. Microsoft asks for at least 15 s between
  // consecutive diskpart scripts, or "the successive scripts might fail"
  // (learn.microsoft.com/windows-server/administration/windows-commands/
  // diskpart-scripts-and-examples). A run that starts sooner after the
  // previous run's end fails with this chance in percent (drawn from
  // CloseRunSeed), or always with CloseRunsFail.
  uint32_t CloseRunFailPercent = 0;
  bool CloseRunsFail = false;
  uint64_t CloseRunSeed = 1;
  uint64_t LastDiskpartEndMs = 0;  // when the last diskpart run ends (0: none ran)
  bool AnyDiskpartRun = false;

  // assumed: a pipe read returns at most what the pipe buffer holds at once.
  uint32_t PipeBufferBytes = 4096;
  // How long a child runs on the simulated clock, unless its program says.
  uint32_t RunMs = 0;
  // How long a run that shrinks a volume takes, if set (a shrink moves data
  // and can take many minutes).
  uint32_t ShrinkRunMs = 0;
  // Children keep running, whatever the clock says, until released.
  bool HoldChildren = false;

  // ---- what happened ----
  std::vector<SimChildRun> Runs;
  std::vector<std::string> Scripts;  // every script diskpart read, as it read it
  // Every size change diskpart made, by the partition's disk and starting offset.
  struct Resize {
    int Disk;
    uint64_t Offset;
    int64_t Bytes;  // < 0: shrunk
  };
  std::vector<Resize> Resizes;

  // Whether an open of path with this access and sharing would be allowed by
  // the opens already there (a sharing violation otherwise).
  bool OpenAllowed(const std::string& path, uint32_t access, uint32_t share) const;
  // Whether every open of path shares delete access (a delete is refused otherwise).
  bool DeleteShared(const std::string& path) const;

  // ---- time and children ----
  // Ends every running child now, whatever its run time.
  void ReleaseChildren();
  int RunningChildren() const;
  // When the next child writes or ends on its own; UINT64_MAX when none will.
  uint64_t NextChildEventMs() const;
  // The program a command line starts, searched for as CreateProcess does
  // for a name without a path, or nullptr.
  const SimProgram* ProgramFor(const std::string& commandLine) const;

  // ---- the Os calls, as SimPc passes them on ----
  os::Handle CreateFileA(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
                         uint32_t flags);
  bool GetFileInformationByHandle(os::Handle file, os::FileIdentity& identity);
  bool WriteFile(os::Handle file, const void* data, uint32_t size, uint32_t& written);
  bool ReadFile(os::Handle file, void* buffer, uint32_t size, uint32_t& read);
  bool DeleteFileA(const std::string& path);
  std::string GetSystemWindowsDirectoryA();
  bool CreateDirectoryA(const std::string& path, const std::string& sddl);
  bool RemoveDirectoryA(const std::string& path);
  bool GetFileOwnerSid(os::Handle file, std::string& sid);
  bool CreatePipe(os::Handle& readEnd, os::Handle& writeEnd, bool inheritable);
  bool SetHandleInformation(os::Handle h, uint32_t mask, uint32_t flags);
  std::string GetSystemDirectoryA();
  bool CreateProcessA(const std::string& commandLine, uint32_t flags, os::Handle stdIn, os::Handle stdOut,
                      os::Handle stdErr, os::ProcessInformation& pi);
  uint32_t WaitForSingleObject(os::Handle h, uint32_t ms);
  bool PeekNamedPipe(os::Handle pipe, uint32_t& available);
  bool GetExitCodeProcess(os::Handle process, uint32_t& code);

  // ---- for the other parts ----
  // A handle writing at the end of path (made if missing): a redirected
  // standard output.
  os::Handle OpenAtEnd(const std::string& path);
  // Delivers the children's output that is due and ends the children whose
  // time is up.
  void Progress();
  // Forgets a handle being closed.
  void Closed(os::Handle h, SimCore::Kind kind);

  struct OpenFile {
    std::string path;
    uint32_t access = 0;
    uint32_t share = 0;
    std::size_t position = 0;
  };

 private:
  struct Pipe {
    std::string buffer;
    int writeEnds = 0;  // open write ends, the copies that running children hold included
  };
  struct Child {
    std::string CommandLine;
    uint32_t ExitCode = 0;
    std::deque<std::pair<uint64_t, std::string>> Pending;  // output not yet written: (due at, text)
    int OutPipe = 0;                // where its output goes; 0: nowhere
    std::vector<int> HeldPipes;     // pipes whose write ends it inherited
    uint64_t EndMs = 0;
    bool Held = false;
    bool Ended = false;
  };
  void EndChild(Child& child);
  uint64_t NextEventLocked() const;
  // The open file behind a handle, with one of the access bits asked for
  // (0: any); nullptr, and ERROR_INVALID_HANDLE or ERROR_ACCESS_DENIED as the
  // last error, when there is none.
  OpenFile* OpenFileOf(os::Handle h, uint32_t anyOfAccess = 0);

  SimCore& core_;
  SimPc& pc_;  // the machine a child program runs on, and its console
  std::map<os::Handle, OpenFile> openFiles_;
  std::map<int, Pipe> pipes_;
  std::map<os::Handle, int> pipeEnds_;           // handle -> pipe
  std::vector<Child> children_;                  // in creation order
  std::map<os::Handle, std::size_t> processOf_;  // process handle -> child
  int nextPipe_ = 1;
};

// The first token of a command line as CreateProcess reads it: quoted, or up
// to the first blank.
std::string ProgramToken(const std::string& commandLine);

// The simulated PC's file system, pipes and child processes.
//
// Files live in a flat map by full path (compared without regard to case, as
// NTFS does); an entry can be a planted link or a directory. A child process
// is a registered program that runs to completion the moment it is created:
// it reads the files it needs, writes its whole output into the pipe it was
// given and leaves its exit code. Reads from a pipe then return that output in
// chunks and report the broken pipe once every write end is closed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/os_types.h"

class SimPc;

struct SimFile {
  std::string Bytes;
  bool Directory = false;
  bool Link = false;       // a symbolic link or junction planted under this name
  std::string LinkTarget;  // where the link points
};

// What a program did when it ran.
struct SimChildResult {
  std::string Output;
  uint32_t ExitCode = 0;
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

struct SimProcesses {
  SimProcesses();

  std::map<std::string, SimFile, CaseInsensitiveLess> Files;
  // Programs by file name without ".exe", lower case: "diskpart", "amd64".
  std::map<std::string, SimProgram> Programs;
  // diskpart behaviour that depends on what is on the disks:
  // disks whose partition-type changes diskpart refuses (the volume is in use)
  std::set<int> SetIdRefusedDisks;
  // bytes a partition's volume can give up when shrunk, by (disk, partition);
  // assumed for others: a partition with a drive letter can give up half its
  // length, one without a volume nothing.
  std::map<std::pair<int, uint32_t>, uint64_t> ShrinkableBytes;

  // assumed: a pipe read returns at most what the pipe buffer holds at once.
  uint32_t PipeBufferBytes = 4096;

  // ---- what happened ----
  std::vector<SimChildRun> Runs;
  // A read of an empty pipe whose write end is still open would never return.
  bool ReadWouldBlockForever = false;

  // ---- used by SimPc ----
  struct OpenFile {
    std::string path;
    uint32_t access = 0;
    uint32_t share = 0;
    std::size_t position = 0;
  };
  struct Pipe {
    std::string buffer;
    int writeEnds = 0;  // open write ends, the child's included while it runs
  };
  std::map<os::Handle, OpenFile> OpenFiles;
  std::map<int, Pipe> Pipes;
  std::map<os::Handle, int> PipeEnds;  // handle -> pipe
  std::map<os::Handle, uint32_t> ExitCodes;  // process handle -> exit code
  int NextPipe = 1;

  // The program a command line starts, or nullptr.
  const SimProgram* ProgramFor(const std::string& commandLine) const;
};

// The first token of a command line as CreateProcess reads it: quoted, or up
// to the first blank.
std::string ProgramToken(const std::string& commandLine);

// The simulated PC's file, pipe and process calls.
#include "platform/sim/sim_process.h"

#include <algorithm>
#include <cctype>

#include "platform/sim/sim_diskpart.h"
#include "platform/sim/sim_pc.h"

namespace {

bool IsDevicePath(const std::string& path) { return path.rfind("\\\\.\\", 0) == 0 || path.rfind("\\\\?\\", 0) == 0; }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Two opens may coexist when each one's share mode allows the other's access.
bool SharingAllows(const SimProcesses::OpenFile& open, uint32_t access, uint32_t share) {
  auto allows = [](uint32_t shareMode, uint32_t otherAccess) {
    if ((otherAccess & os::kGenericRead) && !(shareMode & os::kFileShareRead)) return false;
    if ((otherAccess & os::kGenericWrite) && !(shareMode & os::kFileShareWrite)) return false;
    return true;
  };
  return allows(open.share, access) && allows(share, open.access);
}

constexpr uint32_t kFileShareDelete = 0x4;

bool SamePath(const std::string& a, const std::string& b) {
  return !CaseInsensitiveLess()(a, b) && !CaseInsensitiveLess()(b, a);
}

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const { return Lower(a) < Lower(b); }

std::string ProgramToken(const std::string& commandLine) {
  if (!commandLine.empty() && commandLine[0] == '"') {
    const std::size_t close = commandLine.find('"', 1);
    return commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  return commandLine.substr(0, commandLine.find_first_of(" \t"));
}

SimProcesses::SimProcesses() {
  Programs["diskpart"] = RunSimDiskpart;
  Programs["amd64"] = RunSimAmd64Helper;
}

const SimProgram* SimProcesses::ProgramFor(const std::string& commandLine) const {
  std::string name = Lower(ProgramToken(commandLine));
  const std::size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) name.resize(name.size() - 4);
  auto it = Programs.find(name);
  return it == Programs.end() ? nullptr : &it->second;
}

// Device paths go to the disk driver, everything else to the file system.
os::Handle SimPc::CreateFileA(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
                              uint32_t flags) {
  if (Enter(Call::CreateFileA, path)) return os::kInvalid;
  uint32_t error = 0;
  if (IsDevicePath(path)) {
    if (!Disks.Open(path, access, share, disposition, flags, error)) {
      lastError_ = error;
      return os::kInvalid;
    }
    return NewHandle(Kind::Device, path, access);
  }

  auto it = Processes.Files.find(path);
  const bool openLinkItself = (flags & os::kFileFlagOpenReparsePoint) != 0;
  if (it != Processes.Files.end() && it->second.Link && !openLinkItself) {
    // Following a link: the open lands on its target.
    return CreateFileA(it->second.LinkTarget, access, share, disposition, flags);
  }
  if (it != Processes.Files.end() && it->second.Directory && !it->second.Link) {
    lastError_ = os::kErrorAccessDenied;
    return os::kInvalid;
  }
  for (const auto& open : Processes.OpenFiles) {
    if (!SamePath(open.second.path, path)) continue;
    if (!SharingAllows(open.second, access, share)) {
      lastError_ = os::kErrorSharingViolation;
      return os::kInvalid;
    }
  }
  if (disposition == os::kCreateNew) {
    if (it != Processes.Files.end()) {
      lastError_ = os::kErrorFileExists;
      return os::kInvalid;
    }
    Processes.Files[path] = SimFile{};
  } else if (disposition == os::kOpenExisting) {
    if (it == Processes.Files.end()) {
      lastError_ = os::kErrorFileNotFound;
      return os::kInvalid;
    }
  } else {
    lastError_ = os::kErrorInvalidParameter;  // other dispositions are not used by the program
    return os::kInvalid;
  }
  const os::Handle h = NewHandle(Kind::File, path, access);
  Processes.OpenFiles[h] = {path, access, share, 0};
  lastError_ = os::kErrorSuccess;
  return h;
}

bool SimPc::WriteFile(os::Handle file, const void* data, uint32_t size, uint32_t& written) {
  written = 0;
  if (Enter(Call::WriteFile, std::to_string(size))) return false;
  auto open = Processes.OpenFiles.find(file);
  if (open == Processes.OpenFiles.end() || !(open->second.access & os::kGenericWrite)) {
    lastError_ = open == Processes.OpenFiles.end() ? os::kErrorInvalidHandle : os::kErrorAccessDenied;
    return false;
  }
  std::string& bytes = Processes.Files[open->second.path].Bytes;
  const std::size_t at = open->second.position;
  if (bytes.size() < at + size) bytes.resize(at + size);
  bytes.replace(at, size, static_cast<const char*>(data), size);
  open->second.position += size;
  written = size;
  return true;
}

bool SimPc::ReadFile(os::Handle file, void* buffer, uint32_t size, uint32_t& read) {
  read = 0;
  if (Enter(Call::ReadFile, std::to_string(size))) return false;
  auto end = Processes.PipeEnds.find(file);
  if (end != Processes.PipeEnds.end()) {
    SimProcesses::Pipe& pipe = Processes.Pipes[end->second];
    if (pipe.buffer.empty()) {
      if (pipe.writeEnds > 0) {
        Processes.ReadWouldBlockForever = true;
        lastError_ = os::kErrorInvalidFunction;
      } else {
        lastError_ = os::kErrorBrokenPipe;
      }
      return false;
    }
    read = static_cast<uint32_t>(std::min<std::size_t>({size, pipe.buffer.size(), Processes.PipeBufferBytes}));
    pipe.buffer.copy(static_cast<char*>(buffer), read);
    pipe.buffer.erase(0, read);
    return true;
  }
  auto open = Processes.OpenFiles.find(file);
  if (open == Processes.OpenFiles.end() || !(open->second.access & os::kGenericRead)) {
    lastError_ = open == Processes.OpenFiles.end() ? os::kErrorInvalidHandle : os::kErrorAccessDenied;
    return false;
  }
  const std::string& bytes = Processes.Files[open->second.path].Bytes;
  const std::size_t at = std::min(open->second.position, bytes.size());
  read = static_cast<uint32_t>(std::min<std::size_t>(size, bytes.size() - at));
  bytes.copy(static_cast<char*>(buffer), read, at);
  open->second.position = at + read;
  return true;
}

// DeleteFileA removes a link itself, never its target; it refuses
// directories and files that are open without FILE_SHARE_DELETE.
bool SimPc::DeleteFileA(const std::string& path) {
  if (Enter(Call::DeleteFileA, path)) return false;
  auto it = Processes.Files.find(path);
  if (it == Processes.Files.end()) {
    lastError_ = os::kErrorFileNotFound;
    return false;
  }
  if (it->second.Directory) {
    lastError_ = os::kErrorAccessDenied;
    return false;
  }
  for (const auto& open : Processes.OpenFiles) {
    if (SamePath(open.second.path, path) && !(open.second.share & kFileShareDelete)) {
      lastError_ = os::kErrorSharingViolation;
      return false;
    }
  }
  Processes.Files.erase(it);
  return true;
}

bool SimPc::CreatePipe(os::Handle& readEnd, os::Handle& writeEnd) {
  if (Enter(Call::CreatePipe)) return false;
  const int id = Processes.NextPipe++;
  Processes.Pipes[id].writeEnds = 1;
  readEnd = NewHandle(Kind::PipeRead, "pipe");
  writeEnd = NewHandle(Kind::PipeWrite, "pipe");
  Processes.PipeEnds[readEnd] = id;
  Processes.PipeEnds[writeEnd] = id;
  return true;
}

bool SimPc::CreateProcessA(const std::string& commandLine, uint32_t flags, os::Handle, os::Handle stdOut,
                           os::Handle stdErr, os::ProcessInformation& pi) {
  if (Enter(Call::CreateProcessA, commandLine)) return false;
  const SimProgram* program = Processes.ProgramFor(commandLine);
  if (commandLine.empty() || !program) {
    lastError_ = os::kErrorFileNotFound;
    return false;
  }
  // The child runs to its end right away; its output goes where its
  // standard output and error point.
  const SimChildResult result = (*program)(commandLine, *this);
  Processes.Runs.push_back({commandLine, flags, result});
  for (os::Handle out : {stdOut, stdErr}) {
    auto end = Processes.PipeEnds.find(out);
    if (end != Processes.PipeEnds.end()) {
      Processes.Pipes[end->second].buffer += result.Output;
      break;
    }
  }
  pi.hProcess = NewHandle(Kind::Process, commandLine);
  pi.hThread = NewHandle(Kind::Thread, commandLine);
  pi.dwProcessId = 0x1000 + static_cast<uint32_t>(Processes.Runs.size()) * 4;
  pi.dwThreadId = pi.dwProcessId + 2;
  Processes.ExitCodes[pi.hProcess] = result.ExitCode;
  return true;
}

uint32_t SimPc::WaitForSingleObject(os::Handle h, uint32_t ms) {
  if (Enter(Call::WaitForSingleObject, std::to_string(ms))) return os::kWaitFailed;
  if (!Find(h, Kind::Process)) {
    lastError_ = os::kErrorInvalidHandle;
    return os::kWaitFailed;
  }
  return os::kWaitObject0;  // simulated children have always ended
}

bool SimPc::GetExitCodeProcess(os::Handle process, uint32_t& code) {
  if (Enter(Call::GetExitCodeProcess)) return false;
  auto it = Processes.ExitCodes.find(process);
  if (it == Processes.ExitCodes.end()) {
    lastError_ = os::kErrorInvalidHandle;
    return false;
  }
  code = it->second;
  return true;
}

void SimPc::ForgetHandle(os::Handle h, Kind kind) {
  if (kind == Kind::File) Processes.OpenFiles.erase(h);
  if (kind == Kind::Process) Processes.ExitCodes.erase(h);
  if (kind == Kind::PipeRead || kind == Kind::PipeWrite) {
    auto end = Processes.PipeEnds.find(h);
    if (end != Processes.PipeEnds.end()) {
      if (kind == Kind::PipeWrite) --Processes.Pipes[end->second].writeEnds;
      Processes.PipeEnds.erase(end);
    }
  }
}

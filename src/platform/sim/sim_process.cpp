// The simulated PC's file, pipe and process calls.
#include "platform/sim/sim_process.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>

#include "platform/sim/sim_diskpart.h"
#include "platform/sim/sim_pc.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Two opens may coexist when each one's share mode allows the other's access.
bool SharingAllows(const SimProcesses::OpenFile& open, uint32_t access, uint32_t share) {
  auto allows = [](uint32_t shareMode, uint32_t otherAccess) {
    if ((otherAccess & os::kGenericRead) && !(shareMode & os::kFileShareRead)) return false;
    // Appending is writing, for sharing as for everything else.
    if ((otherAccess & (os::kGenericWrite | os::kFileAppendData)) && !(shareMode & os::kFileShareWrite)) return false;
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

bool SimProcesses::DeleteShared(const std::string& path) const {
  for (const auto& open : openFiles_)
    if (SamePath(open.second.path, path) && !(open.second.share & kFileShareDelete)) return false;
  return true;
}

bool SimProcesses::OpenAllowed(const std::string& path, uint32_t access, uint32_t share) const {
  for (const auto& open : openFiles_)
    if (SamePath(open.second.path, path) && !SharingAllows(open.second, access, share)) return false;
  return true;
}

std::string ProgramToken(const std::string& commandLine) {
  if (!commandLine.empty() && commandLine[0] == '"') {
    const std::size_t close = commandLine.find('"', 1);
    return commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  return commandLine.substr(0, commandLine.find_first_of(" \t"));
}

SimProcesses::SimProcesses(SimCore& core, SimPc& pc) : core_(core), pc_(pc) {
  Programs["diskpart"] = RunSimDiskpart;
  Programs["amd64"] = RunSimAmd64Helper;
}

namespace {

// "C:\dir\name.exe" -> ("c:\dir", "name"); a name without a path has an empty folder.
std::pair<std::string, std::string> SplitProgramPath(const std::string& token) {
  std::string name = Lower(token);
  std::string folder;
  const std::size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) {
    folder = name.substr(0, slash);
    name.erase(0, slash + 1);
  }
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) name.resize(name.size() - 4);
  return {folder, name};
}

}  // namespace

// CreateProcess with no application name looks for a bare program name in the
// executable's folder, the current folder, then the system folders; a name
// with a path is taken as it stands.
const SimProgram* SimProcesses::ProgramFor(const std::string& commandLine) const {
  const std::string token = ProgramToken(commandLine);
  const auto [folder, name] = SplitProgramPath(token);
  if (name.empty()) return nullptr;
  auto planted = [this, &name = name](const std::string& dir) -> const SimProgram* {
    auto it = PlantedPrograms.find(dir + "\\" + name + ".exe");
    return it == PlantedPrograms.end() ? nullptr : &it->second;
  };
  auto system = Programs.find(name);
  const SimProgram* installed = system == Programs.end() ? nullptr : &system->second;
  if (!folder.empty()) {
    if (const SimProgram* p = planted(folder)) return p;
    return installed;
  }
  const std::size_t slash = pc_.ModulePath.find_last_of('\\');
  const std::string exeDir = slash == std::string::npos ? std::string() : pc_.ModulePath.substr(0, slash);
  for (const std::string& dir : {exeDir, CurrentDirectory})
    if (const SimProgram* p = planted(Lower(dir))) return p;
  return installed;
}

os::Handle SimProcesses::CreateFileA(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
                              uint32_t flags) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::CreateFileA, path)) return os::kInvalid;
  auto it = Files.find(path);
  const bool openLinkItself = (flags & os::kFileFlagOpenReparsePoint) != 0;
  if (it != Files.end() && it->second.Link && !openLinkItself) {
    // Following a link: the open lands on its target.
    return pc_.CreateFileA(it->second.LinkTarget, access, share, disposition, flags);
  }
  // A directory opens only with FILE_FLAG_BACKUP_SEMANTICS ("you must set
  // this flag to obtain a handle to a directory",
  // learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-createfilea),
  // and only as it is.
  if (it != Files.end() && it->second.Directory && !it->second.Link &&
      (!(flags & os::kFileFlagBackupSemantics) || disposition != os::kOpenExisting)) {
    core_.LastError() = os::kErrorAccessDenied;
    return os::kInvalid;
  }
  if (!OpenAllowed(path, access, share)) {
    core_.LastError() = os::kErrorSharingViolation;
    return os::kInvalid;
  }
  bool existed = false;
  if (disposition == os::kCreateNew) {
    if (it != Files.end()) {
      core_.LastError() = os::kErrorFileExists;
      return os::kInvalid;
    }
    Files[path] = SimFile{};
  } else if (disposition == os::kOpenAlways) {
    existed = it != Files.end();
    if (!existed) Files[path] = SimFile{};
  } else if (disposition == os::kOpenExisting) {
    if (it == Files.end()) {
      core_.LastError() = os::kErrorFileNotFound;
      return os::kInvalid;
    }
  } else {
    core_.LastError() = os::kErrorInvalidParameter;  // other dispositions are not used by the program
    return os::kInvalid;
  }
  const os::Handle h = core_.NewHandle(SimCore::Kind::File, path, access);
  openFiles_[h] = {path, access, share, 0};
  // OPEN_ALWAYS tells that the file was there already.
  core_.LastError() = existed ? os::kErrorAlreadyExists : os::kErrorSuccess;
  return h;
}

SimProcesses::OpenFile* SimProcesses::OpenFileOf(os::Handle h, uint32_t anyOfAccess) {
  const auto open = openFiles_.find(h);
  if (open == openFiles_.end()) {
    core_.LastError() = os::kErrorInvalidHandle;
    return nullptr;
  }
  if (anyOfAccess != 0 && !(open->second.access & anyOfAccess)) {
    core_.LastError() = os::kErrorAccessDenied;
    return nullptr;
  }
  return &open->second;
}

os::Handle SimProcesses::OpenAtEnd(const std::string& path) {
  const os::Handle h = core_.NewHandle(SimCore::Kind::File, path, os::kGenericWrite);
  std::string& bytes = Files[path].Bytes;
  openFiles_[h] = {path, os::kGenericWrite, os::kFileShareRead | os::kFileShareWrite, bytes.size()};
  return h;
}

bool SimProcesses::GetFileInformationByHandle(os::Handle file, os::FileIdentity& identity) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::GetFileInformationByHandle)) return false;
  const OpenFile* open = OpenFileOf(file);
  if (!open) return false;
  const SimFile& f = Files[open->path];
  // assumed: a plain file reports FILE_ATTRIBUTE_ARCHIVE, as NTFS sets it on
  // every new file; a link opened itself reports the reparse point.
  identity.Attributes = f.Link ? os::kFileAttributeReparsePoint : f.Directory ? os::kFileAttributeDirectory : 0x20;
  identity.NumberOfLinks = f.Links;
  return true;
}

bool SimProcesses::WriteFile(os::Handle file, const void* data, uint32_t size, uint32_t& written) {
  const auto lock = core_.Lock();
  written = 0;
  if (core_.Enter(Call::WriteFile, std::to_string(size))) return false;
  if (core_.Find(file, SimCore::Kind::Console)) {
    // WriteFile on a console handle writes to the console, as WriteConsoleA.
    pc_.ConsoleWrites.push_back({std::string(static_cast<const char*>(data), size), pc_.ConsoleAttr});
    written = size;
    return true;
  }
  OpenFile* open = OpenFileOf(file, os::kGenericWrite | os::kFileAppendData);
  if (!open) return false;
  std::string& bytes = Files[open->path].Bytes;
  // A handle with append access only writes at the end, whatever its position.
  if (!(open->access & os::kGenericWrite)) open->position = bytes.size();
  const std::size_t at = open->position;
  if (bytes.size() < at + size) bytes.resize(at + size);
  bytes.replace(at, size, static_cast<const char*>(data), size);
  open->position += size;
  written = size;
  return true;
}

bool SimProcesses::ReadFile(os::Handle file, void* buffer, uint32_t size, uint32_t& read) {
  auto lock = core_.Lock();
  read = 0;
  if (core_.Enter(Call::ReadFile, std::to_string(size))) return false;
  auto end = pipeEnds_.find(file);
  if (end != pipeEnds_.end()) {
    const int id = end->second;
    // A read of an empty pipe waits for a writer, or for the last write end to close.
    while (pipes_[id].buffer.empty() && pipes_[id].writeEnds > 0) {
      if (!core_.Find(file, SimCore::Kind::PipeRead)) {
        core_.LastError() = os::kErrorInvalidHandle;
        return false;
      }
      core_.WaitForChange(lock, NextEventLocked());
    }
    SimProcesses::Pipe& pipe = pipes_[id];
    if (pipe.buffer.empty()) {
      core_.LastError() = os::kErrorBrokenPipe;
      return false;
    }
    read = static_cast<uint32_t>(std::min<std::size_t>({size, pipe.buffer.size(), PipeBufferBytes}));
    pipe.buffer.copy(static_cast<char*>(buffer), read);
    pipe.buffer.erase(0, read);
    return true;
  }
  OpenFile* open = OpenFileOf(file, os::kGenericRead);
  if (!open) return false;
  const std::string& bytes = Files[open->path].Bytes;
  const std::size_t at = std::min(open->position, bytes.size());
  read = static_cast<uint32_t>(std::min<std::size_t>(size, bytes.size() - at));
  bytes.copy(static_cast<char*>(buffer), read, at);
  open->position = at + read;
  return true;
}

// DeleteFileA removes a link itself, never its target; it refuses
// directories and files that are open without FILE_SHARE_DELETE.
bool SimProcesses::DeleteFileA(const std::string& path) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::DeleteFileA, path)) return false;
  auto it = Files.find(path);
  if (it == Files.end()) {
    core_.LastError() = os::kErrorFileNotFound;
    return false;
  }
  if (it->second.Directory) {
    core_.LastError() = os::kErrorAccessDenied;
    return false;
  }
  if (!DeleteShared(path)) {
    core_.LastError() = os::kErrorSharingViolation;
    return false;
  }
  Files.erase(it);
  return true;
}

std::string SimProcesses::GetSystemWindowsDirectoryA() {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::GetSystemWindowsDirectoryA)) return "";
  return WindowsDirectory;
}

namespace {

// The owner an SDDL text names ("O:BA", "O:SY" or "O:S-1-..."); empty for none.
std::string OwnerInSddl(const std::string& sddl) {
  if (sddl.compare(0, 2, "O:") != 0) return "";
  if (sddl.compare(2, 2, "S-") == 0) {
    const std::size_t end = sddl.find_first_not_of("0123456789-", 4);
    return sddl.substr(2, end == std::string::npos ? std::string::npos : end - 2);
  }
  const std::string alias = sddl.substr(2, 2);
  if (alias == "BA") return os::kSidAdministrators;
  if (alias == "SY") return os::kSidLocalSystem;
  return alias;
}

bool Below(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() + 1 && SamePath(path.substr(0, folder.size()), folder) && path[folder.size()] == '\\';
}

}  // namespace

// The descriptor's owner is taken when the token may give it, as Windows
// does (learn.microsoft.com/windows/win32/secauthz/ownership-of-new-objects);
// a parent folder is assumed to be there.
bool SimProcesses::CreateDirectoryA(const std::string& path, const std::string& sddl) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::CreateDirectoryA, path)) return false;
  if (Files.count(path)) {
    core_.LastError() = os::kErrorAlreadyExists;
    return false;
  }
  const std::string owner = OwnerInSddl(sddl);
  if (!owner.empty() && !OwnersAllowed.count(owner)) {
    core_.LastError() = os::kErrorInvalidOwner;
    return false;
  }
  SimFile folder;
  folder.Directory = true;
  folder.Owner = owner.empty() ? DefaultOwner : owner;
  folder.Sddl = sddl;
  Files[path] = folder;
  core_.LastError() = os::kErrorSuccess;
  return true;
}

// RemoveDirectoryA removes a junction itself, never what it points to, and
// refuses a folder with anything in it
// (learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-removedirectorya);
// assumed: a file gives ERROR_DIRECTORY, and a folder open without
// FILE_SHARE_DELETE a sharing violation, as DeleteFileA's files do.
bool SimProcesses::RemoveDirectoryA(const std::string& path) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::RemoveDirectoryA, path)) return false;
  auto it = Files.find(path);
  if (it == Files.end()) {
    core_.LastError() = os::kErrorFileNotFound;
    return false;
  }
  if (!it->second.Directory && !it->second.Link) {
    core_.LastError() = os::kErrorDirectory;
    return false;
  }
  if (!it->second.Link) {
    for (const auto& [other, file] : Files) {
      if (Below(other, path)) {
        core_.LastError() = os::kErrorDirNotEmpty;
        return false;
      }
    }
  }
  if (!DeleteShared(path)) {
    core_.LastError() = os::kErrorSharingViolation;
    return false;
  }
  Files.erase(it);
  return true;
}

bool SimProcesses::GetFileOwnerSid(os::Handle file, std::string& sid) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::GetFileOwnerSid)) return false;
  const OpenFile* open = OpenFileOf(file);
  if (!open) return false;
  sid = Files[open->path].Owner;
  return true;
}

bool SimProcesses::CreatePipe(os::Handle& readEnd, os::Handle& writeEnd, bool inheritable) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::CreatePipe)) return false;
  const int id = nextPipe_++;
  pipes_[id].writeEnds = 1;
  readEnd = core_.NewHandle(SimCore::Kind::PipeRead, "pipe");
  writeEnd = core_.NewHandle(SimCore::Kind::PipeWrite, "pipe");
  core_.FindAny(readEnd)->inheritable = inheritable;
  core_.FindAny(writeEnd)->inheritable = inheritable;
  pipeEnds_[readEnd] = id;
  pipeEnds_[writeEnd] = id;
  return true;
}

bool SimProcesses::SetHandleInformation(os::Handle h, uint32_t mask, uint32_t flags) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::SetHandleInformation, std::to_string(flags))) return false;
  SimCore::Object* object = core_.FindAny(h);
  if (!object) {
    core_.LastError() = os::kErrorInvalidHandle;
    return false;
  }
  if (mask & os::kHandleFlagInherit) object->inheritable = (flags & os::kHandleFlagInherit) != 0;
  return true;
}

std::string SimProcesses::GetSystemDirectoryA() {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::GetSystemDirectoryA)) return "";
  return SystemDirectory;
}

bool SimProcesses::CreateProcessA(const std::string& commandLine, uint32_t flags, os::Handle, os::Handle stdOut,
                           os::Handle stdErr, os::ProcessInformation& pi) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::CreateProcessA, commandLine)) return false;
  const SimProgram* program = ProgramFor(commandLine);
  if (commandLine.empty() || !program) {
    core_.LastError() = os::kErrorFileNotFound;
    return false;
  }
  // The program decides what it does now (it reads its input at start); its
  // output and its end then take their time.
  const SimChildResult result = (*program)(commandLine, pc_);
  if (core_.KeepRecords) Runs.push_back({commandLine, flags, result});

  Child child;
  child.CommandLine = commandLine;
  child.ExitCode = result.ExitCode;
  const uint64_t now = core_.Clock.NowMs();
  const uint64_t runMs = result.RunMs >= 0 ? static_cast<uint64_t>(result.RunMs) : RunMs;
  child.EndMs = now + runMs;
  child.Held = HoldChildren;
  // The child inherits every inheritable handle (the call always passes
  // bInheritHandles TRUE); the write ends among them keep their pipes open
  // while it runs. assumed: a standard handle that is not inheritable is
  // useless to the child, so what it writes there is lost.
  for (const auto& [h, object] : core_.Handles()) {
    if (object.kind != SimCore::Kind::PipeWrite || !object.inheritable) continue;
    const int pipe = pipeEnds_[h];
    ++pipes_[pipe].writeEnds;
    child.HeldPipes.push_back(pipe);
    if ((h == stdOut || h == stdErr) && child.OutPipe == 0) child.OutPipe = pipe;
  }
  // Output comes line by line, spread over the run time.
  std::vector<std::string> pieces;
  for (std::size_t at = 0; at < result.Output.size();) {
    const std::size_t nl = result.Output.find('\n', at);
    const std::size_t next = nl == std::string::npos ? result.Output.size() : nl + 1;
    pieces.push_back(result.Output.substr(at, next - at));
    at = next;
  }
  for (std::size_t i = 0; i < pieces.size(); ++i)
    child.Pending.emplace_back(now + runMs * i / pieces.size(), pieces[i]);
  children_.push_back(std::move(child));

  pi.hProcess = core_.NewHandle(SimCore::Kind::Process, commandLine);
  pi.hThread = core_.NewHandle(SimCore::Kind::Thread, commandLine);
  pi.dwProcessId = 0x1000 + static_cast<uint32_t>(children_.size()) * 4;
  pi.dwThreadId = pi.dwProcessId + 2;
  processOf_[pi.hProcess] = children_.size() - 1;
  Progress();
  core_.Notify();
  return true;
}

void SimProcesses::EndChild(Child& child) {
  for (auto& piece : child.Pending)
    if (child.OutPipe) pipes_[child.OutPipe].buffer += piece.second;
  child.Pending.clear();
  for (int pipe : child.HeldPipes) --pipes_[pipe].writeEnds;
  child.HeldPipes.clear();
  child.Ended = true;
}

void SimProcesses::Progress() {
  const uint64_t now = core_.Clock.NowMs();
  for (Child& child : children_) {
    if (child.Ended) continue;
    while (!child.Pending.empty() && child.Pending.front().first <= now) {
      if (child.OutPipe) pipes_[child.OutPipe].buffer += child.Pending.front().second;
      child.Pending.pop_front();
    }
    if (!child.Held && child.EndMs <= now) EndChild(child);
  }
}

uint64_t SimProcesses::NextEventLocked() const {
  uint64_t next = UINT64_MAX;
  for (const Child& child : children_) {
    if (child.Ended) continue;
    if (!child.Pending.empty()) next = std::min(next, child.Pending.front().first);
    if (!child.Held) next = std::min(next, child.EndMs);
  }
  return next;
}

uint64_t SimProcesses::NextChildEventMs() const {
  const auto lock = core_.Lock();
  return NextEventLocked();
}

void SimProcesses::ReleaseChildren() {
  const auto lock = core_.Lock();
  for (Child& child : children_)
    if (!child.Ended) EndChild(child);
  core_.Notify();
}

int SimProcesses::RunningChildren() const {
  const auto lock = core_.Lock();
  return static_cast<int>(std::count_if(children_.begin(), children_.end(),
                                        [](const Child& c) { return !c.Ended; }));
}

// A wait on a running child blocks until it ends or the time is up; on the
// hand-moved clock, time passes only when a test moves it.
uint32_t SimProcesses::WaitForSingleObject(os::Handle h, uint32_t ms) {
  auto lock = core_.Lock();
  if (core_.Enter(Call::WaitForSingleObject, std::to_string(ms))) return os::kWaitFailed;
  auto it = processOf_.find(h);
  if (!core_.Find(h, SimCore::Kind::Process) || it == processOf_.end()) {
    core_.LastError() = os::kErrorInvalidHandle;
    return os::kWaitFailed;
  }
  const std::size_t child = it->second;
  const uint64_t deadline = ms == os::kInfinite ? UINT64_MAX : core_.Clock.NowMs() + ms;
  while (!children_[child].Ended) {
    if (core_.Clock.NowMs() >= deadline) return os::kWaitTimeout;
    core_.WaitForChange(lock, std::min(deadline, NextEventLocked()));
  }
  return os::kWaitObject0;
}

bool SimProcesses::PeekNamedPipe(os::Handle pipe, uint32_t& available) {
  const auto lock = core_.Lock();
  available = 0;
  if (core_.Enter(Call::PeekNamedPipe)) return false;
  auto end = pipeEnds_.find(pipe);
  if (end == pipeEnds_.end()) {
    core_.LastError() = os::kErrorInvalidHandle;
    return false;
  }
  available = static_cast<uint32_t>(pipes_[end->second].buffer.size());
  return true;
}

bool SimProcesses::GetExitCodeProcess(os::Handle process, uint32_t& code) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::GetExitCodeProcess)) return false;
  auto it = processOf_.find(process);
  if (!core_.Find(process, SimCore::Kind::Process) || it == processOf_.end()) {
    core_.LastError() = os::kErrorInvalidHandle;
    return false;
  }
  const Child& child = children_[it->second];
  code = child.Ended ? child.ExitCode : os::kStillActive;
  return true;
}

void SimProcesses::Closed(os::Handle h, SimCore::Kind kind) {
  if (kind == SimCore::Kind::File) openFiles_.erase(h);
  if (kind == SimCore::Kind::Process) processOf_.erase(h);
  if (kind == SimCore::Kind::PipeRead || kind == SimCore::Kind::PipeWrite) {
    auto end = pipeEnds_.find(h);
    if (end != pipeEnds_.end()) {
      if (kind == SimCore::Kind::PipeWrite) --pipes_[end->second].writeEnds;
      pipeEnds_.erase(end);
    }
  }
  core_.Notify();
}

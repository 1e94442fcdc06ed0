// The simulated PC's file, pipe and process calls.
#include "platform/sim/sim_process.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>

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
  for (const auto& open : OpenFiles)
    if (SamePath(open.second.path, path) && !(open.second.share & kFileShareDelete)) return false;
  return true;
}

bool SimProcesses::OpenAllowed(const std::string& path, uint32_t access, uint32_t share) const {
  for (const auto& open : OpenFiles)
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

SimProcesses::SimProcesses() {
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
const SimProgram* SimPc::ProgramFor(const std::string& commandLine) const {
  const std::string token = ProgramToken(commandLine);
  const auto [folder, name] = SplitProgramPath(token);
  if (name.empty()) return nullptr;
  auto planted = [this, &name = name](const std::string& dir) -> const SimProgram* {
    auto it = Processes.PlantedPrograms.find(dir + "\\" + name + ".exe");
    return it == Processes.PlantedPrograms.end() ? nullptr : &it->second;
  };
  auto system = Processes.Programs.find(name);
  const SimProgram* installed = system == Processes.Programs.end() ? nullptr : &system->second;
  if (!folder.empty()) {
    if (const SimProgram* p = planted(folder)) return p;
    return installed;
  }
  const std::size_t slash = ModulePath.find_last_of('\\');
  const std::string exeDir = slash == std::string::npos ? std::string() : ModulePath.substr(0, slash);
  for (const std::string& dir : {exeDir, Processes.CurrentDirectory})
    if (const SimProgram* p = planted(Lower(dir))) return p;
  return installed;
}

// Device paths go to the disk driver, everything else to the file system.
os::Handle SimPc::CreateFileA(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
                              uint32_t flags) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::CreateFileA, path)) return os::kInvalid;
  uint32_t error = 0;
  if (IsDevicePath(path)) {
    if (!Disks.Open(path, access, share, disposition, flags, error)) {
      LastError() = error;
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
  // A directory opens only with FILE_FLAG_BACKUP_SEMANTICS ("you must set
  // this flag to obtain a handle to a directory",
  // learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-createfilea),
  // and only as it is.
  if (it != Processes.Files.end() && it->second.Directory && !it->second.Link &&
      (!(flags & os::kFileFlagBackupSemantics) || disposition != os::kOpenExisting)) {
    LastError() = os::kErrorAccessDenied;
    return os::kInvalid;
  }
  if (!Processes.OpenAllowed(path, access, share)) {
    LastError() = os::kErrorSharingViolation;
    return os::kInvalid;
  }
  bool existed = false;
  if (disposition == os::kCreateNew) {
    if (it != Processes.Files.end()) {
      LastError() = os::kErrorFileExists;
      return os::kInvalid;
    }
    Processes.Files[path] = SimFile{};
  } else if (disposition == os::kOpenAlways) {
    existed = it != Processes.Files.end();
    if (!existed) Processes.Files[path] = SimFile{};
  } else if (disposition == os::kOpenExisting) {
    if (it == Processes.Files.end()) {
      LastError() = os::kErrorFileNotFound;
      return os::kInvalid;
    }
  } else {
    LastError() = os::kErrorInvalidParameter;  // other dispositions are not used by the program
    return os::kInvalid;
  }
  const os::Handle h = NewHandle(Kind::File, path, access);
  Processes.OpenFiles[h] = {path, access, share, 0};
  // OPEN_ALWAYS tells that the file was there already.
  LastError() = existed ? os::kErrorAlreadyExists : os::kErrorSuccess;
  return h;
}

bool SimPc::GetFileInformationByHandle(os::Handle file, os::FileIdentity& identity) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::GetFileInformationByHandle)) return false;
  auto open = Processes.OpenFiles.find(file);
  if (open == Processes.OpenFiles.end()) {
    LastError() = os::kErrorInvalidHandle;
    return false;
  }
  const SimFile& f = Processes.Files[open->second.path];
  // assumed: a plain file reports FILE_ATTRIBUTE_ARCHIVE, as NTFS sets it on
  // every new file; a link opened itself reports the reparse point.
  identity.Attributes = f.Link ? os::kFileAttributeReparsePoint : f.Directory ? os::kFileAttributeDirectory : 0x20;
  identity.NumberOfLinks = f.Links;
  return true;
}

bool SimPc::WriteFile(os::Handle file, const void* data, uint32_t size, uint32_t& written) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  written = 0;
  if (Enter(Call::WriteFile, std::to_string(size))) return false;
  if (Find(file, Kind::Console)) {
    // WriteFile on a console handle writes to the console, as WriteConsoleA.
    ConsoleWrites.push_back({std::string(static_cast<const char*>(data), size), ConsoleAttr});
    written = size;
    return true;
  }
  auto open = Processes.OpenFiles.find(file);
  const uint32_t canWrite = os::kGenericWrite | os::kFileAppendData;
  if (open == Processes.OpenFiles.end() || !(open->second.access & canWrite)) {
    LastError() = open == Processes.OpenFiles.end() ? os::kErrorInvalidHandle : os::kErrorAccessDenied;
    return false;
  }
  std::string& bytes = Processes.Files[open->second.path].Bytes;
  // A handle with append access only writes at the end, whatever its position.
  if (!(open->second.access & os::kGenericWrite)) open->second.position = bytes.size();
  const std::size_t at = open->second.position;
  if (bytes.size() < at + size) bytes.resize(at + size);
  bytes.replace(at, size, static_cast<const char*>(data), size);
  open->second.position += size;
  written = size;
  return true;
}

bool SimPc::ReadFile(os::Handle file, void* buffer, uint32_t size, uint32_t& read) {
  std::unique_lock<std::recursive_mutex> lock(mutex_);
  read = 0;
  if (Enter(Call::ReadFile, std::to_string(size))) return false;
  auto end = Processes.PipeEnds.find(file);
  if (end != Processes.PipeEnds.end()) {
    const int id = end->second;
    // A read of an empty pipe waits for a writer, or for the last write end to close.
    while (Processes.Pipes[id].buffer.empty() && Processes.Pipes[id].writeEnds > 0) {
      if (!Find(file, Kind::PipeRead)) {
        LastError() = os::kErrorInvalidHandle;
        return false;
      }
      WaitForChange(lock, NextEventLocked());
    }
    SimProcesses::Pipe& pipe = Processes.Pipes[id];
    if (pipe.buffer.empty()) {
      LastError() = os::kErrorBrokenPipe;
      return false;
    }
    read = static_cast<uint32_t>(std::min<std::size_t>({size, pipe.buffer.size(), Processes.PipeBufferBytes}));
    pipe.buffer.copy(static_cast<char*>(buffer), read);
    pipe.buffer.erase(0, read);
    return true;
  }
  auto open = Processes.OpenFiles.find(file);
  if (open == Processes.OpenFiles.end() || !(open->second.access & os::kGenericRead)) {
    LastError() = open == Processes.OpenFiles.end() ? os::kErrorInvalidHandle : os::kErrorAccessDenied;
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
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::DeleteFileA, path)) return false;
  auto it = Processes.Files.find(path);
  if (it == Processes.Files.end()) {
    LastError() = os::kErrorFileNotFound;
    return false;
  }
  if (it->second.Directory) {
    LastError() = os::kErrorAccessDenied;
    return false;
  }
  if (!Processes.DeleteShared(path)) {
    LastError() = os::kErrorSharingViolation;
    return false;
  }
  Processes.Files.erase(it);
  return true;
}

std::string SimPc::GetSystemWindowsDirectoryA() {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::GetSystemWindowsDirectoryA)) return "";
  return Processes.WindowsDirectory;
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
bool SimPc::CreateDirectoryA(const std::string& path, const std::string& sddl) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::CreateDirectoryA, path)) return false;
  if (Processes.Files.count(path)) {
    LastError() = os::kErrorAlreadyExists;
    return false;
  }
  const std::string owner = OwnerInSddl(sddl);
  if (!owner.empty() && !Processes.OwnersAllowed.count(owner)) {
    LastError() = os::kErrorInvalidOwner;
    return false;
  }
  SimFile folder;
  folder.Directory = true;
  folder.Owner = owner.empty() ? Processes.DefaultOwner : owner;
  folder.Sddl = sddl;
  Processes.Files[path] = folder;
  LastError() = os::kErrorSuccess;
  return true;
}

// RemoveDirectoryA removes a junction itself, never what it points to, and
// refuses a folder with anything in it
// (learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-removedirectorya);
// assumed: a file gives ERROR_DIRECTORY, and a folder open without
// FILE_SHARE_DELETE a sharing violation, as DeleteFileA's files do.
bool SimPc::RemoveDirectoryA(const std::string& path) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::RemoveDirectoryA, path)) return false;
  auto it = Processes.Files.find(path);
  if (it == Processes.Files.end()) {
    LastError() = os::kErrorFileNotFound;
    return false;
  }
  if (!it->second.Directory && !it->second.Link) {
    LastError() = os::kErrorDirectory;
    return false;
  }
  if (!it->second.Link) {
    for (const auto& [other, file] : Processes.Files) {
      if (Below(other, path)) {
        LastError() = os::kErrorDirNotEmpty;
        return false;
      }
    }
  }
  if (!Processes.DeleteShared(path)) {
    LastError() = os::kErrorSharingViolation;
    return false;
  }
  Processes.Files.erase(it);
  return true;
}

bool SimPc::GetFileOwnerSid(os::Handle file, std::string& sid) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::GetFileOwnerSid)) return false;
  auto open = Processes.OpenFiles.find(file);
  if (open == Processes.OpenFiles.end()) {
    LastError() = os::kErrorInvalidHandle;
    return false;
  }
  sid = Processes.Files[open->second.path].Owner;
  return true;
}

bool SimPc::CreatePipe(os::Handle& readEnd, os::Handle& writeEnd, bool inheritable) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::CreatePipe)) return false;
  const int id = Processes.NextPipe++;
  Processes.Pipes[id].writeEnds = 1;
  readEnd = NewHandle(Kind::PipeRead, "pipe");
  writeEnd = NewHandle(Kind::PipeWrite, "pipe");
  handles_[readEnd].inheritable = inheritable;
  handles_[writeEnd].inheritable = inheritable;
  Processes.PipeEnds[readEnd] = id;
  Processes.PipeEnds[writeEnd] = id;
  return true;
}

bool SimPc::SetHandleInformation(os::Handle h, uint32_t mask, uint32_t flags) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::SetHandleInformation, std::to_string(flags))) return false;
  auto it = handles_.find(h);
  if (it == handles_.end()) {
    LastError() = os::kErrorInvalidHandle;
    return false;
  }
  if (mask & os::kHandleFlagInherit) it->second.inheritable = (flags & os::kHandleFlagInherit) != 0;
  return true;
}

std::string SimPc::GetSystemDirectoryA() {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::GetSystemDirectoryA)) return "";
  return Processes.SystemDirectory;
}

bool SimPc::CreateProcessA(const std::string& commandLine, uint32_t flags, os::Handle, os::Handle stdOut,
                           os::Handle stdErr, os::ProcessInformation& pi) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::CreateProcessA, commandLine)) return false;
  const SimProgram* program = ProgramFor(commandLine);
  if (commandLine.empty() || !program) {
    LastError() = os::kErrorFileNotFound;
    return false;
  }
  // The program decides what it does now (it reads its input at start); its
  // output and its end then take their time.
  const SimChildResult result = (*program)(commandLine, *this);
  if (KeepRecords) Processes.Runs.push_back({commandLine, flags, result});

  SimProcesses::Child child;
  child.CommandLine = commandLine;
  child.ExitCode = result.ExitCode;
  const uint64_t now = Clock.NowMs();
  const uint64_t runMs = result.RunMs >= 0 ? static_cast<uint64_t>(result.RunMs) : Processes.RunMs;
  child.EndMs = now + runMs;
  child.Held = Processes.HoldChildren;
  // The child inherits every inheritable handle (the call always passes
  // bInheritHandles TRUE); the write ends among them keep their pipes open
  // while it runs. assumed: a standard handle that is not inheritable is
  // useless to the child, so what it writes there is lost.
  for (const auto& [h, object] : handles_) {
    if (object.kind != Kind::PipeWrite || !object.inheritable) continue;
    const int pipe = Processes.PipeEnds[h];
    ++Processes.Pipes[pipe].writeEnds;
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
  Processes.Children.push_back(std::move(child));

  pi.hProcess = NewHandle(Kind::Process, commandLine);
  pi.hThread = NewHandle(Kind::Thread, commandLine);
  pi.dwProcessId = 0x1000 + static_cast<uint32_t>(Processes.Children.size()) * 4;
  pi.dwThreadId = pi.dwProcessId + 2;
  Processes.ProcessOf[pi.hProcess] = Processes.Children.size() - 1;
  Progress();
  Notify();
  return true;
}

void SimPc::EndChild(SimProcesses::Child& child) {
  for (auto& piece : child.Pending)
    if (child.OutPipe) Processes.Pipes[child.OutPipe].buffer += piece.second;
  child.Pending.clear();
  for (int pipe : child.HeldPipes) --Processes.Pipes[pipe].writeEnds;
  child.HeldPipes.clear();
  child.Ended = true;
}

void SimPc::Progress() {
  const uint64_t now = Clock.NowMs();
  for (SimProcesses::Child& child : Processes.Children) {
    if (child.Ended) continue;
    while (!child.Pending.empty() && child.Pending.front().first <= now) {
      if (child.OutPipe) Processes.Pipes[child.OutPipe].buffer += child.Pending.front().second;
      child.Pending.pop_front();
    }
    if (!child.Held && child.EndMs <= now) EndChild(child);
  }
}

uint64_t SimPc::NextEventLocked() const {
  uint64_t next = UINT64_MAX;
  for (const SimProcesses::Child& child : Processes.Children) {
    if (child.Ended) continue;
    if (!child.Pending.empty()) next = std::min(next, child.Pending.front().first);
    if (!child.Held) next = std::min(next, child.EndMs);
  }
  return next;
}

void SimPc::Notify() {
  ++generation_;
  changed_.notify_all();
}

void SimPc::WaitForChange(std::unique_lock<std::recursive_mutex>& lock, uint64_t untilMs) {
  const auto waiting = waiting_.insert(generation_);
  if (Clock.RealTime() && untilMs != UINT64_MAX) {
    const uint64_t now = Clock.NowMs();
    if (untilMs > now) changed_.wait_for(lock, std::chrono::milliseconds(untilMs - now));
  } else {
    changed_.wait(lock);
  }
  waiting_.erase(waiting);
  Progress();
}

uint64_t SimPc::NextChildEventMs() const {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  return NextEventLocked();
}

// A caller counts as blocked once it has looked at the machine since its
// last change and gone back to waiting.
int SimPc::BlockedCallers() const {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  return static_cast<int>(waiting_.count(generation_));
}

void SimPc::AdvanceMs(uint64_t ms) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Clock.Advance(ms);
  Progress();
  Notify();
}

void SimPc::ReleaseChildren() {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  for (SimProcesses::Child& child : Processes.Children)
    if (!child.Ended) EndChild(child);
  Notify();
}

int SimPc::RunningChildren() const {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  return static_cast<int>(std::count_if(Processes.Children.begin(), Processes.Children.end(),
                                        [](const SimProcesses::Child& c) { return !c.Ended; }));
}

// A wait on a running child blocks until it ends or the time is up; on the
// hand-moved clock, time passes only when a test moves it.
uint32_t SimPc::WaitForSingleObject(os::Handle h, uint32_t ms) {
  std::unique_lock<std::recursive_mutex> lock(mutex_);
  if (Enter(Call::WaitForSingleObject, std::to_string(ms))) return os::kWaitFailed;
  auto it = Processes.ProcessOf.find(h);
  if (!Find(h, Kind::Process) || it == Processes.ProcessOf.end()) {
    LastError() = os::kErrorInvalidHandle;
    return os::kWaitFailed;
  }
  const std::size_t child = it->second;
  const uint64_t deadline = ms == os::kInfinite ? UINT64_MAX : Clock.NowMs() + ms;
  while (!Processes.Children[child].Ended) {
    if (Clock.NowMs() >= deadline) return os::kWaitTimeout;
    WaitForChange(lock, std::min(deadline, NextEventLocked()));
  }
  return os::kWaitObject0;
}

bool SimPc::PeekNamedPipe(os::Handle pipe, uint32_t& available) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  available = 0;
  if (Enter(Call::PeekNamedPipe)) return false;
  auto end = Processes.PipeEnds.find(pipe);
  if (end == Processes.PipeEnds.end()) {
    LastError() = os::kErrorInvalidHandle;
    return false;
  }
  available = static_cast<uint32_t>(Processes.Pipes[end->second].buffer.size());
  return true;
}

bool SimPc::GetExitCodeProcess(os::Handle process, uint32_t& code) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::GetExitCodeProcess)) return false;
  auto it = Processes.ProcessOf.find(process);
  if (!Find(process, Kind::Process) || it == Processes.ProcessOf.end()) {
    LastError() = os::kErrorInvalidHandle;
    return false;
  }
  const SimProcesses::Child& child = Processes.Children[it->second];
  code = child.Ended ? child.ExitCode : os::kStillActive;
  return true;
}

void SimPc::ForgetHandle(os::Handle h, Kind kind) {
  if (kind == Kind::File) Processes.OpenFiles.erase(h);
  if (kind == Kind::Process) Processes.ProcessOf.erase(h);
  if (kind == Kind::PipeRead || kind == Kind::PipeWrite) {
    auto end = Processes.PipeEnds.find(h);
    if (end != Processes.PipeEnds.end()) {
      if (kind == Kind::PipeWrite) --Processes.Pipes[end->second].writeEnds;
      Processes.PipeEnds.erase(end);
    }
  }
  Notify();
}

#include "platform/sim/sim_core.h"

#include <chrono>

namespace {

constexpr const char* kCallNames[] = {"GetCommandLineA",
                                      "GetModuleFileNameA",
                                      "GetTempPathA",
                                      "Sleep",
                                      "CloseHandle",
                                      "CharUpperBuffA",
                                      "OpenMutexA",
                                      "CreateMutexA",
                                      "FindWindowA",
                                      "PostMessageA",
                                      "MessageBoxA",
                                      "AllocConsole",
                                      "FreeConsole",
                                      "GetStdHandle",
                                      "WriteConsoleA",
                                      "GetConsoleScreenBufferInfo",
                                      "SetConsoleTextAttribute",
                                      "GetProcAddress",
                                      "IsWow64Process",
                                      "GetNativeSystemInfo",
                                      "GetProductInfo",
                                      "GetSystemInfo",
                                      "GetVersionExA",
                                      "GetSystemMetrics",
                                      "CreateFileA",
                                      "DeviceIoControl",
                                      "GetLogicalDrives",
                                      "SetupDiGetClassDevsA",
                                      "SetupDiEnumDeviceInterfaces",
                                      "SetupDiGetDeviceInterfaceDetailA",
                                      "SetupDiDestroyDeviceInfoList",
                                      "CoCreateGuid",
                                      "WriteFile",
                                      "ReadFile",
                                      "DeleteFileA",
                                      "CreatePipe",
                                      "SetHandleInformation",
                                      "GetSystemDirectoryA",
                                      "CreateProcessA",
                                      "WaitForSingleObject",
                                      "PeekNamedPipe",
                                      "GetExitCodeProcess",
                                      "CoInitializeEx",
                                      "CoUninitialize",
                                      "CoInitializeSecurity",
                                      "CreateWbemLocator",
                                      "WbemConnectServer",
                                      "CoSetProxyBlanket",
                                      "WbemExecQuery",
                                      "WbemNext",
                                      "WbemGet",
                                      "ComRelease",
                                      "WriteStdOut",
                                      "WriteStdOutWide",
                                      "GetCurrentProcess",
                                      "OpenProcessToken",
                                      "LookupPrivilegeValueA",
                                      "AdjustTokenPrivileges",
                                      "InitiateSystemShutdownA",
                                      "GetTickCount",
                                      "GetLocalTime",
                                      "AttachConsole",
                                      "GetFileInformationByHandle",
                                      "SetupDiGetClassDevsByEnumeratorA",
                                      "SetupDiEnumDeviceInfo",
                                      "SetupDiGetDeviceRegistryPropertyA",
                                      "GetSystemWindowsDirectoryA",
                                      "CreateDirectoryA",
                                      "RemoveDirectoryA",
                                      "GetFileOwnerSid"};
static_assert(sizeof(kCallNames) / sizeof(kCallNames[0]) == static_cast<int>(Call::kCount), "one name per call kind");

}  // namespace

const char* CallName(Call c) {
  return kCallNames[static_cast<int>(c)];
}

namespace {
int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

void SimClock::FollowRealTime() {
  realStartMs_ = SteadyMs() - static_cast<int64_t>(manualMs_);
  realTime_ = true;
}

uint64_t SimClock::NowMs() const {
  return realTime_ ? static_cast<uint64_t>(SteadyMs() - realStartMs_) : manualMs_;
}

uint32_t& SimCore::LastError() {
  return lastErrors_[std::this_thread::get_id()];
}

void SimCore::FailNth(Call kind, int n, uint32_t error) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  failures_[{static_cast<int>(kind), counts_[static_cast<int>(kind)] + n}] = error;
}

void SimCore::BeforeNth(Call kind, int n, std::function<void()> hook) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  hooks_[{static_cast<int>(kind), counts_[static_cast<int>(kind)] + n}] = std::move(hook);
}

int SimCore::Count(Call kind) const {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  return counts_[static_cast<int>(kind)];
}

bool SimCore::Owns(os::Handle h) const {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  return handles_.count(h) != 0;
}

std::vector<os::Handle> SimCore::InheritableHandles() const {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  std::vector<os::Handle> found;
  for (const auto& [h, object] : handles_)
    if (object.inheritable) found.push_back(h);
  return found;
}

bool SimCore::Enter(Call kind, const std::string& detail) {
  if (KeepRecords) Calls.push_back({kind, detail});
  Progress();
  const int n = ++counts_[static_cast<int>(kind)];
  auto hook = hooks_.find({static_cast<int>(kind), n});
  if (hook != hooks_.end()) {
    const std::function<void()> fn = std::move(hook->second);
    hooks_.erase(hook);
    fn();
  }
  auto it = failures_.find({static_cast<int>(kind), n});
  if (it == failures_.end()) return false;
  LastError() = it->second;
  failures_.erase(it);
  return true;
}

os::Handle SimCore::NewHandle(Kind kind, const std::string& name, uint32_t access) {
  const os::Handle h = nextHandle_;
  nextHandle_ += 4;  // Windows handles are multiples of four
  handles_[h] = Object{kind, name, access};
  return h;
}

const SimCore::Object* SimCore::Find(os::Handle h, Kind kind) const {
  auto it = handles_.find(h);
  return it != handles_.end() && it->second.kind == kind ? &it->second : nullptr;
}

SimCore::Object* SimCore::FindAny(os::Handle h) {
  auto it = handles_.find(h);
  return it != handles_.end() ? &it->second : nullptr;
}

bool SimCore::Close(os::Handle h) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::CloseHandle)) return false;
  auto it = handles_.find(h);
  if (it == handles_.end()) {
    LastError() = os::kErrorInvalidHandle;
    return false;
  }
  const Object closed = it->second;
  handles_.erase(it);
  Closed(h, closed);
  return true;
}

void SimCore::Notify() {
  ++generation_;
  changed_.notify_all();
}

void SimCore::WaitForChange(std::unique_lock<std::recursive_mutex>& lock, uint64_t untilMs) {
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

// A caller counts as blocked once it has looked at the machine since its
// last change and gone back to waiting.
int SimCore::BlockedCallers() const {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  return static_cast<int>(waiting_.count(generation_));
}

void SimCore::AdvanceMs(uint64_t ms) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Clock.Advance(ms);
  Progress();
  Notify();
}

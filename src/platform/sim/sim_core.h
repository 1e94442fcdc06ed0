// The simulated PC's core: the machine's lock, the call recorder with its
// injected failures and hooks, the per-thread last error, the handle table,
// the clock and the change signal that blocked callers wait on. The disk
// driver, the process table and the system services each do their work
// through it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/os_types.h"

enum class Call {
  GetCommandLineA,
  GetModuleFileNameA,
  GetTempPathA,
  Sleep,
  CloseHandle,
  CharUpperBuffA,
  OpenMutexA,
  CreateMutexA,
  FindWindowA,
  PostMessageA,
  MessageBoxA,
  AllocConsole,
  FreeConsole,
  GetStdHandle,
  WriteConsoleA,
  GetConsoleScreenBufferInfo,
  SetConsoleTextAttribute,
  GetProcAddress,
  IsWow64Process,
  GetNativeSystemInfo,
  GetProductInfo,
  GetSystemInfo,
  GetVersionExA,
  GetSystemMetrics,
  CreateFileA,
  DeviceIoControl,
  GetLogicalDrives,
  SetupDiGetClassDevsA,
  SetupDiEnumDeviceInterfaces,
  SetupDiGetDeviceInterfaceDetailA,
  SetupDiDestroyDeviceInfoList,
  CoCreateGuid,
  WriteFile,
  ReadFile,
  DeleteFileA,
  CreatePipe,
  SetHandleInformation,
  GetSystemDirectoryA,
  CreateProcessA,
  WaitForSingleObject,
  PeekNamedPipe,
  GetExitCodeProcess,
  CoInitializeEx,
  CoUninitialize,
  CoInitializeSecurity,
  CreateWbemLocator,
  WbemConnectServer,
  CoSetProxyBlanket,
  WbemExecQuery,
  WbemNext,
  WbemGet,
  ComRelease,
  WriteStdOut,
  WriteStdOutWide,
  GetCurrentProcess,
  OpenProcessToken,
  LookupPrivilegeValueA,
  AdjustTokenPrivileges,
  InitiateSystemShutdownA,
  GetTickCount,
  GetLocalTime,
  AttachConsole,
  GetFileInformationByHandle,
  SetupDiGetClassDevsByEnumeratorA,
  SetupDiEnumDeviceInfo,
  SetupDiGetDeviceRegistryPropertyA,
  GetSystemWindowsDirectoryA,
  CreateDirectoryA,
  RemoveDirectoryA,
  GetFileOwnerSid,
  kCount
};

const char* CallName(Call c);

struct SimCall {
  Call kind;
  std::string detail;  // the call's main argument, as text
};

// Time on the simulated PC, in ms since it was made.
class SimClock {
 public:
  // Follow the real clock from now on (the demo); tests move it by hand.
  void FollowRealTime();
  bool RealTime() const { return realTime_; }
  uint64_t NowMs() const;
  void Advance(uint64_t ms) { manualMs_ += ms; }

 private:
  bool realTime_ = false;
  uint64_t manualMs_ = 0;
  int64_t realStartMs_ = 0;
};

class SimCore {
 public:
  explicit SimCore(os::Handle firstHandle) : nextHandle_(firstHandle) {}
  virtual ~SimCore() = default;

  // ---- what happened ----
  // Tests read these records; they grow with every call, so a machine that
  // runs for hours (the demo's) stops keeping them.
  bool KeepRecords = true;
  std::vector<SimCall> Calls;
  SimClock Clock;

  // Fails the n-th (1-based) call of the kind from now on with error.
  void FailNth(Call kind, int n, uint32_t error);
  // Runs hook just before the n-th (1-based) call of the kind from now on,
  // with the machine's lock held.
  void BeforeNth(Call kind, int n, std::function<void()> hook);
  int Count(Call kind) const;
  int OpenHandles() const { return static_cast<int>(handles_.size()); }
  // Whether the handle is one this machine handed out and has not closed.
  bool Owns(os::Handle h) const;
  // The open handles a child created now would inherit.
  std::vector<os::Handle> InheritableHandles() const;
  // Holds the machine: for tests that read or change it while other threads call it.
  std::unique_lock<std::recursive_mutex> Lock() const { return std::unique_lock<std::recursive_mutex>(mutex_); }
  // Moves the clock on; children whose time is up end.
  void AdvanceMs(uint64_t ms);
  // Calls now waiting inside the machine (a read of an empty pipe, a wait
  // for a child).
  int BlockedCallers() const;

  // ---- for the parts ----
  enum class Kind { Mutex, Console, Device, DeviceSet, File, PipeRead, PipeWrite, Process, Thread, Token };
  struct Object {
    Kind kind;
    std::string name;  // mutex name, device path
    uint32_t access = 0;
    bool inheritable = false;
  };
  // Records the call, lets time act on the children and runs a hook due now;
  // true when an injected failure hits the call (last error set). The caller
  // holds the lock.
  bool Enter(Call kind, const std::string& detail = "");
  // The calling thread's last error.
  uint32_t& LastError();
  os::Handle NewHandle(Kind kind, const std::string& name, uint32_t access = 0);
  const Object* Find(os::Handle h, Kind kind) const;
  Object* FindAny(os::Handle h);
  // Every open handle, in handle order.
  const std::map<os::Handle, Object>& Handles() const { return handles_; }
  // CloseHandle: the parts forget the handle once it is gone from the table.
  bool Close(os::Handle h);
  // Drops a handle whose part has already forgotten it (a destroyed device list).
  void ForgetHandle(os::Handle h) { handles_.erase(h); }
  // Waits until something on the machine changes, or the clock reaches
  // untilMs (in real time); the lock is given up meanwhile.
  void WaitForChange(std::unique_lock<std::recursive_mutex>& lock, uint64_t untilMs);
  // Wakes the callers waiting for a change.
  void Notify();

 private:
  // Delivers the children's output that is due and ends the children whose
  // time is up.
  virtual void Progress() = 0;
  // Lets the parts forget a handle just closed.
  virtual void Closed(os::Handle h, const Object& object) = 0;

  mutable std::recursive_mutex mutex_;
  std::condition_variable_any changed_;
  uint64_t generation_ = 0;          // changes so far
  std::multiset<uint64_t> waiting_;  // the generation each waiting caller last saw
  std::map<std::thread::id, uint32_t> lastErrors_;
  int counts_[static_cast<int>(Call::kCount)] = {};
  std::map<std::pair<int, int>, uint32_t> failures_;            // (kind, nth) -> error
  std::map<std::pair<int, int>, std::function<void()>> hooks_;  // (kind, nth) -> hook
  std::map<os::Handle, Object> handles_;
  os::Handle nextHandle_;
};

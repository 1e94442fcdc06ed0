// A simulated PC that answers the seam's calls as Windows would.
//
// It is a machine description (command line, executable path, named objects
// of other processes, windows, console, version record, exported functions,
// disks) plus a recorder: every call is counted and listed, any call kind can
// be told to fail at its N-th use with a chosen error code, and a hook can
// run just before the N-th call of a kind. It keeps time on a clock of its
// own (moved by tests, or following the real clock in the demo), and it may
// be called from several threads at once: each call holds the machine's lock,
// and the last error is kept per thread, as Windows keeps it. Where Windows
// behaviour had to be assumed rather than taken from its documentation, the
// comment says "assumed:".
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/os.h"
#include "platform/sim/sim_disk.h"
#include "platform/sim/sim_process.h"
#include "platform/sim/sim_system.h"

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

// One stretch of text written to the console, with the attribute in force.
struct SimConsoleWrite {
  std::string text;
  uint16_t attr;
};

struct SimWindow {
  std::string className;
  std::string windowName;
  os::Handle handle;
};

struct SimPostedMessage {
  os::Handle window;
  uint32_t msg;
  uintptr_t wParam;
  intptr_t lParam;
};

// What the version queries report.
struct SimVersion {
  os::OsVersionInfoExA record{};
  bool acceptsExtendedRecord = true;  // false: only the 148-byte form works (NT 4 before SP6)
  bool fails = false;                 // GetVersionExA fails for both forms
  bool wow64 = false;
  uint16_t nativeArchitecture = os::kProcessorArchitectureIntel;
  uint32_t productType = 0;  // what GetProductInfo reports
  bool serverR2 = false;     // GetSystemMetrics(SM_SERVERR2)
  bool mediaCenter = false;  // GetSystemMetrics(SM_MEDIACENTER)
  std::set<std::string> missingExports;  // e.g. "GetNativeSystemInfo"

  // platformId 2 = NT, 1 = 9x.
  static SimVersion Make(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t build,
                         const char* csd = "", uint8_t productType = 1, uint16_t suite = 0);
};

// A device that Plug and Play lists, as SetupDiGetClassDevsA with a null
// class and an enumerator finds it.
struct SimPnpDevice {
  std::string Enumerator = "ACPI";
  // SPDRP_HARDWAREID exactly as the registry holds it: normally a
  // REG_MULTI_SZ such as SimMultiSz({"ACPI\\INT3392", "*INT3392"}); any
  // bytes may be given, a missing final NUL included.
  std::string HardwareIds;
  uint32_t HardwareIdType = os::kRegMultiSz;
  bool HasHardwareIds = true;  // false: reading the property fails with ERROR_INVALID_DATA
  bool Present = true;         // false: known to the system but not attached (left out under DIGCF_PRESENT)
};
// "a\0b\0\0": the strings as a REG_MULTI_SZ with its closing empty string.
std::string SimMultiSz(const std::vector<std::string>& strings);

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

class SimPc : public Os {
 public:
  // firstHandle: where the handles it hands out start (the demo keeps them
  // apart from real ones).
  explicit SimPc(os::Handle firstHandle = 0x100);

  // ---- machine description ----
  std::string CommandLine = "\"C:\\Program Files\\Ortavel\\OrvRapidStart.exe\"";
  std::string ModulePath = "C:\\Program Files\\Ortavel\\OrvRapidStart.exe";
  std::string TempPath = "C:\\Users\\User\\AppData\\Local\\Temp\\";
  std::set<std::string> OtherMutexes;  // named mutexes other processes hold
  std::vector<SimWindow> Windows;      // top-level windows of other processes
  bool HasInheritedConsole = false;    // AllocConsole then fails
  // The program was started from a console window (a command prompt):
  // AttachConsole(ATTACH_PARENT_PROCESS) succeeds, writes land in ConsoleWrites.
  bool ParentConsole = false;
  // The parent redirected standard output to this file: GetStdHandle
  // returns a handle writing there. Empty: not redirected.
  std::string StdOutFile;
  // The parent left a console handle value in the standard output that means
  // nothing in this windowed process: GetStdHandle returns it, writes fail.
  bool StdOutStale = false;
  static constexpr os::Handle kStaleStdOut = 0x3;  // never handed out: not a multiple of four
  SimVersion Version = SimVersion::Make(2, 6, 1, 7601, "Service Pack 1");
  SimDisks Disks;
  // Plug and Play devices in enumeration order (none: a list with no member).
  std::deque<SimPnpDevice> PnpDevices;
  SimPnpDevice& AddAcpiDevice(const std::vector<std::string>& hardwareIds);
  SimProcesses Processes;  // files, pipes, child processes, the diskpart interpreter
  SimSystem System;        // COM/WMI, standard output, token privileges, shutdown
  SimClock Clock;

  // ---- what happened ----
  // Tests read these records; they grow with every call, so a machine that
  // runs for hours (the demo's) stops keeping them. Posted messages, console
  // writes, message boxes and shutdowns are kept either way.
  bool KeepRecords = true;
  void StopRecording() {
    KeepRecords = false;
    Disks.KeepRecords = false;
  }
  std::vector<SimCall> Calls;
  std::vector<SimPostedMessage> Posted;
  std::vector<SimConsoleWrite> ConsoleWrites;
  // Named mutexes this process made and still has a handle to, with the
  // SDDL of each one's descriptor.
  std::set<std::string> CreatedMutexes;
  std::map<std::string, std::string> MutexSddl;
  uint64_t SleptMs = 0;
  bool ConsoleAllocated = false;
  uint16_t ConsoleAttr = 7;
  int OpenHandles() const { return static_cast<int>(handles_.size()); }

  // Fails the n-th (1-based) call of the kind from now on with error.
  void FailNth(Call kind, int n, uint32_t error);
  // Runs hook just before the n-th (1-based) call of the kind from now on,
  // with the machine's lock held.
  void BeforeNth(Call kind, int n, std::function<void()> hook);
  int Count(Call kind) const;
  // Whether the handle is one this machine handed out and has not closed.
  bool Owns(os::Handle h) const;
  // The open handles a child created now would inherit.
  std::vector<os::Handle> InheritableHandles() const;

  // ---- time and children ----
  // Moves the clock on; children whose time is up end.
  void AdvanceMs(uint64_t ms);
  // Ends every running child now, whatever its run time.
  void ReleaseChildren();
  int RunningChildren() const;
  // When the next child writes or ends on its own; UINT64_MAX when none will.
  uint64_t NextChildEventMs() const;
  // Calls now waiting inside the machine (a read of an empty pipe, a wait
  // for a child).
  int BlockedCallers() const;
  // The program a command line starts, searched for as CreateProcess does
  // for a name without a path, or nullptr.
  const SimProgram* ProgramFor(const std::string& commandLine) const;
  // Holds the machine: for tests that read or change it while other threads call it.
  std::unique_lock<std::recursive_mutex> Lock() const { return std::unique_lock<std::recursive_mutex>(mutex_); }
  // The console's text as a reader of its screen would see it.
  std::string ConsoleText() const;

  // ---- Os ----
  uint32_t GetLastError() override;
  void SetLastError(uint32_t code) override;
  std::string GetCommandLineA() override;
  std::string GetModuleFileNameA() override;
  std::string GetTempPathA(uint32_t bufferChars) override;
  void Sleep(uint32_t ms) override;
  bool CloseHandle(os::Handle h) override;
  std::string CharUpperBuffA(const std::string& text) override;
  os::Handle OpenMutexA(uint32_t access, bool inherit, const std::string& name) override;
  os::Handle CreateMutexA(const std::string& sddl, bool initialOwner, const std::string& name) override;
  os::Handle FindWindowA(const std::string& className, const std::string& windowName) override;
  bool PostMessageA(os::Handle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  int MessageBoxA(const std::string& text, const std::string& caption, uint32_t type) override;
  bool AllocConsole() override;
  bool FreeConsole() override;
  os::Handle GetStdHandle(uint32_t which) override;
  bool WriteConsoleA(os::Handle out, const std::string& bytes) override;
  bool GetConsoleScreenBufferInfo(os::Handle out, uint16_t& attributes) override;
  bool SetConsoleTextAttribute(os::Handle out, uint16_t attributes) override;
  os::Proc GetProcAddress(const std::string& module, const std::string& name) override;
  bool IsWow64Process(os::Proc fn, bool& wow64) override;
  void GetNativeSystemInfo(os::Proc fn, os::SystemInfo& info) override;
  bool GetProductInfo(os::Proc fn, uint32_t major, uint32_t minor, uint32_t spMajor, uint32_t spMinor,
                      uint32_t& productType) override;
  void GetSystemInfo(os::SystemInfo& info) override;
  bool GetVersionExA(os::OsVersionInfoExA& record) override;
  int GetSystemMetrics(int index) override;
  os::Handle CreateFileA(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
                         uint32_t flags) override;
  bool DeviceIoControl(os::Handle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                       uint32_t outSize, uint32_t& bytesReturned) override;
  uint32_t GetLogicalDrives() override;
  os::Handle SetupDiGetClassDevsA(const os::Guid& cls, uint32_t flags) override;
  bool SetupDiEnumDeviceInterfaces(os::Handle set, const os::Guid& cls, uint32_t index,
                                   os::SpDeviceInterfaceData& data) override;
  bool SetupDiGetDeviceInterfaceDetailA(os::Handle set, const os::SpDeviceInterfaceData& data, void* detail,
                                        uint32_t detailSize) override;
  bool SetupDiDestroyDeviceInfoList(os::Handle set) override;
  os::Handle SetupDiGetClassDevsByEnumeratorA(const std::string& enumerator, uint32_t flags) override;
  bool SetupDiEnumDeviceInfo(os::Handle set, uint32_t index, os::SpDevInfoData& data) override;
  bool SetupDiGetDeviceRegistryPropertyA(os::Handle set, const os::SpDevInfoData& data, uint32_t property,
                                         uint32_t& regType, void* buffer, uint32_t bufferSize,
                                         uint32_t& requiredSize) override;
  bool CoCreateGuid(os::Guid& guid) override;
  bool WriteFile(os::Handle file, const void* data, uint32_t size, uint32_t& written) override;
  bool ReadFile(os::Handle file, void* buffer, uint32_t size, uint32_t& read) override;
  bool DeleteFileA(const std::string& path) override;
  std::string GetSystemWindowsDirectoryA() override;
  bool CreateDirectoryA(const std::string& path, const std::string& sddl) override;
  bool RemoveDirectoryA(const std::string& path) override;
  bool GetFileOwnerSid(os::Handle file, std::string& sid) override;
  bool CreatePipe(os::Handle& readEnd, os::Handle& writeEnd, bool inheritable) override;
  bool SetHandleInformation(os::Handle h, uint32_t mask, uint32_t flags) override;
  std::string GetSystemDirectoryA() override;
  bool CreateProcessA(const std::string& commandLine, uint32_t flags, os::Handle stdIn, os::Handle stdOut,
                      os::Handle stdErr, os::ProcessInformation& pi) override;
  uint32_t WaitForSingleObject(os::Handle h, uint32_t ms) override;
  bool PeekNamedPipe(os::Handle pipe, uint32_t& available) override;
  bool GetExitCodeProcess(os::Handle process, uint32_t& code) override;
  os::HResult CoInitializeEx(uint32_t coInit) override;
  void CoUninitialize() override;
  os::HResult CoInitializeSecurity(uint32_t authnLevel, uint32_t impLevel, uint32_t capabilities) override;
  os::HResult CreateWbemLocator(uint32_t clsContext, os::ComObject& locator) override;
  os::HResult WbemConnectServer(os::ComObject locator, const std::wstring& ns, os::ComObject& services) override;
  os::HResult CoSetProxyBlanket(os::ComObject services, uint32_t authn, uint32_t authz, uint32_t authnLevel,
                                uint32_t impLevel, uint32_t capabilities) override;
  os::HResult WbemExecQuery(os::ComObject services, const std::wstring& language, const std::wstring& query,
                            int32_t flags, os::ComObject& enumerator) override;
  os::HResult WbemNext(os::ComObject enumerator, int32_t timeout, os::ComObject& object, uint32_t& returned) override;
  os::HResult WbemGet(os::ComObject object, const std::wstring& name, os::Variant& value) override;
  uint32_t ComRelease(os::ComObject object) override;
  void WriteStdOut(const std::string& text) override;
  void WriteStdOutWide(const std::wstring& text) override;
  os::Handle GetCurrentProcess() override;
  bool OpenProcessToken(os::Handle process, uint32_t access, os::Handle& token) override;
  bool LookupPrivilegeValueA(const std::string& name, os::Luid& luid) override;
  bool AdjustTokenPrivileges(os::Handle token, bool disableAll, const os::TokenPrivileges1& privileges) override;
  bool InitiateSystemShutdownA(uint32_t timeoutSeconds, bool forceAppsClosed, bool reboot) override;
  // The clock's ms; local time is 2026-12-09 09:00:00.000 plus the clock.
  uint32_t GetTickCount() override;
  void GetLocalTime(os::SystemTime& time) override;
  bool AttachConsole(uint32_t processId) override;
  bool GetFileInformationByHandle(os::Handle file, os::FileIdentity& identity) override;

  // Messages shown with MessageBoxA: {caption, text}, and their types.
  std::vector<std::pair<std::string, std::string>> MessageBoxes;
  std::vector<uint32_t> MessageBoxTypes;
  // The buttons the user presses, in order; IDOK (1) once they run out.
  std::deque<int> MessageBoxAnswers;

 private:
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
  // Delivers the children's output that is due and ends the children whose
  // time is up.
  void Progress();
  void EndChild(SimProcesses::Child& child);
  // Waits until something on the machine changes, or the clock reaches
  // untilMs (in real time); the lock is given up meanwhile.
  void WaitForChange(std::unique_lock<std::recursive_mutex>& lock, uint64_t untilMs);
  uint64_t NextEventLocked() const;
  // Wakes the callers waiting for a change.
  void Notify();
  uint64_t generation_ = 0;              // changes so far
  std::multiset<uint64_t> waiting_;      // the generation each waiting caller last saw
  os::Handle NewHandle(Kind kind, const std::string& name, uint32_t access = 0);
  const Object* Find(os::Handle h, Kind kind) const;
  const std::vector<SimPnpDevice>* OpenDeviceList(os::Handle set);
  // Lets the file, pipe and process model forget a handle being closed.
  void ForgetHandle(os::Handle h, Kind kind);

  mutable std::recursive_mutex mutex_;
  std::condition_variable_any changed_;
  std::map<std::thread::id, uint32_t> lastErrors_;
  int counts_[static_cast<int>(Call::kCount)] = {};
  std::map<std::pair<int, int>, uint32_t> failures_;  // (kind, nth) -> error
  std::map<std::pair<int, int>, std::function<void()>> hooks_;  // (kind, nth) -> hook
  std::map<os::Handle, Object> handles_;
  std::map<os::Handle, std::vector<SimPnpDevice>> deviceSets_;  // open device lists, as listed when made
  os::Handle nextHandle_;
  os::Handle consoleOutput_ = os::kNull;  // the std output handle while a console exists
  os::Handle stdOutFile_ = os::kNull;     // the std output handle onto StdOutFile
  uint32_t guidCounter_ = 0;
};

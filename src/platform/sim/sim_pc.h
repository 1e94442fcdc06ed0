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
//
// The work is split into a core (SimCore: the lock, the recorder, the last
// error, the handle table, the clock) and three parts that do their work
// through it: the disk driver (SimDiskDriver), the process table
// (SimProcesses) and the system services (SimSystem). SimPc passes each Os
// call on to the part that answers it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/sim/sim_core.h"
#include "platform/sim/sim_disk.h"
#include "platform/sim/sim_disk_driver.h"
#include "platform/sim/sim_process.h"
#include "platform/sim/sim_system.h"

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

class SimPc : public Os, private SimCore {
 public:
  // firstHandle: where the handles it hands out start (the demo keeps them
  // apart from real ones).
  explicit SimPc(os::Handle firstHandle = 0x100) : SimCore(firstHandle) {}

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
  SimPnpDevice& AddAcpiDevice(const std::vector<std::string>& hardwareIds) {
    return driver_.AddAcpiDevice(hardwareIds);
  }
  SimProcesses Processes{*this, *this};  // files, pipes, child processes, the diskpart interpreter
  // the console, mutexes, windows, version queries, COM/WMI, standard output, token privileges, shutdown
  SimSystem System{*this, *this};
  using SimCore::Clock;

  // ---- what happened ----
  // Tests read these records; they grow with every call, so a machine that
  // runs for hours (the demo's) stops keeping them. Posted messages, console
  // writes, message boxes and shutdowns are kept either way.
  void StopRecording() {
    KeepRecords = false;
    Disks.KeepRecords = false;
  }
  using SimCore::Calls;
  using SimCore::KeepRecords;
  std::vector<SimPostedMessage> Posted;
  std::vector<SimConsoleWrite> ConsoleWrites;
  // Named mutexes this process made and still has a handle to, with the
  // SDDL of each one's descriptor.
  std::set<std::string> CreatedMutexes;
  std::map<std::string, std::string> MutexSddl;
  uint64_t SleptMs = 0;
  bool ConsoleAllocated = false;
  uint16_t ConsoleAttr = 7;
  using SimCore::OpenHandles;
  // SetupDi volume interface lists made and not yet destroyed.
  int OpenInterfaceSets() const { return driver_.OpenInterfaceSets(); }

  using SimCore::BeforeNth;
  using SimCore::Count;
  using SimCore::FailNth;
  using SimCore::InheritableHandles;
  using SimCore::Owns;

  // ---- time and children ----
  using SimCore::AdvanceMs;
  using SimCore::BlockedCallers;
  using SimCore::Lock;
  void ReleaseChildren() { Processes.ReleaseChildren(); }
  int RunningChildren() const { return Processes.RunningChildren(); }
  uint64_t NextChildEventMs() const { return Processes.NextChildEventMs(); }
  const SimProgram* ProgramFor(const std::string& commandLine) const { return Processes.ProgramFor(commandLine); }
  std::string ConsoleText() const { return System.ConsoleText(); }

  // Messages shown with MessageBoxA: {caption, text}, and their types.
  std::vector<std::pair<std::string, std::string>> MessageBoxes;
  std::vector<uint32_t> MessageBoxTypes;
  // The buttons the user presses, in order; IDOK (1) once they run out.
  std::deque<int> MessageBoxAnswers;

  // ---- Os: each call is passed on to the part that answers it ----
  uint32_t GetLastError() override {
    const auto lock = Lock();
    return LastError();
  }
  void SetLastError(uint32_t code) override {
    const auto lock = Lock();
    LastError() = code;
  }
  std::string GetCommandLineA() override { return System.GetCommandLineA(); }
  std::string GetModuleFileNameA() override { return System.GetModuleFileNameA(); }
  std::string GetTempPathA(uint32_t bufferChars) override { return System.GetTempPathA(bufferChars); }
  void Sleep(uint32_t ms) override { System.Sleep(ms); }
  bool CloseHandle(os::Handle h) override { return Close(h); }
  std::string CharUpperBuffA(const std::string& text) override { return System.CharUpperBuffA(text); }
  os::Handle OpenMutexA(uint32_t access, bool inherit, const std::string& name) override {
    return System.OpenMutexA(access, inherit, name);
  }
  os::Handle CreateMutexA(const std::string& sddl, bool initialOwner, const std::string& name) override {
    return System.CreateMutexA(sddl, initialOwner, name);
  }
  os::Handle FindWindowA(const std::string& className, const std::string& windowName) override {
    return System.FindWindowA(className, windowName);
  }
  bool PostMessageA(os::Handle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
    return System.PostMessageA(window, msg, wParam, lParam);
  }
  int MessageBoxA(const std::string& text, const std::string& caption, uint32_t type) override {
    return System.MessageBoxA(text, caption, type);
  }
  bool AllocConsole() override { return System.AllocConsole(); }
  bool FreeConsole() override { return System.FreeConsole(); }
  os::Handle GetStdHandle(uint32_t which) override { return System.GetStdHandle(which); }
  bool WriteConsoleA(os::Handle out, const std::string& bytes) override { return System.WriteConsoleA(out, bytes); }
  bool GetConsoleScreenBufferInfo(os::Handle out, uint16_t& attributes) override {
    return System.GetConsoleScreenBufferInfo(out, attributes);
  }
  bool SetConsoleTextAttribute(os::Handle out, uint16_t attributes) override {
    return System.SetConsoleTextAttribute(out, attributes);
  }
  os::Proc GetProcAddress(const std::string& module, const std::string& name) override {
    return System.GetProcAddress(module, name);
  }
  bool IsWow64Process(os::Proc fn, bool& wow64) override { return System.IsWow64Process(fn, wow64); }
  void GetNativeSystemInfo(os::Proc fn, os::SystemInfo& info) override { System.GetNativeSystemInfo(fn, info); }
  bool GetProductInfo(os::Proc fn, uint32_t major, uint32_t minor, uint32_t spMajor, uint32_t spMinor,
                      uint32_t& productType) override {
    return System.GetProductInfo(fn, major, minor, spMajor, spMinor, productType);
  }
  void GetSystemInfo(os::SystemInfo& info) override { System.GetSystemInfo(info); }
  bool GetVersionExA(os::OsVersionInfoExA& record) override { return System.GetVersionExA(record); }
  int GetSystemMetrics(int index) override { return System.GetSystemMetrics(index); }
  os::Handle CreateFileA(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
                         uint32_t flags) override {
    return SimDiskDriver::IsDevicePath(path) ? driver_.CreateFileA(path, access, share, disposition, flags)
                                             : Processes.CreateFileA(path, access, share, disposition, flags);
  }
  bool DeviceIoControl(os::Handle device, uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                       uint32_t& bytesReturned) override {
    return driver_.DeviceIoControl(device, code, in, inSize, out, outSize, bytesReturned);
  }
  uint32_t GetLogicalDrives() override { return driver_.GetLogicalDrives(); }
  os::Handle SetupDiGetClassDevsA(const os::Guid& cls, uint32_t flags) override {
    return driver_.SetupDiGetClassDevsA(cls, flags);
  }
  bool SetupDiEnumDeviceInterfaces(os::Handle set, const os::Guid& cls, uint32_t index,
                                   os::SpDeviceInterfaceData& data) override {
    return driver_.SetupDiEnumDeviceInterfaces(set, cls, index, data);
  }
  bool SetupDiGetDeviceInterfaceDetailA(os::Handle set, const os::SpDeviceInterfaceData& data, void* detail,
                                        uint32_t detailSize) override {
    return driver_.SetupDiGetDeviceInterfaceDetailA(set, data, detail, detailSize);
  }
  bool SetupDiDestroyDeviceInfoList(os::Handle set) override { return driver_.SetupDiDestroyDeviceInfoList(set); }
  os::Handle SetupDiGetClassDevsByEnumeratorA(const std::string& enumerator, uint32_t flags) override {
    return driver_.SetupDiGetClassDevsByEnumeratorA(enumerator, flags);
  }
  bool SetupDiEnumDeviceInfo(os::Handle set, uint32_t index, os::SpDevInfoData& data) override {
    return driver_.SetupDiEnumDeviceInfo(set, index, data);
  }
  bool SetupDiGetDeviceRegistryPropertyA(os::Handle set, const os::SpDevInfoData& data, uint32_t property,
                                         uint32_t& regType, void* buffer, uint32_t bufferSize,
                                         uint32_t& requiredSize) override {
    return driver_.SetupDiGetDeviceRegistryPropertyA(set, data, property, regType, buffer, bufferSize, requiredSize);
  }
  bool CoCreateGuid(os::Guid& guid) override { return driver_.CoCreateGuid(guid); }
  bool WriteFile(os::Handle file, const void* data, uint32_t size, uint32_t& written) override {
    return Processes.WriteFile(file, data, size, written);
  }
  bool ReadFile(os::Handle file, void* buffer, uint32_t size, uint32_t& read) override {
    return Processes.ReadFile(file, buffer, size, read);
  }
  bool DeleteFileA(const std::string& path) override { return Processes.DeleteFileA(path); }
  std::string GetSystemWindowsDirectoryA() override { return Processes.GetSystemWindowsDirectoryA(); }
  bool CreateDirectoryA(const std::string& path, const std::string& sddl) override {
    return Processes.CreateDirectoryA(path, sddl);
  }
  bool RemoveDirectoryA(const std::string& path) override { return Processes.RemoveDirectoryA(path); }
  bool GetFileOwnerSid(os::Handle file, std::string& sid) override { return Processes.GetFileOwnerSid(file, sid); }
  bool CreatePipe(os::Handle& readEnd, os::Handle& writeEnd, bool inheritable) override {
    return Processes.CreatePipe(readEnd, writeEnd, inheritable);
  }
  bool SetHandleInformation(os::Handle h, uint32_t mask, uint32_t flags) override {
    return Processes.SetHandleInformation(h, mask, flags);
  }
  std::string GetSystemDirectoryA() override { return Processes.GetSystemDirectoryA(); }
  bool CreateProcessA(const std::string& commandLine, uint32_t flags, os::Handle stdIn, os::Handle stdOut,
                      os::Handle stdErr, os::ProcessInformation& pi) override {
    return Processes.CreateProcessA(commandLine, flags, stdIn, stdOut, stdErr, pi);
  }
  uint32_t WaitForSingleObject(os::Handle h, uint32_t ms) override { return Processes.WaitForSingleObject(h, ms); }
  bool PeekNamedPipe(os::Handle pipe, uint32_t& available) override { return Processes.PeekNamedPipe(pipe, available); }
  bool GetExitCodeProcess(os::Handle process, uint32_t& code) override {
    return Processes.GetExitCodeProcess(process, code);
  }
  os::HResult CoInitializeEx(uint32_t coInit) override { return System.CoInitializeEx(coInit); }
  void CoUninitialize() override { System.CoUninitialize(); }
  os::HResult CoInitializeSecurity(uint32_t authnLevel, uint32_t impLevel, uint32_t capabilities) override {
    return System.CoInitializeSecurity(authnLevel, impLevel, capabilities);
  }
  os::HResult CreateWbemLocator(uint32_t clsContext, os::ComObject& locator) override {
    return System.CreateWbemLocator(clsContext, locator);
  }
  os::HResult WbemConnectServer(os::ComObject locator, const std::wstring& ns, os::ComObject& services) override {
    return System.WbemConnectServer(locator, ns, services);
  }
  os::HResult CoSetProxyBlanket(os::ComObject services, uint32_t authn, uint32_t authz, uint32_t authnLevel,
                                uint32_t impLevel, uint32_t capabilities) override {
    return System.CoSetProxyBlanket(services, authn, authz, authnLevel, impLevel, capabilities);
  }
  os::HResult WbemExecQuery(os::ComObject services, const std::wstring& language, const std::wstring& query,
                            int32_t flags, os::ComObject& enumerator) override {
    return System.WbemExecQuery(services, language, query, flags, enumerator);
  }
  os::HResult WbemNext(os::ComObject enumerator, int32_t timeout, os::ComObject& object, uint32_t& returned) override {
    return System.WbemNext(enumerator, timeout, object, returned);
  }
  os::HResult WbemGet(os::ComObject object, const std::wstring& name, os::Variant& value) override {
    return System.WbemGet(object, name, value);
  }
  uint32_t ComRelease(os::ComObject object) override { return System.ComRelease(object); }
  void WriteStdOut(const std::string& text) override { System.WriteStdOut(text); }
  void WriteStdOutWide(const std::wstring& text) override { System.WriteStdOutWide(text); }
  os::Handle GetCurrentProcess() override { return System.GetCurrentProcess(); }
  bool OpenProcessToken(os::Handle process, uint32_t access, os::Handle& token) override {
    return System.OpenProcessToken(process, access, token);
  }
  bool LookupPrivilegeValueA(const std::string& name, os::Luid& luid) override {
    return System.LookupPrivilegeValueA(name, luid);
  }
  bool AdjustTokenPrivileges(os::Handle token, bool disableAll, const os::TokenPrivileges1& privileges) override {
    return System.AdjustTokenPrivileges(token, disableAll, privileges);
  }
  bool InitiateSystemShutdownA(uint32_t timeoutSeconds, bool forceAppsClosed, bool reboot) override {
    return System.InitiateSystemShutdownA(timeoutSeconds, forceAppsClosed, reboot);
  }
  // The clock's ms; local time is 2026-12-09 09:00:00.000 plus the clock.
  uint32_t GetTickCount() override { return System.GetTickCount(); }
  void GetLocalTime(os::SystemTime& time) override { System.GetLocalTime(time); }
  bool AttachConsole(uint32_t processId) override { return System.AttachConsole(processId); }
  bool GetFileInformationByHandle(os::Handle file, os::FileIdentity& identity) override {
    return Processes.GetFileInformationByHandle(file, identity);
  }

 private:
  void Progress() override { Processes.Progress(); }
  void Closed(os::Handle h, const Object& object) override {
    System.Closed(h, object);
    Processes.Closed(h, object.kind);
  }

  SimDiskDriver driver_{*this, Disks, PnpDevices};
};

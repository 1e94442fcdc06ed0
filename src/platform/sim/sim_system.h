// The simulated PC's system services: the process's command line and paths,
// mutexes, windows and messages, message boxes, the console, the clock's time
// and the version queries (sim_desktop.cpp), and COM and WMI, standard output,
// the process token's privileges and the shutdown request (sim_system.cpp),
// done through the machine's core.
//
// COM is modelled for the program's one thread: its apartment and
// initialisation count, the process-wide security set-up, and every COM object
// handed out with its reference count, so tests can assert that each object is
// released exactly once and COM is left as it was found. WMI answers
// "SELECT * FROM <class>" in root\cimv2 from a list of memory modules whose
// properties are stored as WMI delivers them. Misuse that Windows would punish
// with a crash or a leak (a release too many, a call on a released object,
// CoUninitialize without a matching CoInitializeEx) is listed in ComFaults.
// A shutdown is recorded, never performed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/os_types.h"
#include "platform/sim/sim_core.h"

class SimPc;

// HRESULTs the simulated COM and WMI answer with (winerror.h, wbemcli.h).
namespace simhr {
constexpr os::HResult kSFalse = 1;
constexpr os::HResult kWbemSFalse = 1;
constexpr os::HResult kEInvalidArg = static_cast<os::HResult>(0x80070057u);
constexpr os::HResult kCoENotInitialized = static_cast<os::HResult>(0x800401F0u);
constexpr os::HResult kRegdbEClassNotReg = static_cast<os::HResult>(0x80040154u);
constexpr os::HResult kRpcEChangedMode = static_cast<os::HResult>(0x80010106u);
constexpr os::HResult kWbemENotFound = static_cast<os::HResult>(0x80041002u);
constexpr os::HResult kWbemEInvalidParameter = static_cast<os::HResult>(0x80041008u);
constexpr os::HResult kWbemEInvalidNamespace = static_cast<os::HResult>(0x8004100Eu);
constexpr os::HResult kWbemEInvalidClass = static_cast<os::HResult>(0x80041010u);
constexpr os::HResult kWbemEInvalidQueryType = static_cast<os::HResult>(0x80041011u);
constexpr os::HResult kWbemEInvalidQuery = static_cast<os::HResult>(0x80041017u);
}  // namespace simhr

// Win32 errors of the token and shutdown calls (winerror.h).
constexpr uint32_t kSimErrorShutdownInProgress = 1115;
constexpr uint32_t kSimErrorNoSuchPrivilege = 1313;
constexpr uint32_t kSimErrorPrivilegeNotHeld = 1314;

enum class SimApartment { None, SingleThreaded, MultiThreaded };

// One Win32_PhysicalMemory instance: its properties by name, each as WMI
// delivers it. Text properties and the uint64 Capacity come as VT_BSTR (WMI
// carries 64-bit integers as decimal text), uint16 properties as VT_I4, and a
// property the firmware leaves unset as VT_NULL. A property absent from the
// map does not exist in the class (Get answers WBEM_E_NOT_FOUND).
struct SimMemoryModule {
  std::map<std::wstring, os::Variant> Properties;

  // A module with the properties the program reads, as a typical board
  // reports them. Form factors: 8 DIMM, 12 SODIMM, 0 unknown.
  static SimMemoryModule Make(uint64_t capacityBytes, int formFactor, const std::wstring& bankLabel);

  SimMemoryModule& SetText(const std::wstring& name, const std::wstring& text);
  SimMemoryModule& SetInteger(const std::wstring& name, int64_t value);
  SimMemoryModule& SetNull(const std::wstring& name);
  SimMemoryModule& Remove(const std::wstring& name);
};

// One InitiateSystemShutdownA request the system accepted.
struct SimShutdown {
  uint32_t TimeoutSeconds;
  bool ForceAppsClosed;
  bool Reboot;
};

class SimSystem {
 public:
  SimSystem(SimCore& core, SimPc& pc) : core_(core), pc_(pc) {}

  // ---- COM on the program's thread ----
  SimApartment Apartment() const;
  int ComInitCount() const;          // CoInitializeEx successes not yet given back
  bool SecurityInitialized() const;  // CoInitializeSecurity has been accepted
  // The thread is already in the apartment, initialised once, before the
  // program's code runs (a host made it so).
  void InitializedBefore(SimApartment apartment);
  // The process's COM security is already set up.
  void SecurityInitializedBefore();
  std::vector<std::string> ComFaults;

  // ---- WMI ----
  std::vector<SimMemoryModule> MemoryModules;
  // COM objects handed out and still referenced.
  int LiveComObjects() const;

  // ---- the process's standard output ----
  std::string StdOut;       // the narrow stream
  std::wstring StdOutWide;  // the wide-character stream

  // ---- the process token: the privileges it holds, by name, and whether
  // each is enabled. An administrator's token holds the shutdown privilege
  // disabled; a restricted one does not hold it at all. ----
  std::map<std::string, bool> TokenPrivileges = {{"SeShutdownPrivilege", false}, {"SeChangeNotifyPrivilege", true}};
  bool PrivilegeEnabled(const std::string& name) const;

  // ---- shutdown ----
  std::vector<SimShutdown> Shutdowns;

  // The console's text as a reader of its screen would see it.
  std::string ConsoleText() const;
  // Forgets a handle just closed: the console's, or a mutex's last one.
  void Closed(os::Handle h, const SimCore::Object& closed);

  // ---- the Os calls, as SimPc passes them on ----
  std::string GetCommandLineA();
  std::string GetModuleFileNameA();
  std::string GetTempPathA(uint32_t bufferChars);
  void Sleep(uint32_t ms);
  std::string CharUpperBuffA(const std::string& text);
  os::Handle OpenMutexA(uint32_t access, bool inherit, const std::string& name);
  os::Handle CreateMutexA(const std::string& sddl, bool initialOwner, const std::string& name);
  os::Handle FindWindowA(const std::string& className, const std::string& windowName);
  bool PostMessageA(os::Handle window, uint32_t msg, uintptr_t wParam, intptr_t lParam);
  int MessageBoxA(const std::string& text, const std::string& caption, uint32_t type);
  bool AllocConsole();
  bool FreeConsole();
  os::Handle GetStdHandle(uint32_t which);
  bool WriteConsoleA(os::Handle out, const std::string& bytes);
  bool GetConsoleScreenBufferInfo(os::Handle out, uint16_t& attributes);
  bool SetConsoleTextAttribute(os::Handle out, uint16_t attributes);
  bool AttachConsole(uint32_t processId);
  uint32_t GetTickCount();
  void GetLocalTime(os::SystemTime& time);
  os::Proc GetProcAddress(const std::string& module, const std::string& name);
  bool IsWow64Process(os::Proc fn, bool& wow64);
  void GetNativeSystemInfo(os::Proc fn, os::SystemInfo& info);
  bool GetProductInfo(os::Proc fn, uint32_t major, uint32_t minor, uint32_t spMajor, uint32_t spMinor,
                      uint32_t& productType);
  void GetSystemInfo(os::SystemInfo& info);
  bool GetVersionExA(os::OsVersionInfoExA& record);
  int GetSystemMetrics(int index);
  os::HResult CoInitializeEx(uint32_t coInit);
  void CoUninitialize();
  os::HResult CoInitializeSecurity(uint32_t authnLevel, uint32_t impLevel, uint32_t capabilities);
  os::HResult CreateWbemLocator(uint32_t clsContext, os::ComObject& locator);
  os::HResult WbemConnectServer(os::ComObject locator, const std::wstring& ns, os::ComObject& services);
  os::HResult CoSetProxyBlanket(os::ComObject services, uint32_t authn, uint32_t authz, uint32_t authnLevel,
                                uint32_t impLevel, uint32_t capabilities);
  os::HResult WbemExecQuery(os::ComObject services, const std::wstring& language, const std::wstring& query,
                            int32_t flags, os::ComObject& enumerator);
  os::HResult WbemNext(os::ComObject enumerator, int32_t timeout, os::ComObject& object, uint32_t& returned);
  os::HResult WbemGet(os::ComObject object, const std::wstring& name, os::Variant& value);
  uint32_t ComRelease(os::ComObject object);
  void WriteStdOut(const std::string& text);
  void WriteStdOutWide(const std::wstring& text);
  os::Handle GetCurrentProcess();
  bool OpenProcessToken(os::Handle process, uint32_t access, os::Handle& token);
  bool LookupPrivilegeValueA(const std::string& name, os::Luid& luid);
  bool AdjustTokenPrivileges(os::Handle token, bool disableAll, const os::TokenPrivileges1& privileges);
  bool InitiateSystemShutdownA(uint32_t timeoutSeconds, bool forceAppsClosed, bool reboot);

 private:
  enum class ComKind { Locator, Services, Enumerator, ClassObject };
  struct ComState {
    ComState(ComKind kind = ComKind::Locator) : Kind(kind) {}
    ComKind Kind;
    uint32_t Refs = 1;
    std::vector<std::size_t> Rows;  // an enumerator's result, as module indices
    std::size_t Next = 0;           // an enumerator's position
    std::size_t Module = 0;         // a class object's module
  };
  os::ComObject NewComObject(ComState state);
  // The live object of the kind, or nullptr (and a fault listed for `call`).
  ComState* LiveComObject(os::ComObject object, ComKind kind, const char* call);

  SimCore& core_;
  SimPc& pc_;  // the machine description: its paths, windows, console and version
  SimApartment apartment_ = SimApartment::None;
  int comInitCount_ = 0;
  bool securityInitialized_ = false;
  std::map<os::ComObject, ComState> comObjects_;  // released ones stay with Refs 0
  os::ComObject nextComObject_ = 0x00A10000;
  os::Handle consoleOutput_ = os::kNull;  // the std output handle while a console exists
  os::Handle stdOutFile_ = os::kNull;     // the std output handle onto StdOutFile
};

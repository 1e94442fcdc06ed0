// The simulated PC's system services: COM and WMI, standard output, the
// process token's privileges and the shutdown request.
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

struct SimSystem {
  // ---- COM on the program's thread ----
  SimApartment Apartment = SimApartment::None;
  int ComInitCount = 0;             // CoInitializeEx successes not yet given back
  bool SecurityInitialized = false;  // CoInitializeSecurity has been accepted
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
  std::map<std::string, bool> TokenPrivileges = {{"SeShutdownPrivilege", false},
                                                 {"SeChangeNotifyPrivilege", true}};
  bool PrivilegeEnabled(const std::string& name) const;

  // ---- shutdown ----
  std::vector<SimShutdown> Shutdowns;

  // ---- used by SimPc ----
  enum class ComKind { Locator, Services, Enumerator, ClassObject };
  struct ComState {
    ComState(ComKind kind = ComKind::Locator) : Kind(kind) {}
    ComKind Kind;
    uint32_t Refs = 1;
    std::vector<std::size_t> Rows;  // an enumerator's result, as module indices
    std::size_t Next = 0;           // an enumerator's position
    std::size_t Module = 0;         // a class object's module
  };
  std::map<os::ComObject, ComState> ComObjects;  // released ones stay with Refs 0
  os::ComObject NextComObject = 0x00A10000;

  os::ComObject NewComObject(ComState state);
  // The live object of the kind, or nullptr (and a fault listed for `call`).
  ComState* LiveComObject(os::ComObject object, ComKind kind, const char* call);
};

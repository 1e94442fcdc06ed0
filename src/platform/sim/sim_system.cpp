// The simulated PC's COM/WMI, standard output, token and shutdown calls.
#include <cctype>
#include <cwctype>
#include <sstream>

#include "platform/sim/sim_pc.h"

namespace {

constexpr uint32_t kClsctxInprocServer = 0x1;

// Call details are recorded as narrow text; the names and queries here are ASCII.
std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

// WMI compares namespace, class and property names without regard to case.
bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

std::vector<std::wstring> Words(const std::wstring& text) {
  std::wistringstream in(text);
  std::vector<std::wstring> words;
  for (std::wstring w; in >> w;) words.push_back(w);
  return words;
}

const os::Variant* FindProperty(const SimMemoryModule& module, const std::wstring& name) {
  for (const auto& [key, value] : module.Properties)
    if (EqualNoCase(key, name)) return &value;
  return nullptr;
}

// Well-known privilege LUIDs (their values are fixed on every Windows).
struct PrivilegeRow {
  const char* name;
  uint32_t luid;
};
constexpr PrivilegeRow kPrivileges[] = {
    {"SeBackupPrivilege", 17},       {"SeRestorePrivilege", 18},       {"SeShutdownPrivilege", 19},
    {"SeDebugPrivilege", 20},        {"SeChangeNotifyPrivilege", 23}, {"SeRemoteShutdownPrivilege", 24},
};

// assumed: privilege names are matched without regard to case.
const PrivilegeRow* PrivilegeByName(const std::string& name) {
  for (const PrivilegeRow& row : kPrivileges) {
    const std::string known = row.name;
    if (known.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(known[i])) == std::tolower(static_cast<unsigned char>(name[i]));
    if (same) return &row;
  }
  return nullptr;
}

const PrivilegeRow* PrivilegeByLuid(const os::Luid& luid) {
  if (luid.HighPart != 0) return nullptr;
  for (const PrivilegeRow& row : kPrivileges)
    if (row.luid == luid.LowPart) return &row;
  return nullptr;
}

os::Variant Text(const std::wstring& text) {
  os::Variant v;
  v.type = os::Variant::Type::String;
  v.text = text;
  return v;
}

os::Variant Integer(int64_t value) {
  os::Variant v;
  v.type = os::Variant::Type::Integer;
  v.integer = value;
  return v;
}

}  // namespace

// ---- SimMemoryModule ----

SimMemoryModule SimMemoryModule::Make(uint64_t capacityBytes, int formFactor, const std::wstring& bankLabel) {
  SimMemoryModule m;
  m.SetText(L"BankLabel", bankLabel)
      .SetInteger(L"FormFactor", formFactor)
      .SetText(L"Capacity", std::to_wstring(capacityBytes))
      .SetText(L"Caption", L"Physical Memory")
      .SetText(L"CreationClassName", L"Win32_PhysicalMemory")
      .SetInteger(L"DataWidth", 64)
      .SetText(L"Description", L"Physical Memory");
  return m;
}

SimMemoryModule& SimMemoryModule::SetText(const std::wstring& name, const std::wstring& text) {
  Properties[name] = Text(text);
  return *this;
}

SimMemoryModule& SimMemoryModule::SetInteger(const std::wstring& name, int64_t value) {
  Properties[name] = Integer(value);
  return *this;
}

SimMemoryModule& SimMemoryModule::SetNull(const std::wstring& name) {
  Properties[name] = os::Variant{};
  Properties[name].type = os::Variant::Type::Null;
  return *this;
}

SimMemoryModule& SimMemoryModule::Remove(const std::wstring& name) {
  Properties.erase(name);
  return *this;
}

// ---- SimSystem ----

int SimSystem::LiveComObjects() const {
  int live = 0;
  for (const auto& entry : ComObjects)
    if (entry.second.Refs > 0) ++live;
  return live;
}

bool SimSystem::PrivilegeEnabled(const std::string& name) const {
  auto it = TokenPrivileges.find(name);
  return it != TokenPrivileges.end() && it->second;
}

os::ComObject SimSystem::NewComObject(ComState state) {
  const os::ComObject object = NextComObject;
  NextComObject += 0x10;
  ComObjects[object] = std::move(state);
  return object;
}

SimSystem::ComState* SimSystem::LiveComObject(os::ComObject object, ComKind kind, const char* call) {
  auto it = ComObjects.find(object);
  if (it == ComObjects.end() || it->second.Refs == 0 || it->second.Kind != kind) {
    ComFaults.push_back(std::string(call) + " on an object that is not a live one of its kind");
    return nullptr;
  }
  return &it->second;
}

// ---- COM ----

os::HResult SimPc::CoInitializeEx(uint32_t coInit) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::CoInitializeEx, std::to_string(coInit))) return static_cast<os::HResult>(LastError());
  constexpr uint32_t kCoInitApartmentThreaded = 0x2;
  const SimApartment wanted =
      (coInit & kCoInitApartmentThreaded) ? SimApartment::SingleThreaded : SimApartment::MultiThreaded;
  if (System.Apartment != SimApartment::None && System.Apartment != wanted) return simhr::kRpcEChangedMode;
  const bool first = System.Apartment == SimApartment::None;
  System.Apartment = wanted;
  ++System.ComInitCount;
  return first ? os::kSOk : simhr::kSFalse;
}

void SimPc::CoUninitialize() {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Enter(Call::CoUninitialize);
  if (System.ComInitCount == 0) {
    System.ComFaults.push_back("CoUninitialize without a matching CoInitializeEx");
    return;
  }
  if (--System.ComInitCount == 0) System.Apartment = SimApartment::None;
}

// assumed: COM security is set once per process and stays set after the last
// CoUninitialize, so a second CoInitializeSecurity is too late.
os::HResult SimPc::CoInitializeSecurity(uint32_t authnLevel, uint32_t impLevel, uint32_t) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::CoInitializeSecurity, std::to_string(authnLevel) + "," + std::to_string(impLevel)))
    return static_cast<os::HResult>(LastError());
  if (System.Apartment == SimApartment::None) return simhr::kCoENotInitialized;
  if (System.SecurityInitialized) return os::kRpcETooLate;
  System.SecurityInitialized = true;
  return os::kSOk;
}

os::HResult SimPc::CreateWbemLocator(uint32_t clsContext, os::ComObject& locator) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  locator = 0;
  if (Enter(Call::CreateWbemLocator, std::to_string(clsContext))) return static_cast<os::HResult>(LastError());
  if (System.Apartment == SimApartment::None) return simhr::kCoENotInitialized;
  // The locator is registered as an in-process server only.
  if ((clsContext & kClsctxInprocServer) == 0) return simhr::kRegdbEClassNotReg;
  locator = System.NewComObject({SimSystem::ComKind::Locator});
  return os::kSOk;
}

os::HResult SimPc::WbemConnectServer(os::ComObject locator, const std::wstring& ns, os::ComObject& services) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  services = 0;
  if (Enter(Call::WbemConnectServer, Narrow(ns))) return static_cast<os::HResult>(LastError());
  if (!System.LiveComObject(locator, SimSystem::ComKind::Locator, "ConnectServer"))
    return simhr::kWbemEInvalidParameter;
  if (!EqualNoCase(ns, L"root\\cimv2")) return simhr::kWbemEInvalidNamespace;
  services = System.NewComObject({SimSystem::ComKind::Services});
  return os::kSOk;
}

// assumed: the local WMI service answers whether or not a blanket was set.
os::HResult SimPc::CoSetProxyBlanket(os::ComObject services, uint32_t authn, uint32_t, uint32_t authnLevel,
                                     uint32_t impLevel, uint32_t) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::CoSetProxyBlanket,
            std::to_string(authn) + "," + std::to_string(authnLevel) + "," + std::to_string(impLevel)))
    return static_cast<os::HResult>(LastError());
  if (!System.LiveComObject(services, SimSystem::ComKind::Services, "CoSetProxyBlanket")) return simhr::kEInvalidArg;
  return os::kSOk;
}

os::HResult SimPc::WbemExecQuery(os::ComObject services, const std::wstring& language, const std::wstring& query,
                                 int32_t flags, os::ComObject& enumerator) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  enumerator = 0;
  if (Enter(Call::WbemExecQuery, Narrow(query) + " flags=" + std::to_string(flags)))
    return static_cast<os::HResult>(LastError());
  if (!System.LiveComObject(services, SimSystem::ComKind::Services, "ExecQuery"))
    return simhr::kWbemEInvalidParameter;
  if (!EqualNoCase(language, L"WQL")) return simhr::kWbemEInvalidQueryType;
  const std::vector<std::wstring> words = Words(query);
  if (words.size() != 4 || !EqualNoCase(words[0], L"SELECT") || words[1] != L"*" || !EqualNoCase(words[2], L"FROM"))
    return simhr::kWbemEInvalidQuery;
  if (!EqualNoCase(words[3], L"Win32_PhysicalMemory")) return simhr::kWbemEInvalidClass;
  SimSystem::ComState state{SimSystem::ComKind::Enumerator};
  for (std::size_t i = 0; i < System.MemoryModules.size(); ++i) state.Rows.push_back(i);
  enumerator = System.NewComObject(std::move(state));
  return os::kSOk;
}

// At the end of the result Next answers WBEM_S_FALSE with no object.
os::HResult SimPc::WbemNext(os::ComObject enumerator, int32_t timeout, os::ComObject& object, uint32_t& returned) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  object = 0;
  returned = 0;
  if (Enter(Call::WbemNext, std::to_string(timeout))) return static_cast<os::HResult>(LastError());
  SimSystem::ComState* e = System.LiveComObject(enumerator, SimSystem::ComKind::Enumerator, "Next");
  if (!e) return simhr::kWbemEInvalidParameter;
  if (e->Next >= e->Rows.size()) return simhr::kWbemSFalse;
  SimSystem::ComState row{SimSystem::ComKind::ClassObject};
  row.Module = e->Rows[e->Next++];
  object = System.NewComObject(std::move(row));
  returned = 1;
  return os::kSOk;
}

os::HResult SimPc::WbemGet(os::ComObject object, const std::wstring& name, os::Variant& value) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  value = os::Variant{};
  if (Enter(Call::WbemGet, Narrow(name))) return static_cast<os::HResult>(LastError());
  const SimSystem::ComState* o = System.LiveComObject(object, SimSystem::ComKind::ClassObject, "Get");
  if (!o) return simhr::kWbemEInvalidParameter;
  if (o->Module >= System.MemoryModules.size()) return simhr::kWbemENotFound;
  const os::Variant* property = FindProperty(System.MemoryModules[o->Module], name);
  if (!property) return simhr::kWbemENotFound;
  value = *property;
  return os::kSOk;
}

uint32_t SimPc::ComRelease(os::ComObject object) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Enter(Call::ComRelease);
  auto it = System.ComObjects.find(object);
  if (it == System.ComObjects.end() || it->second.Refs == 0) {
    System.ComFaults.push_back("Release of an object that is not live");
    return 0;
  }
  return --it->second.Refs;
}

// ---- standard output ----

void SimPc::WriteStdOut(const std::string& text) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Enter(Call::WriteStdOut, text);
  System.StdOut += text;
}

void SimPc::WriteStdOutWide(const std::wstring& text) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Enter(Call::WriteStdOutWide, Narrow(text));
  System.StdOutWide += text;
}

// ---- token privileges and shutdown ----

// The pseudo handle of the current process: (HANDLE)-1, never closed.
os::Handle SimPc::GetCurrentProcess() {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Enter(Call::GetCurrentProcess);
  return os::kInvalid;
}

bool SimPc::OpenProcessToken(os::Handle process, uint32_t access, os::Handle& token) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::OpenProcessToken, std::to_string(access))) return false;
  if (process != os::kInvalid && !Find(process, Kind::Process)) {
    LastError() = os::kErrorInvalidHandle;
    return false;
  }
  token = NewHandle(Kind::Token, "process token", access);
  return true;
}

bool SimPc::LookupPrivilegeValueA(const std::string& name, os::Luid& luid) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::LookupPrivilegeValueA, name)) return false;
  const PrivilegeRow* row = PrivilegeByName(name);
  if (!row) {
    LastError() = kSimErrorNoSuchPrivilege;
    return false;
  }
  luid = os::Luid{row->luid, 0};
  return true;
}

// Success with ERROR_NOT_ALL_ASSIGNED when the token does not hold the
// privilege, as Windows documents; the caller has to read the last error.
bool SimPc::AdjustTokenPrivileges(os::Handle token, bool disableAll, const os::TokenPrivileges1& privileges) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::AdjustTokenPrivileges, std::to_string(privileges.Attributes))) return false;
  const Object* t = Find(token, Kind::Token);
  if (!t) {
    LastError() = os::kErrorInvalidHandle;
    return false;
  }
  if ((t->access & os::kTokenAdjustPrivileges) == 0) {
    LastError() = os::kErrorAccessDenied;
    return false;
  }
  if (disableAll) {
    for (auto& entry : System.TokenPrivileges) entry.second = false;
    LastError() = os::kErrorSuccess;
    return true;
  }
  // assumed: a count beyond the one entry the record carries is refused.
  if (privileges.PrivilegeCount > 1) {
    LastError() = os::kErrorInvalidParameter;
    return false;
  }
  bool allAssigned = true;
  if (privileges.PrivilegeCount == 1) {
    const PrivilegeRow* row = PrivilegeByLuid(privileges.PrivilegeLuid);
    auto held = row ? System.TokenPrivileges.find(row->name) : System.TokenPrivileges.end();
    if (held == System.TokenPrivileges.end())
      allAssigned = false;
    else
      held->second = (privileges.Attributes & os::kSePrivilegeEnabled) != 0;
  }
  LastError() = allAssigned ? os::kErrorSuccess : os::kErrorNotAllAssigned;
  return true;
}

// assumed: without the shutdown privilege enabled the request fails with
// ERROR_PRIVILEGE_NOT_HELD; while an accepted one is pending, with
// ERROR_SHUTDOWN_IN_PROGRESS.
bool SimPc::InitiateSystemShutdownA(uint32_t timeoutSeconds, bool forceAppsClosed, bool reboot) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::InitiateSystemShutdownA, std::to_string(timeoutSeconds))) return false;
  if (!System.PrivilegeEnabled("SeShutdownPrivilege")) {
    LastError() = kSimErrorPrivilegeNotHeld;
    return false;
  }
  if (!System.Shutdowns.empty()) {
    LastError() = kSimErrorShutdownInProgress;
    return false;
  }
  System.Shutdowns.push_back({timeoutSeconds, forceAppsClosed, reboot});
  return true;
}

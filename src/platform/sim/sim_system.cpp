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

SimApartment SimSystem::Apartment() const {
  const auto lock = core_.Lock();
  return apartment_;
}

int SimSystem::ComInitCount() const {
  const auto lock = core_.Lock();
  return comInitCount_;
}

bool SimSystem::SecurityInitialized() const {
  const auto lock = core_.Lock();
  return securityInitialized_;
}

void SimSystem::InitializedBefore(SimApartment apartment) {
  const auto lock = core_.Lock();
  apartment_ = apartment;
  comInitCount_ = 1;
}

void SimSystem::SecurityInitializedBefore() {
  const auto lock = core_.Lock();
  securityInitialized_ = true;
}

int SimSystem::LiveComObjects() const {
  int live = 0;
  for (const auto& entry : comObjects_)
    if (entry.second.Refs > 0) ++live;
  return live;
}

bool SimSystem::PrivilegeEnabled(const std::string& name) const {
  auto it = TokenPrivileges.find(name);
  return it != TokenPrivileges.end() && it->second;
}

os::ComObject SimSystem::NewComObject(ComState state) {
  const os::ComObject object = nextComObject_;
  nextComObject_ += 0x10;
  comObjects_[object] = std::move(state);
  return object;
}

SimSystem::ComState* SimSystem::LiveComObject(os::ComObject object, ComKind kind, const char* call) {
  auto it = comObjects_.find(object);
  if (it == comObjects_.end() || it->second.Refs == 0 || it->second.Kind != kind) {
    ComFaults.push_back(std::string(call) + " on an object that is not a live one of its kind");
    return nullptr;
  }
  return &it->second;
}

// ---- COM ----

os::HResult SimSystem::CoInitializeEx(uint32_t coInit) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::CoInitializeEx, std::to_string(coInit))) return static_cast<os::HResult>(core_.LastError());
  constexpr uint32_t kCoInitApartmentThreaded = 0x2;
  const SimApartment wanted =
      (coInit & kCoInitApartmentThreaded) ? SimApartment::SingleThreaded : SimApartment::MultiThreaded;
  if (apartment_ != SimApartment::None && apartment_ != wanted) return simhr::kRpcEChangedMode;
  const bool first = apartment_ == SimApartment::None;
  apartment_ = wanted;
  ++comInitCount_;
  return first ? os::kSOk : simhr::kSFalse;
}

void SimSystem::CoUninitialize() {
  const auto lock = core_.Lock();
  core_.Enter(Call::CoUninitialize);
  if (comInitCount_ == 0) {
    ComFaults.push_back("CoUninitialize without a matching CoInitializeEx");
    return;
  }
  if (--comInitCount_ == 0) apartment_ = SimApartment::None;
}

// assumed: COM security is set once per process and stays set after the last
// CoUninitialize, so a second CoInitializeSecurity is too late.
os::HResult SimSystem::CoInitializeSecurity(uint32_t authnLevel, uint32_t impLevel, uint32_t) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::CoInitializeSecurity, std::to_string(authnLevel) + "," + std::to_string(impLevel)))
    return static_cast<os::HResult>(core_.LastError());
  if (apartment_ == SimApartment::None) return simhr::kCoENotInitialized;
  if (securityInitialized_) return os::kRpcETooLate;
  securityInitialized_ = true;
  return os::kSOk;
}

os::HResult SimSystem::CreateWbemLocator(uint32_t clsContext, os::ComObject& locator) {
  const auto lock = core_.Lock();
  locator = 0;
  if (core_.Enter(Call::CreateWbemLocator, std::to_string(clsContext))) return static_cast<os::HResult>(core_.LastError());
  if (apartment_ == SimApartment::None) return simhr::kCoENotInitialized;
  // The locator is registered as an in-process server only.
  if ((clsContext & kClsctxInprocServer) == 0) return simhr::kRegdbEClassNotReg;
  locator = NewComObject({SimSystem::ComKind::Locator});
  return os::kSOk;
}

os::HResult SimSystem::WbemConnectServer(os::ComObject locator, const std::wstring& ns, os::ComObject& services) {
  const auto lock = core_.Lock();
  services = 0;
  if (core_.Enter(Call::WbemConnectServer, Narrow(ns))) return static_cast<os::HResult>(core_.LastError());
  if (!LiveComObject(locator, SimSystem::ComKind::Locator, "ConnectServer"))
    return simhr::kWbemEInvalidParameter;
  if (!EqualNoCase(ns, L"root\\cimv2")) return simhr::kWbemEInvalidNamespace;
  services = NewComObject({SimSystem::ComKind::Services});
  return os::kSOk;
}

// assumed: the local WMI service answers whether or not a blanket was set.
os::HResult SimSystem::CoSetProxyBlanket(os::ComObject services, uint32_t authn, uint32_t, uint32_t authnLevel,
                                     uint32_t impLevel, uint32_t) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::CoSetProxyBlanket,
            std::to_string(authn) + "," + std::to_string(authnLevel) + "," + std::to_string(impLevel)))
    return static_cast<os::HResult>(core_.LastError());
  if (!LiveComObject(services, SimSystem::ComKind::Services, "CoSetProxyBlanket")) return simhr::kEInvalidArg;
  return os::kSOk;
}

os::HResult SimSystem::WbemExecQuery(os::ComObject services, const std::wstring& language, const std::wstring& query,
                                 int32_t flags, os::ComObject& enumerator) {
  const auto lock = core_.Lock();
  enumerator = 0;
  if (core_.Enter(Call::WbemExecQuery, Narrow(query) + " flags=" + std::to_string(flags)))
    return static_cast<os::HResult>(core_.LastError());
  if (!LiveComObject(services, SimSystem::ComKind::Services, "ExecQuery"))
    return simhr::kWbemEInvalidParameter;
  if (!EqualNoCase(language, L"WQL")) return simhr::kWbemEInvalidQueryType;
  const std::vector<std::wstring> words = Words(query);
  if (words.size() != 4 || !EqualNoCase(words[0], L"SELECT") || words[1] != L"*" || !EqualNoCase(words[2], L"FROM"))
    return simhr::kWbemEInvalidQuery;
  if (!EqualNoCase(words[3], L"Win32_PhysicalMemory")) return simhr::kWbemEInvalidClass;
  SimSystem::ComState state{SimSystem::ComKind::Enumerator};
  for (std::size_t i = 0; i < MemoryModules.size(); ++i) state.Rows.push_back(i);
  enumerator = NewComObject(std::move(state));
  return os::kSOk;
}

// At the end of the result Next answers WBEM_S_FALSE with no object.
os::HResult SimSystem::WbemNext(os::ComObject enumerator, int32_t timeout, os::ComObject& object, uint32_t& returned) {
  const auto lock = core_.Lock();
  object = 0;
  returned = 0;
  if (core_.Enter(Call::WbemNext, std::to_string(timeout))) return static_cast<os::HResult>(core_.LastError());
  SimSystem::ComState* e = LiveComObject(enumerator, SimSystem::ComKind::Enumerator, "Next");
  if (!e) return simhr::kWbemEInvalidParameter;
  if (e->Next >= e->Rows.size()) return simhr::kWbemSFalse;
  SimSystem::ComState row{SimSystem::ComKind::ClassObject};
  row.Module = e->Rows[e->Next++];
  object = NewComObject(std::move(row));
  returned = 1;
  return os::kSOk;
}

os::HResult SimSystem::WbemGet(os::ComObject object, const std::wstring& name, os::Variant& value) {
  const auto lock = core_.Lock();
  value = os::Variant{};
  if (core_.Enter(Call::WbemGet, Narrow(name))) return static_cast<os::HResult>(core_.LastError());
  const SimSystem::ComState* o = LiveComObject(object, SimSystem::ComKind::ClassObject, "Get");
  if (!o) return simhr::kWbemEInvalidParameter;
  if (o->Module >= MemoryModules.size()) return simhr::kWbemENotFound;
  const os::Variant* property = FindProperty(MemoryModules[o->Module], name);
  if (!property) return simhr::kWbemENotFound;
  value = *property;
  return os::kSOk;
}

uint32_t SimSystem::ComRelease(os::ComObject object) {
  const auto lock = core_.Lock();
  core_.Enter(Call::ComRelease);
  auto it = comObjects_.find(object);
  if (it == comObjects_.end() || it->second.Refs == 0) {
    ComFaults.push_back("Release of an object that is not live");
    return 0;
  }
  return --it->second.Refs;
}

// ---- standard output ----

void SimSystem::WriteStdOut(const std::string& text) {
  const auto lock = core_.Lock();
  core_.Enter(Call::WriteStdOut, text);
  StdOut += text;
}

void SimSystem::WriteStdOutWide(const std::wstring& text) {
  const auto lock = core_.Lock();
  core_.Enter(Call::WriteStdOutWide, Narrow(text));
  StdOutWide += text;
}

// ---- token privileges and shutdown ----

// The pseudo handle of the current process: (HANDLE)-1, never closed.
os::Handle SimSystem::GetCurrentProcess() {
  const auto lock = core_.Lock();
  core_.Enter(Call::GetCurrentProcess);
  return os::kInvalid;
}

bool SimSystem::OpenProcessToken(os::Handle process, uint32_t access, os::Handle& token) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::OpenProcessToken, std::to_string(access))) return false;
  if (process != os::kInvalid && !core_.Find(process, SimCore::Kind::Process)) {
    core_.LastError() = os::kErrorInvalidHandle;
    return false;
  }
  token = core_.NewHandle(SimCore::Kind::Token, "process token", access);
  return true;
}

bool SimSystem::LookupPrivilegeValueA(const std::string& name, os::Luid& luid) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::LookupPrivilegeValueA, name)) return false;
  const PrivilegeRow* row = PrivilegeByName(name);
  if (!row) {
    core_.LastError() = kSimErrorNoSuchPrivilege;
    return false;
  }
  luid = os::Luid{row->luid, 0};
  return true;
}

// Success with ERROR_NOT_ALL_ASSIGNED when the token does not hold the
// privilege, as Windows documents; the caller has to read the last error.
bool SimSystem::AdjustTokenPrivileges(os::Handle token, bool disableAll, const os::TokenPrivileges1& privileges) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::AdjustTokenPrivileges, std::to_string(privileges.Attributes))) return false;
  const SimCore::Object* t = core_.Find(token, SimCore::Kind::Token);
  if (!t) {
    core_.LastError() = os::kErrorInvalidHandle;
    return false;
  }
  if ((t->access & os::kTokenAdjustPrivileges) == 0) {
    core_.LastError() = os::kErrorAccessDenied;
    return false;
  }
  if (disableAll) {
    for (auto& entry : TokenPrivileges) entry.second = false;
    core_.LastError() = os::kErrorSuccess;
    return true;
  }
  // assumed: a count beyond the one entry the record carries is refused.
  if (privileges.PrivilegeCount > 1) {
    core_.LastError() = os::kErrorInvalidParameter;
    return false;
  }
  bool allAssigned = true;
  if (privileges.PrivilegeCount == 1) {
    const PrivilegeRow* row = PrivilegeByLuid(privileges.PrivilegeLuid);
    auto held = row ? TokenPrivileges.find(row->name) : TokenPrivileges.end();
    if (held == TokenPrivileges.end())
      allAssigned = false;
    else
      held->second = (privileges.Attributes & os::kSePrivilegeEnabled) != 0;
  }
  core_.LastError() = allAssigned ? os::kErrorSuccess : os::kErrorNotAllAssigned;
  return true;
}

// assumed: without the shutdown privilege enabled the request fails with
// ERROR_PRIVILEGE_NOT_HELD; while an accepted one is pending, with
// ERROR_SHUTDOWN_IN_PROGRESS.
bool SimSystem::InitiateSystemShutdownA(uint32_t timeoutSeconds, bool forceAppsClosed, bool reboot) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::InitiateSystemShutdownA, std::to_string(timeoutSeconds))) return false;
  if (!PrivilegeEnabled("SeShutdownPrivilege")) {
    core_.LastError() = kSimErrorPrivilegeNotHeld;
    return false;
  }
  if (!Shutdowns.empty()) {
    core_.LastError() = kSimErrorShutdownInProgress;
    return false;
  }
  Shutdowns.push_back({timeoutSeconds, forceAppsClosed, reboot});
  return true;
}

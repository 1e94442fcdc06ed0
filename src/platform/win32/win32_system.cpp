// The real seam's COM/WMI, standard output, token and shutdown calls. COM
// interface pointers cross the seam as their pointer value.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <cstdio>
#include <cwchar>

#include "platform/win32/win32_os.h"

namespace {

// wbemuuid is not linked: the locator's class and interface identities.
const CLSID kClsidWbemLocator = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID kIidWbemLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

static_assert(sizeof(TOKEN_PRIVILEGES) == sizeof(os::TokenPrivileges1), "TOKEN_PRIVILEGES with one entry");
static_assert(sizeof(os::ComObject) == sizeof(void*), "an interface pointer fits the seam's value");

template <class Interface>
Interface* As(os::ComObject object) {
  return reinterpret_cast<Interface*>(object);
}

template <class Interface>
os::ComObject Value(Interface* object) {
  return reinterpret_cast<os::ComObject>(object);
}

// A BSTR for the duration of one call.
class ScopedBstr {
 public:
  explicit ScopedBstr(const std::wstring& text)
      : bstr_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~ScopedBstr() { ::SysFreeString(bstr_); }
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  BSTR Get() const { return bstr_; }

 private:
  BSTR bstr_;
};

// The VARIANT types the program reads; every other type is reported as Other.
os::Variant FromVariant(const VARIANT& v) {
  os::Variant value;
  auto integer = [&value](int64_t n) {
    value.type = os::Variant::Type::Integer;
    value.integer = n;
  };
  switch (V_VT(&v)) {
    case VT_EMPTY: value.type = os::Variant::Type::Empty; break;
    case VT_NULL: value.type = os::Variant::Type::Null; break;
    case VT_BSTR:
      value.type = os::Variant::Type::String;
      if (V_BSTR(&v)) value.text.assign(V_BSTR(&v), ::SysStringLen(V_BSTR(&v)));
      break;
    case VT_I1: integer(V_I1(&v)); break;
    case VT_UI1: integer(V_UI1(&v)); break;
    case VT_I2: integer(V_I2(&v)); break;
    case VT_UI2: integer(V_UI2(&v)); break;
    case VT_I4: integer(V_I4(&v)); break;
    case VT_UI4: integer(V_UI4(&v)); break;
    case VT_I8: integer(V_I8(&v)); break;
    case VT_UI8: integer(static_cast<int64_t>(V_UI8(&v))); break;
    case VT_INT: integer(V_INT(&v)); break;
    case VT_UINT: integer(V_UINT(&v)); break;
    default: value.type = os::Variant::Type::Other; break;
  }
  return value;
}

}  // namespace

os::HResult Win32Os::CoInitializeEx(uint32_t coInit) { return ::CoInitializeEx(nullptr, coInit); }

void Win32Os::CoUninitialize() { ::CoUninitialize(); }

os::HResult Win32Os::CoInitializeSecurity(uint32_t authnLevel, uint32_t impLevel, uint32_t capabilities) {
  return ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, authnLevel, impLevel, nullptr, capabilities, nullptr);
}

os::HResult Win32Os::CreateWbemLocator(uint32_t clsContext, os::ComObject& locator) {
  void* object = nullptr;
  const HRESULT hr = ::CoCreateInstance(kClsidWbemLocator, nullptr, clsContext, kIidWbemLocator, &object);
  locator = SUCCEEDED(hr) ? reinterpret_cast<os::ComObject>(object) : 0;
  return hr;
}

os::HResult Win32Os::WbemConnectServer(os::ComObject locator, const std::wstring& ns, os::ComObject& services) {
  IWbemServices* object = nullptr;
  const ScopedBstr name(ns);
  const HRESULT hr =
      As<IWbemLocator>(locator)->ConnectServer(name.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, &object);
  services = SUCCEEDED(hr) ? Value(object) : 0;
  return hr;
}

os::HResult Win32Os::CoSetProxyBlanket(os::ComObject services, uint32_t authn, uint32_t authz, uint32_t authnLevel,
                                       uint32_t impLevel, uint32_t capabilities) {
  return ::CoSetProxyBlanket(As<IUnknown>(services), authn, authz, nullptr, authnLevel, impLevel, nullptr,
                             capabilities);
}

os::HResult Win32Os::WbemExecQuery(os::ComObject services, const std::wstring& language, const std::wstring& query,
                                   int32_t flags, os::ComObject& enumerator) {
  IEnumWbemClassObject* object = nullptr;
  const ScopedBstr lang(language);
  const ScopedBstr text(query);
  const HRESULT hr = As<IWbemServices>(services)->ExecQuery(lang.Get(), text.Get(), flags, nullptr, &object);
  enumerator = SUCCEEDED(hr) ? Value(object) : 0;
  return hr;
}

os::HResult Win32Os::WbemNext(os::ComObject enumerator, int32_t timeout, os::ComObject& object, uint32_t& returned) {
  IWbemClassObject* next = nullptr;
  ULONG count = 0;
  const HRESULT hr = As<IEnumWbemClassObject>(enumerator)->Next(timeout, 1, &next, &count);
  returned = count;
  object = count == 1 ? Value(next) : 0;
  return hr;
}

os::HResult Win32Os::WbemGet(os::ComObject object, const std::wstring& name, os::Variant& value) {
  VARIANT v;
  ::VariantInit(&v);
  const HRESULT hr = As<IWbemClassObject>(object)->Get(name.c_str(), 0, &v, nullptr, nullptr);
  value = SUCCEEDED(hr) ? FromVariant(v) : os::Variant{};
  ::VariantClear(&v);
  return hr;
}

uint32_t Win32Os::ComRelease(os::ComObject object) { return As<IUnknown>(object)->Release(); }

// Flushed at once so that the lines keep their order with other output and
// survive a process that ends by a restart.
void Win32Os::WriteStdOut(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void Win32Os::WriteStdOutWide(const std::wstring& text) {
  std::fputws(text.c_str(), stdout);
  std::fflush(stdout);
}

os::Handle Win32Os::GetCurrentProcess() { return reinterpret_cast<os::Handle>(::GetCurrentProcess()); }

bool Win32Os::OpenProcessToken(os::Handle process, uint32_t access, os::Handle& token) {
  HANDLE h = nullptr;
  const BOOL ok = ::OpenProcessToken(reinterpret_cast<HANDLE>(process), access, &h);
  if (ok) token = reinterpret_cast<os::Handle>(h);
  return ok != FALSE;
}

bool Win32Os::LookupPrivilegeValueA(const std::string& name, os::Luid& luid) {
  LUID value{};
  if (!::LookupPrivilegeValueA(nullptr, name.c_str(), &value)) return false;
  luid.LowPart = value.LowPart;
  luid.HighPart = value.HighPart;
  return true;
}

bool Win32Os::AdjustTokenPrivileges(os::Handle token, bool disableAll, const os::TokenPrivileges1& privileges) {
  TOKEN_PRIVILEGES state{};
  state.PrivilegeCount = privileges.PrivilegeCount;
  state.Privileges[0].Luid.LowPart = privileges.PrivilegeLuid.LowPart;
  state.Privileges[0].Luid.HighPart = privileges.PrivilegeLuid.HighPart;
  state.Privileges[0].Attributes = privileges.Attributes;
  return ::AdjustTokenPrivileges(reinterpret_cast<HANDLE>(token), disableAll, &state, 0, nullptr, nullptr) != FALSE;
}

bool Win32Os::InitiateSystemShutdownA(uint32_t timeoutSeconds, bool forceAppsClosed, bool reboot) {
  return ::InitiateSystemShutdownA(nullptr, nullptr, timeoutSeconds, forceAppsClosed, reboot) != FALSE;
}

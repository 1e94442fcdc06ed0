#include "sys/wmi_info.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/os.h"
#include "shell/log_kv.h"

namespace {

// COM and WMI arguments (objbase.h, rpcdce.h, wbemcli.h).
constexpr uint32_t kCoInitMultithreaded = 0x0;
constexpr uint32_t kRpcCAuthnLevelDefault = 0;
constexpr uint32_t kRpcCAuthnLevelCall = 3;
constexpr uint32_t kRpcCImpLevelImpersonate = 3;
constexpr uint32_t kEoacNone = 0;
constexpr uint32_t kClsctxInprocServer = 0x1;
constexpr uint32_t kRpcCAuthnWinNt = 10;
constexpr uint32_t kRpcCAuthzNone = 0;
constexpr int32_t kWbemFlagReturnImmediately = 0x10;
constexpr int32_t kWbemFlagForwardOnly = 0x20;
constexpr int32_t kWbemInfinite = -1;  // 0xFFFFFFFF as a signed timeout

constexpr int kMaxModules = 256;
constexpr int64_t kFormFactorDimm = 8;
constexpr int64_t kFormFactorSodimm = 12;

// The failure lines: the log text, then the text on standard output (which
// differs for two steps).
struct FailureText {
  const char* log;
  const char* out;
};
constexpr FailureText kSecurityFailed = {"Failed to initialize security. Error code = 0x",
                                         "Failed to initialize security. Error code = 0x"};
constexpr FailureText kLocatorFailed = {"Failed to create IWbemLocator object. Error code = 0x",
                                        "Failed to create IWbemLocator object. Err code = 0x"};
constexpr FailureText kConnectFailed = {"Could not connect. Error code = 0x", "Could not connect. Error code = 0x"};
constexpr FailureText kProxyFailed = {"Could not set proxy blanket. Error code = 0x",
                                      "Could not set proxy blanket. Error code = 0x"};
constexpr FailureText kQueryFailed = {"Query for operating system name failed. Error code = 0x",
                                      "Query for operating system name failed. Error code = 0x"};

// The log carries exactly eight upper-case digits; standard output the
// lower-case digits without leading zeros.
// Off while the standard output carries an unattended run's report.
bool g_describe = true;

void ReportFailure(Os& os, const FailureText& text, os::HResult hr) {
  const unsigned long code = static_cast<uint32_t>(hr);
  char log[9];
  char out[9];
  std::snprintf(log, sizeof log, "%08lX", code);
  std::snprintf(out, sizeof out, "%lx", code);
  LogLine(std::string(text.log) + log);
  if (g_describe) os.WriteStdOut(std::string(text.out) + out + "\n");
}

// Holds one reference to a COM object obtained through the seam and gives it
// back through the seam, so the simulated PC sees every release.
class SeamComRef {
 public:
  explicit SeamComRef(Os& os) : os_(os) {}
  ~SeamComRef() { Reset(); }
  SeamComRef(const SeamComRef&) = delete;
  SeamComRef& operator=(const SeamComRef&) = delete;

  os::ComObject Get() const { return object_; }
  // For a call that hands out a new reference.
  os::ComObject& Out() {
    Reset();
    return object_;
  }
  void Reset() {
    if (object_ != 0) os_.ComRelease(object_);
    object_ = 0;
  }

 private:
  Os& os_;
  os::ComObject object_ = 0;
};

// A property's value; nothing when it is null, absent or could not be read.
// Failures of single property reads are not reported: the module is still
// listed, with what could be read.
std::optional<os::Variant> ReadProperty(Os& os, os::ComObject object, const wchar_t* name) {
  os::Variant value;
  if (!os::Succeeded(os.WbemGet(object, name, value))) return std::nullopt;
  if (value.type != os::Variant::Type::String && value.type != os::Variant::Type::Integer) return std::nullopt;
  return value;
}

// A whole decimal number with an optional sign, as WMI writes 64-bit values;
// nothing when the text is not one or does not fit in 64 bits.
std::optional<int64_t> ParseInt64(const std::wstring& text) {
  std::size_t i = 0;
  bool negative = false;
  if (!text.empty() && (text[0] == L'-' || text[0] == L'+')) {
    negative = text[0] == L'-';
    i = 1;
  }
  if (i == text.size()) return std::nullopt;
  uint64_t magnitude = 0;
  const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  for (; i < text.size(); ++i) {
    if (text[i] < L'0' || text[i] > L'9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(text[i] - L'0');
    if (magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

std::optional<int64_t> AsInteger(const std::optional<os::Variant>& value) {
  if (!value) return std::nullopt;
  if (value->type == os::Variant::Type::Integer) return value->integer;
  return ParseInt64(value->text);
}

std::wstring AsText(const std::optional<os::Variant>& value) {
  if (!value) return L"";
  if (value->type == os::Variant::Type::Integer) return std::to_wstring(value->integer);
  return value->text;
}

std::wstring AsNumberText(const std::optional<int64_t>& value) {
  return value ? std::to_wstring(*value) : L"";
}

void WriteWideLine(Os& os, const wchar_t* name, const std::wstring& value) {
  if (g_describe) os.WriteStdOutWide(std::wstring(name) + L"=" + value + L"\n");
}

// Lists one module on the wide stream; returns the MB it adds to the total.
// A null or missing value prints as nothing and counts as 0.
int64_t ListModule(Os& os, os::ComObject module) {
  WriteWideLine(os, L"BankLabel", AsText(ReadProperty(os, module, L"BankLabel")));
  const int64_t formFactor = AsInteger(ReadProperty(os, module, L"FormFactor")).value_or(0);
  std::optional<int64_t> mb = AsInteger(ReadProperty(os, module, L"Capacity"));
  if (mb) *mb /= static_cast<int64_t>(kBytesPerMb);
  const bool counted = formFactor == kFormFactorDimm || formFactor == kFormFactorSodimm;
  WriteWideLine(os, L"Capacity", AsNumberText(mb));
  WriteWideLine(os, L"Caption", AsText(ReadProperty(os, module, L"Caption")));
  WriteWideLine(os, L"CreationClassName", AsText(ReadProperty(os, module, L"CreationClassName")));
  WriteWideLine(os, L"DataWidth", AsNumberText(AsInteger(ReadProperty(os, module, L"DataWidth"))));
  WriteWideLine(os, L"Description", AsText(ReadProperty(os, module, L"Description")));
  return counted ? mb.value_or(0) : 0;
}

// Everything between COM's initialisation and its end; every object it
// obtains is released before it returns.
int64_t QueryInstalledMemoryMb(Os& os) {
  os::HResult hr = os.CoInitializeSecurity(kRpcCAuthnLevelDefault, kRpcCImpLevelImpersonate, kEoacNone);
  // Security set already (by an earlier query or a component that used COM
  // first) serves the query as it is.
  if (!os::Succeeded(hr) && hr != os::kRpcETooLate) {
    ReportFailure(os, kSecurityFailed, hr);
    return 0;
  }

  SeamComRef locator(os);
  hr = os.CreateWbemLocator(kClsctxInprocServer, locator.Out());
  if (!os::Succeeded(hr)) {
    ReportFailure(os, kLocatorFailed, hr);
    return 0;
  }

  SeamComRef services(os);  // released before the locator on every path
  hr = os.WbemConnectServer(locator.Get(), L"root\\cimv2", services.Out());
  if (!os::Succeeded(hr)) {
    ReportFailure(os, kConnectFailed, hr);
    return 0;
  }
  if (g_describe) os.WriteStdOut("Connected to ROOT\\CIMV2 WMI namespace\n");

  hr = os.CoSetProxyBlanket(services.Get(), kRpcCAuthnWinNt, kRpcCAuthzNone, kRpcCAuthnLevelCall,
                            kRpcCImpLevelImpersonate, kEoacNone);
  if (!os::Succeeded(hr)) {
    ReportFailure(os, kProxyFailed, hr);
    return 0;
  }

  SeamComRef enumerator(os);
  hr = os.WbemExecQuery(services.Get(), L"WQL", L"SELECT * FROM Win32_PhysicalMemory",
                        kWbemFlagForwardOnly | kWbemFlagReturnImmediately, enumerator.Out());
  if (!os::Succeeded(hr)) {
    ReportFailure(os, kQueryFailed, hr);
    return 0;
  }

  int64_t totalMb = 0;
  for (int i = 0; i < kMaxModules; ++i) {
    SeamComRef module(os);
    uint32_t returned = 0;
    os.WbemNext(enumerator.Get(), kWbemInfinite, module.Out(), returned);
    if (returned == 0 || module.Get() == 0) break;
    totalMb += ListModule(os, module.Get());
  }

  services.Reset();
  locator.Reset();
  enumerator.Reset();
  return totalMb;
}

std::unique_ptr<TWmiInfo> g_wmiInfo;

}  // namespace

uint32_t TWmiInfo::GetPhysicalMemorySize() {
  Os& os = CurrentOs();
  // A thread that already lives in a single-threaded apartment gets
  // RPC_E_CHANGED_MODE and the query runs in that apartment. Only a call that
  // succeeded (S_OK, or S_FALSE when the thread was already in the
  // multithreaded apartment) took a count, so only that one is given back:
  // the caller's apartment stays as it was.
  g_describe = DescribeOnStdOut;
  const bool comCounted = os::Succeeded(os.CoInitializeEx(kCoInitMultithreaded));
  const int64_t totalMb = QueryInstalledMemoryMb(os);
  if (comCounted) os.CoUninitialize();
  return static_cast<uint32_t>(static_cast<uint64_t>(totalMb));
}

TWmiInfo& GetWmiInfo() {
  if (!g_wmiInfo) g_wmiInfo = std::make_unique<TWmiInfo>();
  return *g_wmiInfo;
}

void ReleaseWmiInfo() { g_wmiInfo.reset(); }

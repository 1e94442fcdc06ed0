#include "shell/os_version.h"

#include <cstring>
#include <memory>

#include "platform/os.h"
#include "shell/debug_console.h"

namespace {

std::unique_ptr<TOsVersion> g_osVersion;

constexpr uint32_t kPlatformWin9x = 1;  // VER_PLATFORM_WIN32_WINDOWS
constexpr uint32_t kPlatformNt = 2;     // VER_PLATFORM_WIN32_NT
constexpr uint8_t kNtWorkstation = 1;   // VER_NT_WORKSTATION

constexpr uint16_t kSuiteEnterprise = 0x0002;
constexpr uint16_t kSuiteDatacenter = 0x0080;
constexpr uint16_t kSuitePersonal = 0x0200;
constexpr uint16_t kSuiteBlade = 0x0400;
constexpr uint16_t kSuiteStorageServer = 0x2000;
constexpr uint16_t kSuiteComputeServer = 0x4000;
constexpr uint16_t kSuiteWhServer = 0x8000;

// GetProductInfo's product types and the edition text each appends.
struct ProductEdition {
  uint32_t type;
  const char* text;
};
constexpr ProductEdition kNt6Editions[] = {
    {1, " Ultimate Edition"},
    {2, " Home Basic Edition"},
    {3, " Home Premium Edition"},
    {4, " Enterprise Edition"},
    {6, " Business Edition"},
    {7, " Standard Edition"},
    {8, " Datacenter Edition"},
    {10, " Enterprise Server Edition"},
    {11, " Starter Edition"},
    {12, " Datacenter Edition (core installation)"},
    {13, " Standard Edition (core installation)"},
    {14, " Enterprise Server Edition (core installation)"},
    {15, " Enterprise Server Edition for Itanium-based Systems"},
    {17, " Web Server Edition"},
    {18, " Cluster Server Edition"},
    {25, " Small Business Server Premium Edition"},
    {48, " Professional"},
};

bool Has(uint16_t mask, uint16_t bit) { return (mask & bit) != 0; }

// The service-pack text, bounded by its 128-byte field even when unterminated.
std::string CsdText(const os::OsVersionInfoExA& v) {
  return std::string(v.szCSDVersion, strnlen(v.szCSDVersion, sizeof v.szCSDVersion));
}

}  // namespace

TOsVersion& GetOsVersion() {
  if (!g_osVersion) g_osVersion = std::make_unique<TOsVersion>();
  return *g_osVersion;
}

void ReleaseOsVersion() { g_osVersion.reset(); }

TOsVersion::TOsVersion() {
  Os& os = CurrentOs();

  if (os::Proc fn = os.GetProcAddress("Kernel32", "IsWow64Process")) {
    bool wow64 = false;
    IsWow64 = os.IsWow64Process(fn, wow64) && wow64;
  }

  os::OsVersionInfoExA v{};
  v.dwOSVersionInfoSize = os::kOsVersionInfoExSize;
  if (!os.GetVersionExA(v)) {
    // Systems before NT 4 SP6 know only the plain record.
    v = os::OsVersionInfoExA{};
    v.dwOSVersionInfoSize = os::kOsVersionInfoSize;
    if (!os.GetVersionExA(v)) return;
  }

  if (os::Proc fn = os.GetProcAddress("Kernel32.dll", "GetNativeSystemInfo"))
    os.GetNativeSystemInfo(fn, NativeSystemInfo);
  else
    os.GetSystemInfo(NativeSystemInfo);

  if (!Classify(v)) return;

  OsName += IsWow64 ? " 64-bit" : " 32-bit";
  GetDebugConsole().Write(OsName, kAttrHeading, true);
}

// Returns false when the platform is not recognised at all: then nothing is
// named or logged.
bool TOsVersion::Classify(const os::OsVersionInfoExA& v) {
  if (v.dwPlatformId == kPlatformNt && v.dwMajorVersion > 4) {
    if (v.dwMajorVersion == 6) {
      ClassifyNt6(v);
    } else if (v.dwMajorVersion == 5 && v.dwMinorVersion == 2) {
      ClassifyNt52(v);
    } else if (v.dwMajorVersion == 5 && v.dwMinorVersion == 1) {
      OsFamily = kOsNt5x32;
      OsName = "Windows XP";
      OsName += Has(v.wSuiteMask, kSuitePersonal) ? " Home Edition" : " Professional";
    } else if (v.dwMajorVersion == 5 && v.dwMinorVersion == 0) {
      OsFamily = kOsNt5x32;
      OsName = "Windows 2000";
      if (v.wProductType == kNtWorkstation)
        OsName += " Professional";
      else if (Has(v.wSuiteMask, kSuiteDatacenter))
        OsName += " Datacenter Server";
      else if (Has(v.wSuiteMask, kSuiteEnterprise))
        OsName += " Advanced Server";
      else
        OsName += " Server";
    }
    // Common NT tail.
    const std::string csd = CsdText(v);
    if (!csd.empty()) OsName += " " + csd;
    OsName += " " + std::to_string(v.dwBuildNumber);
    if (CurrentOs().GetSystemMetrics(os::kSmMediaCenter) != 0) OsName += " MCE";
    return true;
  }
  if (v.dwPlatformId == kPlatformNt) {
    OsFamily = kOsNt5x32;
    if (v.dwMajorVersion == 4 && v.dwMinorVersion == 0)
      OsName = "Windows NT 4";
    else if (v.dwMajorVersion == 3 && v.dwMinorVersion == 51)
      OsName = "Windows NT 3.51";
    return true;
  }
  if (v.dwPlatformId == kPlatformWin9x && v.dwMajorVersion == 4) {
    OsFamily = kOsWin9x;
    if (v.dwMinorVersion == 90)
      OsName = "Windows Millennium Edition";
    else if (v.dwMinorVersion == 10 && v.dwBuildNumber >= 2183)
      OsName = "Windows 98 Second Edition";
    else if (v.dwMinorVersion == 10)
      OsName = "Windows 98";
    else if (v.dwMinorVersion < 10 && v.dwBuildNumber > 1080)
      OsName = "Windows 95 OEM Service Release 2";
    else if (v.dwMinorVersion == 0)
      OsName = "Windows 95";
    return true;
  }
  return false;
}

void TOsVersion::ClassifyNt6(const os::OsVersionInfoExA& v) {
  const bool workstation = v.wProductType == kNtWorkstation;
  if (v.dwMinorVersion == 0)
    OsName = workstation ? "Windows Vista" : "Windows Server 2008";
  else if (v.dwMinorVersion == 1)
    OsName = workstation ? "Windows 7" : "Windows Server 2008 R2";

  if (!IsWow64)
    OsFamily = kOsNt6x32;
  else
    OsFamily = Architecture() == os::kProcessorArchitectureIa64 ? kOsNt6xIa64 : kOsNt6xX64;

  // Every NT 6 system exports GetProductInfo; without it no edition is named.
  Os& os = CurrentOs();
  uint32_t productType = 0;
  if (os::Proc fn = os.GetProcAddress("Kernel32.dll", "GetProductInfo"))
    os.GetProductInfo(fn, v.dwMajorVersion, v.dwMinorVersion, 0, 0, productType);
  for (const ProductEdition& e : kNt6Editions)
    if (e.type == productType) OsName += e.text;
}

void TOsVersion::ClassifyNt52(const os::OsVersionInfoExA& v) {
  const uint16_t arch = Architecture();
  if (CurrentOs().GetSystemMetrics(os::kSmServerR2) != 0)
    OsName = "Windows Server 2003 R2";
  else if (Has(v.wSuiteMask, kSuiteStorageServer))
    OsName = "Windows Storage Server 2003";
  else if (Has(v.wSuiteMask, kSuiteWhServer))
    OsName = "Windows Home Server";
  else if (v.wProductType == kNtWorkstation && arch == os::kProcessorArchitectureAmd64)
    OsName = "Windows XP Professional x64 Edition";
  else
    OsName = "Windows Server 2003";

  // 32-bit Server 2003 stays unclassified.
  if (IsWow64) OsFamily = arch == os::kProcessorArchitectureIa64 ? kOsNt52Ia64 : kOsNt52X64;

  if (v.wProductType == kNtWorkstation) return;
  const bool datacenter = Has(v.wSuiteMask, kSuiteDatacenter);
  const bool enterprise = Has(v.wSuiteMask, kSuiteEnterprise);
  if (arch == os::kProcessorArchitectureIa64) {
    if (datacenter)
      OsName += " Datacenter Edition for Itanium-based Systems";
    else if (enterprise)
      OsName += " Enterprise Edition for Itanium-based Systems";
  } else if (arch == os::kProcessorArchitectureAmd64) {
    if (datacenter)
      OsName += " Datacenter x64 Edition";
    else if (enterprise)
      OsName += " Enterprise x64 Edition";
    else
      OsName += " Standard x64 Edition";
  } else {
    if (Has(v.wSuiteMask, kSuiteComputeServer))
      OsName += " Compute Cluster Edition";
    else if (datacenter)
      OsName += " Datacenter Edition";
    else if (enterprise)
      OsName += " Enterprise Edition";
    else if (Has(v.wSuiteMask, kSuiteBlade))
      OsName += " Web Edition";
    else
      OsName += " Standard Edition";
  }
}

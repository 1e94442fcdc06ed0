#include <gtest/gtest.h>

#include <cstring>

#include "sim_fixture.h"

namespace {

constexpr uint16_t kX86 = os::kProcessorArchitectureIntel;
constexpr uint16_t kIa64 = os::kProcessorArchitectureIa64;
constexpr uint16_t kAmd64 = os::kProcessorArchitectureAmd64;

struct VersionRow {
  const char* name;
  SimVersion version;
  int32_t family;
  const char* osName;
};

SimVersion V(uint32_t platform, uint32_t major, uint32_t minor, uint32_t build, const char* csd, uint8_t productType,
             uint16_t suite, bool wow64, uint16_t arch, uint32_t productInfo = 0) {
  SimVersion v = SimVersion::Make(platform, major, minor, build, csd, productType, suite);
  v.wow64 = wow64;
  v.nativeArchitecture = arch;
  v.productType = productInfo;
  return v;
}

SimVersion WithMetrics(SimVersion v, bool serverR2, bool mediaCenter) {
  v.serverR2 = serverR2;
  v.mediaCenter = mediaCenter;
  return v;
}

class OsVersion : public SimTest {};

TEST_F(OsVersion, FamilyAndNameTable) {
  const char* sp1 = "Service Pack 1";
  const char* sp2 = "Service Pack 2";
  const VersionRow rows[] = {
      // NT 6
      {"7 x64 Ultimate", V(2, 6, 1, 7601, sp1, 1, 0, true, kAmd64, 1), 6,
       "Windows 7 Ultimate Edition Service Pack 1 7601 64-bit"},
      {"Vista 32 Home Premium", V(2, 6, 0, 6002, sp2, 1, 0, false, kX86, 3), 4,
       "Windows Vista Home Premium Edition Service Pack 2 6002 32-bit"},
      {"Server 2008 Itanium", V(2, 6, 0, 6001, "", 3, 0, true, kIa64, 15), 5,
       "Windows Server 2008 Enterprise Server Edition for Itanium-based Systems 6001 64-bit"},
      {"Server 2008 R2 Datacenter core", V(2, 6, 1, 7600, "", 3, 0, true, kAmd64, 12), 6,
       "Windows Server 2008 R2 Datacenter Edition (core installation) 7600 64-bit"},
      {"6.2 has no base name", V(2, 6, 2, 9200, "", 1, 0, true, kAmd64, 48), 6, " Professional 9200 64-bit"},
      {"unknown product type appends nothing", V(2, 6, 2, 9200, "", 1, 0, false, kX86, 101), 4, " 9200 32-bit"},
      {"7 Starter", V(2, 6, 1, 7600, "", 1, 0, false, kX86, 11), 4, "Windows 7 Starter Edition 7600 32-bit"},
      {"Small Business Server Premium", V(2, 6, 0, 6001, "", 3, 0, true, kAmd64, 25), 6,
       "Windows Server 2008 Small Business Server Premium Edition 6001 64-bit"},
      // NT 5.2
      {"XP x64", V(2, 5, 2, 3790, sp2, 1, 0, true, kAmd64), 3,
       "Windows XP Professional x64 Edition Service Pack 2 3790 64-bit"},
      {"Server 2003 32-bit stays unclassified", V(2, 5, 2, 3790, sp2, 3, 0, false, kX86), -1,
       "Windows Server 2003 Standard Edition Service Pack 2 3790 32-bit"},
      {"Server 2003 Itanium Datacenter", V(2, 5, 2, 3790, "", 3, 0x0080, true, kIa64), 2,
       "Windows Server 2003 Datacenter Edition for Itanium-based Systems 3790 64-bit"},
      {"Server 2003 Itanium Enterprise", V(2, 5, 2, 3790, "", 3, 0x0002, true, kIa64), 2,
       "Windows Server 2003 Enterprise Edition for Itanium-based Systems 3790 64-bit"},
      {"Server 2003 Itanium plain", V(2, 5, 2, 3790, "", 3, 0, true, kIa64), 2, "Windows Server 2003 3790 64-bit"},
      {"Server 2003 x64 Datacenter", V(2, 5, 2, 3790, "", 3, 0x0082, true, kAmd64), 3,
       "Windows Server 2003 Datacenter x64 Edition 3790 64-bit"},
      {"Server 2003 x64 Enterprise", V(2, 5, 2, 3790, "", 3, 0x0002, true, kAmd64), 3,
       "Windows Server 2003 Enterprise x64 Edition 3790 64-bit"},
      {"Server 2003 compute cluster beats datacenter", V(2, 5, 2, 3790, "", 3, 0x4080, false, kX86), -1,
       "Windows Server 2003 Compute Cluster Edition 3790 32-bit"},
      {"Server 2003 Datacenter", V(2, 5, 2, 3790, "", 3, 0x0080, false, kX86), -1,
       "Windows Server 2003 Datacenter Edition 3790 32-bit"},
      {"Server 2003 Enterprise", V(2, 5, 2, 3790, "", 3, 0x0002, false, kX86), -1,
       "Windows Server 2003 Enterprise Edition 3790 32-bit"},
      {"Server 2003 Web", V(2, 5, 2, 3790, "", 3, 0x0400, false, kX86), -1,
       "Windows Server 2003 Web Edition 3790 32-bit"},
      {"R2 beats storage server", WithMetrics(V(2, 5, 2, 3790, "", 3, 0x2000, true, kAmd64), true, false), 3,
       "Windows Server 2003 R2 Standard x64 Edition 3790 64-bit"},
      {"Storage Server", V(2, 5, 2, 3790, "", 3, 0x2000, false, kX86), -1,
       "Windows Storage Server 2003 Standard Edition 3790 32-bit"},
      {"Home Server", V(2, 5, 2, 3790, "", 3, 0x8000, false, kX86), -1,
       "Windows Home Server Standard Edition 3790 32-bit"},
      {"5.2 workstation on x86 is named a server", V(2, 5, 2, 3790, "", 1, 0, true, kX86), 3,
       "Windows Server 2003 3790 64-bit"},
      // NT 5.1 and 5.0
      {"XP Pro SP3", V(2, 5, 1, 2600, "Service Pack 3", 1, 0, false, kX86), 1,
       "Windows XP Professional Service Pack 3 2600 32-bit"},
      {"XP Home MCE", WithMetrics(V(2, 5, 1, 2600, "", 1, 0x0200, false, kX86), false, true), 1,
       "Windows XP Home Edition 2600 MCE 32-bit"},
      {"XP under WOW64 is still family 1", V(2, 5, 1, 2600, "", 1, 0, true, kAmd64), 1,
       "Windows XP Professional 2600 64-bit"},
      {"2000 Professional", V(2, 5, 0, 2195, "Service Pack 4", 1, 0x0080, false, kX86), 1,
       "Windows 2000 Professional Service Pack 4 2195 32-bit"},
      {"2000 Datacenter", V(2, 5, 0, 2195, "", 3, 0x0082, false, kX86), 1,
       "Windows 2000 Datacenter Server 2195 32-bit"},
      {"2000 Advanced", V(2, 5, 0, 2195, "", 3, 0x0002, false, kX86), 1, "Windows 2000 Advanced Server 2195 32-bit"},
      {"2000 Server", V(2, 5, 0, 2195, "", 2, 0, false, kX86), 1, "Windows 2000 Server 2195 32-bit"},
      // Unknown NT versions still get the common tail.
      {"NT 5.3", V(2, 5, 3, 4000, "", 1, 0, false, kX86), -1, " 4000 32-bit"},
      {"NT 7", V(2, 7, 0, 1, "", 1, 0, true, kAmd64), -1, " 1 64-bit"},
      // NT 4 and before: no tail.
      {"NT 4", V(2, 4, 0, 1381, "Service Pack 6", 1, 0, false, kX86), 1, "Windows NT 4 32-bit"},
      {"NT 3.51", V(2, 3, 51, 1057, "", 0, 0, false, kX86), 1, "Windows NT 3.51 32-bit"},
      {"NT 3.1", V(2, 3, 10, 528, "", 0, 0, false, kX86), 1, " 32-bit"},
      // 9x: the build number is the whole 32-bit field.
      {"Me", V(1, 4, 90, 3000, "", 0, 0, false, kX86), 0, "Windows Millennium Edition 32-bit"},
      {"98 SE", V(1, 4, 10, 2222, "", 0, 0, false, kX86), 0, "Windows 98 Second Edition 32-bit"},
      {"98 SE by the high word", V(1, 4, 10, 0x040A07CE, "", 0, 0, false, kX86), 0,
       "Windows 98 Second Edition 32-bit"},
      {"98", V(1, 4, 10, 1998, "", 0, 0, false, kX86), 0, "Windows 98 32-bit"},
      {"95 OSR2", V(1, 4, 0, 1111, "", 0, 0, false, kX86), 0, "Windows 95 OEM Service Release 2 32-bit"},
      {"95", V(1, 4, 0, 950, "", 0, 0, false, kX86), 0, "Windows 95 32-bit"},
      {"9x minor 3", V(1, 4, 3, 950, "", 0, 0, false, kX86), 0, " 32-bit"},
      {"9x minor 20", V(1, 4, 20, 5000, "", 0, 0, false, kX86), 0, " 32-bit"},
  };
  for (const VersionRow& r : rows) {
    ResetServices();
    pc.Version = r.version;
    GetDebugConsole(false);
    TOsVersion& v = GetOsVersion();
    EXPECT_EQ(v.OsFamily, r.family) << r.name;
    EXPECT_EQ(v.OsName, r.osName) << r.name;
    EXPECT_EQ(GetDebugConsole().PendingLines(), std::vector<std::string>{r.osName}) << r.name;
  }
}

TEST_F(OsVersion, UnrecognisedPlatformsAreNeitherNamedNorLogged) {
  const SimVersion rows[] = {
      V(1, 5, 0, 1, "", 0, 0, false, kX86),  // 9x with another major version
      V(3, 6, 1, 7601, "", 1, 0, false, kX86),  // neither NT nor 9x
  };
  for (const SimVersion& v : rows) {
    ResetServices();
    pc.Version = v;
    GetDebugConsole(false);
    EXPECT_EQ(GetOsVersion().OsFamily, -1);
    EXPECT_EQ(GetOsVersion().OsName, "");
    EXPECT_TRUE(GetDebugConsole().PendingLines().empty());
  }
}

TEST_F(OsVersion, FallsBackToThePlainRecord) {
  pc.Version = V(2, 4, 0, 1381, "Service Pack 5", 1, 0, false, kX86);
  pc.Version.acceptsExtendedRecord = false;
  EXPECT_EQ(GetOsVersion().OsName, "Windows NT 4 32-bit");
  ASSERT_EQ(pc.Count(Call::GetVersionExA), 2);
  std::vector<std::string> sizes;
  for (const SimCall& c : pc.Calls)
    if (c.kind == Call::GetVersionExA) sizes.push_back(c.detail);
  EXPECT_EQ(sizes, (std::vector<std::string>{"156", "148"}));
}

TEST_F(OsVersion, FailedQueryLeavesNothing) {
  pc.Version.fails = true;
  GetDebugConsole(false);
  TOsVersion& v = GetOsVersion();
  EXPECT_EQ(v.OsFamily, -1);
  EXPECT_EQ(v.OsName, "");
  EXPECT_TRUE(GetDebugConsole().PendingLines().empty());
}

TEST_F(OsVersion, MissingExportsFallBack) {
  pc.Version = V(2, 6, 1, 7601, "", 1, 0, true, kAmd64, 1);
  pc.Version.missingExports = {"IsWow64Process", "GetNativeSystemInfo", "GetProductInfo"};
  TOsVersion& v = GetOsVersion();
  EXPECT_FALSE(v.IsWow64);
  EXPECT_EQ(v.OsFamily, 4);
  EXPECT_EQ(v.OsName, "Windows 7 7601 32-bit");
  EXPECT_EQ(pc.Count(Call::GetSystemInfo), 1);
  EXPECT_EQ(pc.Count(Call::GetNativeSystemInfo), 0);
  EXPECT_EQ(pc.Count(Call::GetProductInfo), 0);
}

TEST_F(OsVersion, FailingIsWow64ProcessMeansNotWow64) {
  pc.Version = V(2, 6, 1, 7601, "", 1, 0, true, kAmd64);
  pc.FailNth(Call::IsWow64Process, 1, os::kErrorInvalidHandle);
  EXPECT_FALSE(GetOsVersion().IsWow64);
  EXPECT_EQ(GetOsVersion().OsFamily, 4);
}

TEST_F(OsVersion, DetectsOncePerInstance) {
  TOsVersion& first = GetOsVersion();
  EXPECT_EQ(&GetOsVersion(), &first);
  EXPECT_EQ(pc.Count(Call::GetVersionExA), 1);
  ReleaseOsVersion();
  GetOsVersion();
  EXPECT_EQ(pc.Count(Call::GetVersionExA), 2);
}

TEST_F(OsVersion, NameIsAYellowHeading) {
  GetDebugConsole(true);
  GetOsVersion();
  ASSERT_EQ(pc.ConsoleWrites.size(), 1u);
  EXPECT_EQ(pc.ConsoleWrites[0].text, "\r\nWindows 7 Service Pack 1 7601 32-bit");
  EXPECT_EQ(pc.ConsoleWrites[0].attr, kAttrHeading);
}

TEST_F(OsVersion, UnterminatedServicePackTextStaysInItsField) {
  pc.Version = V(2, 5, 1, 2600, "", 1, 0, false, kX86);
  std::memset(pc.Version.record.szCSDVersion, 'S', sizeof pc.Version.record.szCSDVersion);
  EXPECT_EQ(GetOsVersion().OsName, "Windows XP Professional " + std::string(128, 'S') + " 2600 32-bit");
}

}  // namespace

// The real Win32 layer, in this process under Wine: each seam method must keep
// the Windows contract the portable code relies on.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/win32/win32_os.h"

namespace {

class Win32Layer : public ::testing::Test {
 protected:
  Win32Os os;
};

TEST_F(Win32Layer, OsHandleKeepsTheLastErrorWhenClosing) {
  const uint32_t kMagic = 0x0BADF00D;
  {
    OsHandle mutex(os, os.CreateMutexA(false, ""));
    ASSERT_TRUE(mutex.Valid());
    os.SetLastError(kMagic);
  }
  EXPECT_EQ(os.GetLastError(), kMagic);
}

TEST_F(Win32Layer, SecondCreationOfANamedMutexReportsThatItExisted) {
  const std::string name = "OrvRapidStart layer test " + std::to_string(::testing::UnitTest::GetInstance()->random_seed());
  OsHandle first(os, os.CreateMutexA(false, name));
  ASSERT_TRUE(first.Valid());
  EXPECT_EQ(os.GetLastError(), os::kErrorSuccess);
  OsHandle second(os, os.CreateMutexA(false, name));
  EXPECT_TRUE(second.Valid());
  EXPECT_EQ(os.GetLastError(), os::kErrorAlreadyExists);
  OsHandle opened(os, os.OpenMutexA(os::kMutexAllAccess, false, name));
  EXPECT_TRUE(opened.Valid());
}

TEST_F(Win32Layer, OpeningAnAbsentMutexFails) {
  EXPECT_EQ(os.OpenMutexA(os::kMutexAllAccess, false, "OrvRapidStart no such mutex"), os::kNull);
  EXPECT_EQ(os.GetLastError(), os::kErrorFileNotFound);
}

TEST_F(Win32Layer, VersionQueryAcceptsBothRecordSizes) {
  os::OsVersionInfoExA ex{};
  ex.dwOSVersionInfoSize = os::kOsVersionInfoExSize;
  ASSERT_TRUE(os.GetVersionExA(ex));
  EXPECT_EQ(ex.dwPlatformId, 2u);

  os::OsVersionInfoExA plain{};
  plain.dwOSVersionInfoSize = os::kOsVersionInfoSize;
  plain.wProductType = 0xEE;  // beyond the plain record: must stay untouched
  ASSERT_TRUE(os.GetVersionExA(plain));
  EXPECT_EQ(plain.dwMajorVersion, ex.dwMajorVersion);
  EXPECT_EQ(plain.wProductType, 0xEE);
}

TEST_F(Win32Layer, ExportLookUp) {
  EXPECT_NE(os.GetProcAddress("Kernel32", "IsWow64Process"), 0u);
  EXPECT_NE(os.GetProcAddress("Kernel32.dll", "GetNativeSystemInfo"), 0u);
  EXPECT_EQ(os.GetProcAddress("Kernel32.dll", "NoSuchExport"), 0u);
  EXPECT_EQ(os.GetProcAddress("NoSuchModule.dll", "IsWow64Process"), 0u);
  bool wow64 = false;
  EXPECT_TRUE(os.IsWow64Process(os.GetProcAddress("Kernel32", "IsWow64Process"), wow64));
  os::SystemInfo info{};
  os.GetNativeSystemInfo(os.GetProcAddress("Kernel32.dll", "GetNativeSystemInfo"), info);
  EXPECT_NE(info.dwPageSize, 0u);
}

TEST_F(Win32Layer, UpperCaseKeepsLength) {
  EXPECT_EQ(os.CharUpperBuffA("\" /debug"), "\" /DEBUG");
  EXPECT_EQ(os.CharUpperBuffA(""), "");
}

TEST_F(Win32Layer, PathsOfThisProcess) {
  const std::string exe = os.GetModuleFileNameA();
  EXPECT_NE(exe.find("orv_win32_tests.exe"), std::string::npos) << exe;
  const std::string temp = os.GetTempPathA(260);
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_EQ(os.GetTempPathA(1), "") << "a buffer too small yields nothing";
  EXPECT_NE(os.GetCommandLineA().find("orv_win32_tests"), std::string::npos);
}

TEST_F(Win32Layer, AbsentWindowAndDevice) {
  EXPECT_EQ(os.FindWindowA("TApplication", "OrvRapidStart no such window"), os::kNull);
  EXPECT_EQ(os.CreateFileA("\\\\.\\PhysicalDrive99", os::kGenericRead, os::kFileShareRead | os::kFileShareWrite,
                           os::kOpenExisting, 0),
            os::kInvalid);
}

// The device list calls keep SetupAPI's contract: a list or INVALID_HANDLE_VALUE,
// a walk that ends with ERROR_NO_MORE_ITEMS, a property read that tells its
// size when the buffer is too small and then fits that size exactly.
TEST_F(Win32Layer, DeviceListWalkAndHardwareIdReads) {
  for (const char* enumerator : {"ACPI", "ROOT"}) {
    SCOPED_TRACE(enumerator);
    const os::Handle set = os.SetupDiGetClassDevsByEnumeratorA(enumerator, os::kDigcfAllClasses | os::kDigcfPresent);
    if (set == os::kInvalid) {
      EXPECT_NE(os.GetLastError(), os::kErrorSuccess) << "a refused list says why";
      continue;
    }
    uint32_t index = 0;
    for (;; ++index) {
      os::SpDevInfoData device{};
      device.cbSize = sizeof device;
      if (!os.SetupDiEnumDeviceInfo(set, index, device)) {
        EXPECT_EQ(os.GetLastError(), os::kErrorNoMoreItems);
        break;
      }
      ASSERT_LT(index, 10000u);
      uint32_t type = 0, required = 0;
      if (os.SetupDiGetDeviceRegistryPropertyA(set, device, os::kSpdrpHardwareId, type, nullptr, 0, required))
        continue;  // an empty property
      const uint32_t error = os.GetLastError();
      if (error == os::kErrorInvalidData) continue;  // no hardware ids
      ASSERT_EQ(error, os::kErrorInsufficientBuffer);
      ASSERT_GT(required, 0u);
      std::string ids(required + 8, '\x5A');
      uint32_t again = 0;
      ASSERT_TRUE(os.SetupDiGetDeviceRegistryPropertyA(set, device, os::kSpdrpHardwareId, type, &ids[0],
                                                       static_cast<uint32_t>(ids.size()), again));
      EXPECT_EQ(again, required);
      EXPECT_EQ(type, os::kRegMultiSz);
    }
    std::printf("%s devices under this system: %u\n", enumerator, index);
    EXPECT_TRUE(os.SetupDiDestroyDeviceInfoList(set));
  }
}

}  // namespace

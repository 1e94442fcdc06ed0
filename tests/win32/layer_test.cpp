// The real Win32 layer, in this process under Wine: each seam method must keep
// the Windows contract the portable code relies on.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include "partops/disk_change_lock.h"
#include "partops/script_file.h"
#include "platform/win32/win32_os.h"

namespace {

class Win32Layer : public ::testing::Test {
 protected:
  Win32Os os;
};

TEST_F(Win32Layer, OsHandleKeepsTheLastErrorWhenClosing) {
  const uint32_t kMagic = 0x0BADF00D;
  {
    OsHandle mutex(os, os.CreateMutexA("", false, ""));
    ASSERT_TRUE(mutex.Valid());
    os.SetLastError(kMagic);
  }
  EXPECT_EQ(os.GetLastError(), kMagic);
}

TEST_F(Win32Layer, SecondCreationOfANamedMutexReportsThatItExisted) {
  const std::string name = "OrvRapidStart layer test " + std::to_string(::testing::UnitTest::GetInstance()->random_seed());
  OsHandle first(os, os.CreateMutexA("", false, name));
  ASSERT_TRUE(first.Valid());
  EXPECT_EQ(os.GetLastError(), os::kErrorSuccess);
  OsHandle second(os, os.CreateMutexA("", false, name));
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

namespace {

// ---- what only Windows can show: access lists as made ----

std::string SddlOf(HANDLE object, SE_OBJECT_TYPE type) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(object, type, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS)
    return "unreadable";
  char* text = nullptr;
  std::string sddl = "unconvertible";
  if (ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                           &text, nullptr))
    sddl = text;
  LocalFree(text);
  LocalFree(descriptor);
  return sddl;
}

std::string SddlOfPath(const std::string& path) {
  HANDLE dir = CreateFileA(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (dir == INVALID_HANDLE_VALUE) return "cannot be opened";
  const std::string sddl = SddlOf(dir, SE_FILE_OBJECT);
  CloseHandle(dir);
  return sddl;
}

// The trustees of a DACL in SDDL, in order: "BA SY" for "D:P(A;;FA;;;BA)(A;;FA;;;SY)".
std::string Trustees(const std::string& sddl) {
  std::string trustees;
  for (std::size_t at = sddl.find('('); at != std::string::npos; at = sddl.find('(', at + 1)) {
    const std::size_t end = sddl.find(')', at);
    const std::string ace = sddl.substr(at + 1, end - at - 1);
    trustees += (trustees.empty() ? "" : " ") + ace.substr(0, ace.find(';')) + ":" + ace.substr(ace.rfind(';') + 1);
  }
  return trustees;
}

TEST_F(Win32Layer, DiskChangeLockIsOneMutexForAdministratorsAndSystemOnly) {
  ScopedOs seam(os);
  {
    TDiskChangeHold hold, nested;
    ASSERT_EQ(hold.Take(), TDiskChangeLock::Taken);
    ASSERT_EQ(nested.Take(), TDiskChangeLock::Taken) << "this process holds it already";
    HANDLE mutex = OpenMutexA(READ_CONTROL, FALSE, kDiskChangeMutexName);
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(Trustees(SddlOf(mutex, SE_KERNEL_OBJECT)), "A:BA A:SY") << SddlOf(mutex, SE_KERNEL_OBJECT);
    CloseHandle(mutex);
    hold.Release();
    OsHandle kept(os, os.OpenMutexA(READ_CONTROL, false, kDiskChangeMutexName));
    EXPECT_TRUE(kept.Valid()) << "the nested hold keeps it";
  }
  EXPECT_EQ(os.OpenMutexA(READ_CONTROL, false, kDiskChangeMutexName), os::kNull) << "gone with the last hold";
}

// Windows keeps the descriptor a folder is made with. Wine keeps only the
// mode bits it maps to and reports the creating user as the owner; there the
// check must refuse the folder and leave nothing behind, so a script is
// never written where the administrators are not known to own the folder.
TEST_F(Win32Layer, ScriptFolderIsMadeForAdministratorsAndSystemOnly) {
  ScopedOs seam(os);
  const std::string parent = os.GetSystemWindowsDirectoryA() + "\\Temp";
  const std::string control = parent + "\\OrvRapidStart layer test";
  ASSERT_TRUE(os.CreateDirectoryA(control, kScriptFolderSddl));
  const bool keepsDescriptors = SddlOfPath(control).substr(0, 5) == "O:BAD";
  RemoveDirectoryA(control.c_str());

  std::string path;
  {
    TScriptFolder folder;
    uint32_t error = 0;
    path = folder.Make(parent, error);
    if (!keepsDescriptors) {
      EXPECT_EQ(error, os::kErrorInvalidOwner) << SddlOfPath(parent + "\\OrvRapidStart");
      EXPECT_EQ(path, "");
      EXPECT_EQ(GetFileAttributesA((parent + "\\OrvRapidStart").c_str()), INVALID_FILE_ATTRIBUTES) << "not left behind";
      return;
    }
    ASSERT_EQ(error, 0u) << SddlOfPath(parent + "\\OrvRapidStart");
    ASSERT_EQ(path, parent + "\\OrvRapidStart");
    const std::string sddl = SddlOfPath(path);
    EXPECT_EQ(sddl.substr(0, 6), "O:BAD:") << sddl;
    EXPECT_NE(sddl.find("D:P"), std::string::npos) << "nothing inherited: " << sddl;
    EXPECT_EQ(Trustees(sddl), "A:BA A:SY") << sddl;
    EXPECT_FALSE(RemoveDirectoryA(path.c_str())) << "held: nobody removes or renames it";
  }
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << "removed at the end";
}

}  // namespace

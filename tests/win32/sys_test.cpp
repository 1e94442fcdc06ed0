// The memory query, the shutdown privilege and the restart against the real
// Win32 layer under Wine. Wine's WMI lists one DIMM ("BANK 0") holding all
// of the machine's memory and lacks CreationClassName, DataWidth and
// Description (Get answers WBEM_E_NOT_FOUND): a real case of missing
// properties. Wine's InitiateSystemShutdownA only notes the call and returns
// TRUE, so the restart may be called here, and only under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win32/win32_os.h"
#include "shell/debug_console.h"
#include "sys/firmware.h"
#include "sys/power_man.h"
#include "sys/wmi_info.h"

namespace {

// The real layer, with both standard output streams captured instead.
class CapturingOs : public Win32Os {
 public:
  void WriteStdOut(const std::string& text) override { narrow += text; }
  void WriteStdOutWide(const std::wstring& text) override { wide += text; }
  std::string narrow;
  std::wstring wide;
};

bool UnderWine() { return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

uint32_t TotalPhysicalMb() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  ::GlobalMemoryStatusEx(&status);
  return static_cast<uint32_t>(status.ullTotalPhys / 1048576);
}

DWORD HandleCount() {
  DWORD count = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &count);
  return count;
}

// True when the thread had no COM apartment: a fresh initialisation then
// answers S_OK (S_FALSE or RPC_E_CHANGED_MODE when it had one).
bool ThreadHasNoApartment() {
  const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(hr)) ::CoUninitialize();
  return hr == S_OK;
}

// SE_PRIVILEGE_ENABLED of the privilege in the process token right now.
bool PrivilegeEnabledNow(const char* name) {
  HANDLE token = nullptr;
  LUID luid{};
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  alignas(TOKEN_PRIVILEGES) char buffer[4096];
  DWORD size = 0;
  bool enabled = false;
  if (::LookupPrivilegeValueA(nullptr, name, &luid) &&
      ::GetTokenInformation(token, TokenPrivileges, buffer, sizeof buffer, &size)) {
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer);
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
      const LUID_AND_ATTRIBUTES& p = privileges->Privileges[i];
      if (p.Luid.LowPart == luid.LowPart && p.Luid.HighPart == luid.HighPart)
        enabled = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
  }
  ::CloseHandle(token);
  return enabled;
}

class WineSys : public ::testing::Test {
 protected:
  WineSys() : seam_(os_) {}
  ~WineSys() override {
    ReleaseWmiInfo();
    ReleasePowerMan();
    ReleaseDebugConsole();
  }
  CapturingOs os_;
  ScopedOs seam_;
};

TEST_F(WineSys, MemoryQueryListsWinesModuleWithItsMissingProperties) {
  ASSERT_TRUE(ThreadHasNoApartment());
  const uint32_t mb = GetWmiInfo().GetPhysicalMemorySize();
  EXPECT_EQ(mb, TotalPhysicalMb());
  EXPECT_EQ(os_.narrow, "Connected to ROOT\\CIMV2 WMI namespace\n");
  EXPECT_EQ(os_.wide, L"BankLabel=BANK 0\nCapacity=" + std::to_wstring(mb) +
                          L"\nCaption=Physical Memory\nCreationClassName=\nDataWidth=\nDescription=\n");
  EXPECT_TRUE(GetDebugConsole().PendingLines().empty()) << GetDebugConsole().PendingLines().front();
  EXPECT_TRUE(ThreadHasNoApartment()) << "COM left initialised";
}

// Each query sets COM up anew; the second one in the process finds COM
// security already in force.
TEST_F(WineSys, SecondQueryGivesTheSameAnswer) {
  const uint32_t first = GetWmiInfo().GetPhysicalMemorySize();
  EXPECT_GT(first, 0u);
  EXPECT_EQ(GetWmiInfo().GetPhysicalMemorySize(), first);
  EXPECT_TRUE(GetDebugConsole().PendingLines().empty());
}

// A thread in a single-threaded apartment: CoInitializeEx for the
// multithreaded one fails, the query runs in the existing apartment and
// leaves it in place.
TEST_F(WineSys, QueryInASingleThreadedApartmentKeepsThatApartment) {
  ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(GetWmiInfo().GetPhysicalMemorySize(), TotalPhysicalMb());
  EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE) << "apartment gone";
  ::CoUninitialize();
  EXPECT_TRUE(ThreadHasNoApartment()) << "the query took a count of its own";
}

// The real streams: redirect the C runtime's descriptor 1 to a file.
TEST(WineStdOut, NarrowAndWideLinesReachStandardOutputInOrder) {
  char dir[MAX_PATH];
  char path[MAX_PATH];
  ASSERT_NE(::GetTempPathA(sizeof dir, dir), 0u);
  ASSERT_NE(::GetTempFileNameA(dir, "orv", 0, path), 0u);
  std::fflush(stdout);
  const int saved = ::_dup(1);
  const int file = ::_open(path, _O_WRONLY | _O_TRUNC | _O_TEXT);
  ASSERT_GE(file, 0);
  ::_dup2(file, 1);
  {
    Win32Os os;
    os.WriteStdOut("Connected to ROOT\\CIMV2 WMI namespace\n");
    os.WriteStdOutWide(L"BankLabel=BANK 0\n");
    os.WriteStdOut("narrow\n");
  }
  std::fflush(stdout);
  ::_dup2(saved, 1);
  ::_close(saved);
  ::_close(file);
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  ::DeleteFileA(path);
  // Text mode: every line end reaches the file as CR LF.
  EXPECT_EQ(bytes, "Connected to ROOT\\CIMV2 WMI namespace\r\nBankLabel=BANK 0\r\nnarrow\r\n");
}

TEST_F(WineSys, PowerManEnablesTheShutdownPrivilegeUntilReleased) {
  const DWORD handles = HandleCount();
  EXPECT_FALSE(PrivilegeEnabledNow("SeShutdownPrivilege"));
  EXPECT_TRUE(GetPowerMan().Enabled());
  EXPECT_TRUE(PrivilegeEnabledNow("SeShutdownPrivilege"));
  ReleasePowerMan();
  EXPECT_FALSE(PrivilegeEnabledNow("SeShutdownPrivilege"));
  EXPECT_EQ(HandleCount(), handles);
}

// Never on a real Windows: this would restart the machine.
TEST_F(WineSys, RebootUnderWineIsAcceptedAndChangesNothing) {
  if (!UnderWine()) GTEST_SKIP() << "restarts the machine outside Wine";
  EXPECT_TRUE(GetPowerMan().Reboot());
  EXPECT_TRUE(GetPowerMan().Reboot()) << "the same instance asks again";
}

// Wine's ACPI list never holds the firmware device (it may hold nothing, or
// be refused): the check answers Absent or Unknown, the same twice, and
// leaves nothing open.
TEST_F(WineSys, FirmwareCheckAnswersWithoutTheDeviceAndLeavesNothingOpen) {
  const DWORD handles = HandleCount();
  const TFirmwareState state = DetectRapidStartFirmware();
  if (UnderWine()) {
    EXPECT_NE(state, TFirmwareState::Present);
  }
  EXPECT_EQ(DetectRapidStartFirmware(), state);
  EXPECT_EQ(HandleCount(), handles);
  std::printf("firmware check under this system: %s\n", FirmwareStateText(state));
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim_fixture.h"
#include "sys/wmi_info.h"

namespace {

constexpr uint64_t kMb = kBytesPerMb;
constexpr int kDimm = 8;
constexpr int kSodimm = 12;
const char* const kConnected = "Connected to ROOT\\CIMV2 WMI namespace\n";

SimMemoryModule Module(uint64_t bytes, int formFactor) { return SimMemoryModule::Make(bytes, formFactor, L"BANK 0"); }

class WmiInfo : public SimTest {
 protected:
  ~WmiInfo() override { ReleaseWmiInfo(); }

  uint32_t Query() { return GetWmiInfo().GetPhysicalMemorySize(); }

  // COM left as it was found: every object released once, no count taken or
  // given back that was not the query's own.
  void ExpectComLeftClean() {
    EXPECT_EQ(pc.System.LiveComObjects(), 0);
    EXPECT_EQ(pc.System.ComInitCount(), 0);
    EXPECT_TRUE(pc.System.ComFaults.empty()) << pc.System.ComFaults.front();
  }
};

struct SumRow {
  const char* name;
  std::vector<SimMemoryModule> modules;
  uint32_t expectedMb;
};

TEST_F(WmiInfo, SumsWholeMegabytesOfDimmAndSodimmModules) {
  const uint64_t k2To31Mb = uint64_t(1) << 51;  // 2^31 MB in bytes
  const SumRow rows[] = {
      {"two 4096 MB DIMMs", {Module(4096 * kMb, kDimm), Module(4096 * kMb, kDimm)}, 8192},
      {"1073741823 bytes", {Module(1073741823, kDimm)}, 1023},
      {"rounded down module by module", {Module(kMb + kMb / 2, kDimm), Module(kMb + kMb / 2, kSodimm)}, 2},
      {"SODIMM and DIMM", {Module(2048 * kMb, kSodimm), Module(1024 * kMb, kDimm)}, 3072},
      {"other form factors listed, not counted", {Module(4096 * kMb, 0), Module(2048 * kMb, 9)}, 0},
      {"mixed", {Module(4096 * kMb, 0), Module(512 * kMb, kSodimm)}, 512},
      {"no module", {}, 0},
      {"low 32 bits of a 64-bit sum",
       {Module(k2To31Mb, kDimm), Module(k2To31Mb, kDimm), Module(5 * kMb, kDimm)}, 5},
      {"null capacity counts 0", {Module(0, kDimm).SetNull(L"Capacity"), Module(1024 * kMb, kDimm)}, 1024},
      {"null form factor not counted", {Module(1024 * kMb, kDimm).SetNull(L"FormFactor")}, 0},
      {"missing capacity counts 0", {Module(0, kDimm).Remove(L"Capacity"), Module(256 * kMb, kDimm)}, 256},
      {"capacity as an integer", {Module(0, kDimm).SetInteger(L"Capacity", 2048 * kMb)}, 2048},
      {"capacity not a number", {Module(0, kDimm).SetText(L"Capacity", L"8 GB")}, 0},
      {"capacity beyond 64 signed bits", {Module(0, kDimm).SetText(L"Capacity", L"18446744073709551615")}, 0},
      {"form factor as text", {Module(1024 * kMb, kDimm).SetText(L"FormFactor", L"12")}, 1024},
  };
  for (const SumRow& row : rows) {
    SCOPED_TRACE(row.name);
    SimPc fresh;
    ScopedOs seam(fresh);
    fresh.System.MemoryModules = row.modules;
    EXPECT_EQ(GetWmiInfo().GetPhysicalMemorySize(), row.expectedMb);
    EXPECT_EQ(fresh.System.StdOut, kConnected);
    EXPECT_EQ(fresh.System.LiveComObjects(), 0);
    EXPECT_EQ(fresh.System.ComInitCount(), 0);
    EXPECT_TRUE(fresh.System.ComFaults.empty());
  }
}

TEST_F(WmiInfo, ListsEveryModuleOnTheWideStream) {
  pc.System.MemoryModules = {SimMemoryModule::Make(4294967296, kDimm, L"BANK 0"),
                             SimMemoryModule::Make(2 * 1073741823ull, 0, L"BANK 2")};
  EXPECT_EQ(Query(), 4096u);
  EXPECT_EQ(pc.System.StdOut, kConnected);
  const std::wstring module = L"Caption=Physical Memory\nCreationClassName=Win32_PhysicalMemory\n"
                              L"DataWidth=64\nDescription=Physical Memory\n";
  EXPECT_EQ(pc.System.StdOutWide, L"BankLabel=BANK 0\nCapacity=4096\n" + module +
                                      L"BankLabel=BANK 2\nCapacity=2047\n" + module);
  // The connection line comes before any module line.
  auto first = [this](Call kind) {
    return std::find_if(pc.Calls.begin(), pc.Calls.end(), [kind](const SimCall& c) { return c.kind == kind; });
  };
  EXPECT_LT(first(Call::WriteStdOut), first(Call::WriteStdOutWide));
  ExpectComLeftClean();
}

// Some providers leave properties unset (null) or lack them altogether: the
// line is still written, with nothing after "=".
TEST_F(WmiInfo, NullAndMissingPropertiesPrintAsNothing) {
  pc.System.MemoryModules = {SimMemoryModule::Make(8192 * kMb, kDimm, L"")
                                 .SetNull(L"BankLabel")
                                 .SetNull(L"Caption")
                                 .Remove(L"CreationClassName")
                                 .Remove(L"DataWidth")
                                 .SetNull(L"Description"),
                             SimMemoryModule::Make(0, kDimm, L"B").SetNull(L"Capacity").SetNull(L"DataWidth")};
  EXPECT_EQ(Query(), 8192u);
  EXPECT_EQ(pc.System.StdOutWide,
            L"BankLabel=\nCapacity=8192\nCaption=\nCreationClassName=\nDataWidth=\nDescription=\n"
            L"BankLabel=B\nCapacity=\nCaption=Physical Memory\nCreationClassName=Win32_PhysicalMemory\n"
            L"DataWidth=\nDescription=Physical Memory\n");
  ExpectComLeftClean();
}

struct FailureRow {
  const char* name;
  Call kind;
  uint32_t hr;
  const char* logLine;
  const char* stdOut;
};

TEST_F(WmiInfo, FailureBeforeTheEnumerationReportsAndGivesZero) {
  const FailureRow rows[] = {
      {"security", Call::CoInitializeSecurity, 0x80070005, "Failed to initialize security. Error code = 0x80070005",
       "Failed to initialize security. Error code = 0x80070005\n"},
      {"locator", Call::CreateWbemLocator, 0x80040154,
       "Failed to create IWbemLocator object. Error code = 0x80040154",
       "Failed to create IWbemLocator object. Err code = 0x80040154\n"},
      {"connect", Call::WbemConnectServer, 0x8004100E, "Could not connect. Error code = 0x8004100E",
       "Could not connect. Error code = 0x8004100e\n"},
      {"proxy", Call::CoSetProxyBlanket, 0x800706BA, "Could not set proxy blanket. Error code = 0x800706BA",
       "Connected to ROOT\\CIMV2 WMI namespace\nCould not set proxy blanket. Error code = 0x800706ba\n"},
      {"query", Call::WbemExecQuery, 0x80041017, "Query for operating system name failed. Error code = 0x80041017",
       "Connected to ROOT\\CIMV2 WMI namespace\nQuery for operating system name failed. Error code = 0x80041017\n"},
  };
  for (const FailureRow& row : rows) {
    SCOPED_TRACE(row.name);
    ReleaseDebugConsole();
    SimPc fresh;
    ScopedOs seam(fresh);
    fresh.System.MemoryModules = {Module(4096 * kMb, kDimm)};
    fresh.FailNth(row.kind, 1, row.hr);
    EXPECT_EQ(GetWmiInfo().GetPhysicalMemorySize(), 0u);
    EXPECT_EQ(GetDebugConsole().PendingLines(), std::vector<std::string>{row.logLine});
    EXPECT_EQ(fresh.System.StdOut, row.stdOut);
    EXPECT_EQ(fresh.System.StdOutWide, L"");
    EXPECT_EQ(fresh.Count(Call::WbemNext), 0);
    EXPECT_EQ(fresh.System.LiveComObjects(), 0);
    EXPECT_EQ(fresh.System.ComInitCount(), 0);
    EXPECT_TRUE(fresh.System.ComFaults.empty());
  }
}

TEST_F(WmiInfo, ReadsAtMost256Modules) {
  for (int modules : {256, 300}) {
    SCOPED_TRACE(modules);
    SimPc fresh;
    ScopedOs seam(fresh);
    fresh.System.MemoryModules.assign(modules, Module(kMb, kDimm));
    EXPECT_EQ(GetWmiInfo().GetPhysicalMemorySize(), 256u);
    EXPECT_EQ(fresh.Count(Call::WbemNext), 256);
    EXPECT_EQ(fresh.System.LiveComObjects(), 0);
  }
}

// A failing Next ends the listing like the end of the result; what was read
// still counts, and nothing is reported.
TEST_F(WmiInfo, FailedNextEndsTheListingQuietly) {
  pc.System.MemoryModules = {Module(1024 * kMb, kDimm), Module(2048 * kMb, kDimm)};
  pc.FailNth(Call::WbemNext, 2, 0x80041006);  // WBEM_E_OUT_OF_MEMORY
  EXPECT_EQ(Query(), 1024u);
  EXPECT_TRUE(GetDebugConsole().PendingLines().empty());
  EXPECT_EQ(pc.System.StdOut, kConnected);
  ExpectComLeftClean();
}

TEST_F(WmiInfo, FailedPropertyReadIsNotReported) {
  pc.System.MemoryModules = {Module(1024 * kMb, kDimm)};
  pc.FailNth(Call::WbemGet, 1, 0x80041001);  // BankLabel
  pc.FailNth(Call::WbemGet, 3, 0x80041001);  // Capacity
  EXPECT_EQ(Query(), 0u);
  EXPECT_EQ(pc.System.StdOutWide.substr(0, 22), L"BankLabel=\nCapacity=\nC");
  EXPECT_TRUE(GetDebugConsole().PendingLines().empty());
  ExpectComLeftClean();
}

// The window's thread may already be in a single-threaded apartment:
// CoInitializeEx then fails with RPC_E_CHANGED_MODE, the query runs in that
// apartment and must not take the thread's own COM initialisation away.
TEST_F(WmiInfo, LeavesAnExistingApartmentAsItFoundIt) {
  struct Row {
    const char* name;
    SimApartment apartment;
  } rows[] = {{"single-threaded", SimApartment::SingleThreaded}, {"multithreaded", SimApartment::MultiThreaded}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimPc fresh;
    ScopedOs seam(fresh);
    fresh.System.InitializedBefore(row.apartment);
    fresh.System.MemoryModules = {Module(2048 * kMb, kDimm)};
    EXPECT_EQ(GetWmiInfo().GetPhysicalMemorySize(), 2048u);
    EXPECT_EQ(fresh.System.Apartment(), row.apartment);
    EXPECT_EQ(fresh.System.ComInitCount(), 1);
    EXPECT_TRUE(fresh.System.ComFaults.empty());
    EXPECT_EQ(fresh.System.LiveComObjects(), 0);
  }
}

// COM security is set once per process; a later query finds it set
// (RPC_E_TOO_LATE) and still answers.
TEST_F(WmiInfo, SecondQueryInTheProcessStillAnswers) {
  pc.System.MemoryModules = {Module(4096 * kMb, kSodimm)};
  EXPECT_EQ(Query(), 4096u);
  EXPECT_EQ(Query(), 4096u);
  EXPECT_TRUE(GetDebugConsole().PendingLines().empty());
  EXPECT_EQ(pc.System.StdOut, std::string(kConnected) + kConnected);
  ExpectComLeftClean();
}

}  // namespace

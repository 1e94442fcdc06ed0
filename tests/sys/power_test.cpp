#include <gtest/gtest.h>

#include <string>

#include "sim_fixture.h"
#include "sys/power_man.h"

namespace {

const std::string kShutdown = "SeShutdownPrivilege";

class Power : public SimTest {
 protected:
  Power() { ReleasePowerMan(); }
  ~Power() override { ReleasePowerMan(); }

  std::vector<std::string> Details(Call kind) const {
    std::vector<std::string> details;
    for (const SimCall& c : pc.Calls)
      if (c.kind == kind) details.push_back(c.detail);
    return details;
  }
};

TEST_F(Power, CreationEnablesTheShutdownPrivilegeUntilRelease) {
  EXPECT_FALSE(pc.System.PrivilegeEnabled(kShutdown));
  EXPECT_TRUE(GetPowerMan().Enabled());
  EXPECT_TRUE(pc.System.PrivilegeEnabled(kShutdown));
  EXPECT_EQ(Details(Call::OpenProcessToken), std::vector<std::string>{"40"});  // adjust | query
  EXPECT_EQ(Details(Call::LookupPrivilegeValueA), std::vector<std::string>{kShutdown});
  EXPECT_EQ(pc.OpenHandles(), 1);

  ReleasePowerMan();
  EXPECT_FALSE(pc.System.PrivilegeEnabled(kShutdown));
  EXPECT_EQ(Details(Call::AdjustTokenPrivileges), (std::vector<std::string>{"2", "0"}));
  EXPECT_EQ(pc.OpenHandles(), 0);
  EXPECT_TRUE(pc.System.PrivilegeEnabled("SeChangeNotifyPrivilege")) << "other privileges untouched";
}

TEST_F(Power, RebootRestartsAtOnceWithoutForcingApplications) {
  EXPECT_TRUE(GetPowerMan().Reboot());
  ASSERT_EQ(pc.System.Shutdowns.size(), 1u);
  EXPECT_EQ(pc.System.Shutdowns[0].TimeoutSeconds, 0u);
  EXPECT_FALSE(pc.System.Shutdowns[0].ForceAppsClosed);
  EXPECT_TRUE(pc.System.Shutdowns[0].Reboot);
}

// A token that does not hold the privilege: AdjustTokenPrivileges succeeds
// with ERROR_NOT_ALL_ASSIGNED, the instance counts as enabled, and every
// restart is refused; a second yes reuses the instance.
TEST_F(Power, TokenWithoutThePrivilegeIsRefusedEveryTime) {
  pc.System.TokenPrivileges.erase(kShutdown);
  TPowerMan& first = GetPowerMan();
  EXPECT_TRUE(first.Enabled());
  EXPECT_EQ(pc.GetLastError(), os::kErrorNotAllAssigned);
  EXPECT_FALSE(first.Reboot());
  EXPECT_FALSE(GetPowerMan().Reboot());
  EXPECT_EQ(&GetPowerMan(), &first);
  EXPECT_EQ(pc.Count(Call::OpenProcessToken), 1);
  EXPECT_EQ(pc.Count(Call::InitiateSystemShutdownA), 2);
  EXPECT_TRUE(pc.System.Shutdowns.empty());
}

TEST_F(Power, RefusedStepLeavesThePrivilegeOffAndNothingOpen) {
  struct Row {
    const char* name;
    Call kind;
    uint32_t error;
    int adjustCalls;  // during creation and release together
  } rows[] = {
      {"token not opened", Call::OpenProcessToken, os::kErrorAccessDenied, 0},
      {"privilege unknown", Call::LookupPrivilegeValueA, kSimErrorNoSuchPrivilege, 0},
      {"change refused", Call::AdjustTokenPrivileges, os::kErrorAccessDenied, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimPc fresh;
    ScopedOs seam(fresh);
    fresh.FailNth(row.kind, 1, row.error);
    EXPECT_FALSE(GetPowerMan().Enabled());
    EXPECT_FALSE(fresh.System.PrivilegeEnabled(kShutdown));
    EXPECT_FALSE(GetPowerMan().Reboot());
    ReleasePowerMan();
    EXPECT_EQ(fresh.Count(Call::AdjustTokenPrivileges), row.adjustCalls);
    EXPECT_EQ(fresh.OpenHandles(), 0);
  }
}

}  // namespace

// A test fixture with a fresh simulated PC installed as the seam and no
// process-wide service left over from another test.
#pragma once

#include <gtest/gtest.h>

#include "platform/sim/sim_pc.h"
#include "shell/debug_console.h"
#include "disk/disk.h"
#include "shell/os_version.h"
#include "sys/power_man.h"
#include "sys/wmi_info.h"

class SimTest : public ::testing::Test {
 protected:
  SimTest() : seam_(pc) { ResetServices(); }
  ~SimTest() override { ResetServices(); }

  static void ResetServices() {
    ReleaseOsVersion();
    ReleaseWmiInfo();
    ReleaseDisk();
    ReleasePowerMan();
    ReleaseDebugConsole();
  }

  SimPc pc;

 private:
  ScopedOs seam_;
};

// The demo's built-in machines: simulated PCs with made-up disks on which the
// real window can be tried without a Rapid Start PC.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/sim_pc.h"

struct TDemoMachine {
  const char* Name;         // as the /MACHINE= switch names it
  const char* Description;  // for the demo's help text
  void (*Build)(SimPc& pc);
};

// Every built-in machine; the first is the one the demo starts on.
const std::vector<TDemoMachine>& DemoMachines();
// The machine a command line asks for with /MACHINE=name (any letter case),
// or the first one; nullptr when the name is not one of them.
const TDemoMachine* DemoMachineFor(const std::string& commandLine);
// How long a simulated diskpart run takes on the demo's clock.
constexpr uint32_t kDemoRunMs = 3000;
// How often a diskpart run started within 15 s of the previous one fails in
// the demo, in percent: Microsoft warns that such runs "might fail", and the
// demo shows the workflows running them again.
constexpr uint32_t kDemoCloseRunFailPercent = 20;
// The run time /RUNMS=n asks for (0 to 60000 ms), or kDemoRunMs.
uint32_t DemoRunMsFor(const std::string& commandLine);

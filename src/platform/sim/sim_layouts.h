// The layouts of common PCs' system disks, as the simulated PC holds them:
// what Windows setup, PC makers and a Linux installer leave behind. The
// demo's machines, the workflow tests and the figures script all build their
// disks from these, so what is measured is what is shown.
#pragma once

#include <vector>

#include "platform/sim/sim_pc.h"

struct SimLayout {
  const char* Name;         // one word, for test names and the figures table
  const char* Description;
  // Adds the disk as drive `number` with its volumes; drive letters are the
  // first free ones from C:.
  void (*Build)(SimPc& pc, int number);
  // Where Create cannot succeed: no NTFS data volume can give the room.
  bool NoRoom;
};

const std::vector<SimLayout>& CommonLayouts();
const SimLayout* FindCommonLayout(const char* name);

// Types these layouts use.
extern const os::Guid kSimEfiType;
extern const os::Guid kSimMsrType;
extern const os::Guid kSimBasicDataType;
extern const os::Guid kSimRecoveryType;
extern const os::Guid kSimLinuxDataType;
extern const os::Guid kSimLinuxSwapType;

// Restarts the machine. The shutdown privilege is enabled when the instance
// is created and stays enabled for the rest of the process.
#pragma once

#include "sys/privilege.h"

class TPowerMan : public TPrivilege {
 public:
  TPowerMan();

  // Asks Windows to restart the local machine at once (no countdown, no
  // message), without closing running applications by force. True when the
  // request was accepted; the process then ends with the system. False when
  // it was refused (for example without the shutdown privilege), and the
  // program goes on.
  bool Reboot();
};

// The single instance, created (privilege enabled) on first use. The program
// never releases it: it lives until the restart or the end of the process.
TPowerMan& GetPowerMan();
// For tests, which need a fresh instance for each simulated PC: destroys the
// instance, which disables the privilege again.
void ReleasePowerMan();

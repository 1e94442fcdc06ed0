#include "sys/power_man.h"

#include "platform/os.h"

namespace {

constexpr const char* kShutdownPrivilege = "SeShutdownPrivilege";
constexpr uint32_t kRestartTimeoutSeconds = 0;  // no countdown
constexpr bool kForceAppsClosed = false;
constexpr bool kRebootAfterShutdown = true;

// Deliberately not destroyed at exit: the instance must not reach for a seam
// that is already gone while the process ends.
TPowerMan* g_powerMan = nullptr;

}  // namespace

TPowerMan::TPowerMan() : TPrivilege(kShutdownPrivilege) {}

bool TPowerMan::Reboot() {
  return CurrentOs().InitiateSystemShutdownA(kRestartTimeoutSeconds, kForceAppsClosed, kRebootAfterShutdown);
}

TPowerMan& GetPowerMan() {
  if (!g_powerMan) g_powerMan = new TPowerMan();
  return *g_powerMan;
}

void ReleasePowerMan() {
  delete g_powerMan;
  g_powerMan = nullptr;
}

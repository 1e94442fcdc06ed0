#include "platform/os.h"

#include <stdexcept>

namespace {
Os* g_os = nullptr;
}

Os& CurrentOs() {
  if (!g_os) throw std::logic_error("no operating-system seam installed");
  return *g_os;
}

void InstallOs(Os* os) { g_os = os; }

Os* ScopedOs::TryCurrentOs() { return g_os; }

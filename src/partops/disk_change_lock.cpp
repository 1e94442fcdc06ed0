#include "partops/disk_change_lock.h"

#include "platform/os.h"

namespace {
// This process's holds and the mutex they share.
int g_holds = 0;
os::Handle g_mutex = os::kNull;
}  // namespace

TDiskChangeLock TDiskChangeHold::Take() {
  if (held_) return last_ = TDiskChangeLock::Taken;
  if (g_holds > 0) {
    ++g_holds;
    held_ = true;
    return last_ = TDiskChangeLock::Taken;
  }
  Os& os = CurrentOs();
  const os::Handle mutex = os.CreateMutexA(kDiskChangeMutexSddl, false, kDiskChangeMutexName);
  error_ = os.GetLastError();
  if (mutex != os::kNull && error_ == os::kErrorAlreadyExists) {
    os.CloseHandle(mutex);
    return last_ = TDiskChangeLock::Busy;
  }
  // Made by another account with another access list: someone holds it.
  if (mutex == os::kNull) return last_ = error_ == os::kErrorAccessDenied ? TDiskChangeLock::Busy : TDiskChangeLock::Failed;
  g_mutex = mutex;
  g_holds = 1;
  held_ = true;
  return last_ = TDiskChangeLock::Taken;
}

void TDiskChangeHold::Release() {
  if (!held_) return;
  held_ = false;
  if (--g_holds > 0) return;
  OsHandle(CurrentOs(), g_mutex).Reset();
  g_mutex = os::kNull;
}

std::string TDiskChangeHold::WhyNotTaken() const {
  if (last_ == TDiskChangeLock::Busy) return "another copy of OrvRapidStart is changing a disk on this computer";
  return "the lock on disk changes cannot be taken (error " + std::to_string(error_) + ")";
}

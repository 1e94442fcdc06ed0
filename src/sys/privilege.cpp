#include "sys/privilege.h"

#include "platform/os.h"

TPrivilege::TPrivilege(const std::string& privilegeName) {
  Os& os = CurrentOs();
  if (!os.OpenProcessToken(os.GetCurrentProcess(), os::kTokenAdjustPrivileges | os::kTokenQuery, Token_)) {
    Token_ = os::kNull;
    return;
  }
  if (!os.LookupPrivilegeValueA(privilegeName, Privileges_.PrivilegeLuid)) return;
  Privileges_.PrivilegeCount = 1;
  Privileges_.Attributes = os::kSePrivilegeEnabled;
  // The last error is deliberately not read: see Enabled().
  Enabled_ = os.AdjustTokenPrivileges(Token_, false, Privileges_);
}

TPrivilege::~TPrivilege() {
  // The process-wide instances outlive any seam only in tests; never reach
  // for one that is gone.
  Os* os = ScopedOs::TryCurrentOs();
  if (!os) return;
  if (Enabled_) {
    Privileges_.Attributes = 0;
    os->AdjustTokenPrivileges(Token_, false, Privileges_);
  }
  OsHandle(*os, Token_).Reset();
}

// One named privilege of the process's access token, enabled for the lifetime
// of the object. Windows checks some requests (a restart, for one) against the
// privileges that are enabled, not merely held.
#pragma once

#include <string>

#include "platform/os_types.h"

class TPrivilege {
 public:
  // Opens the process token and enables the privilege. Enabled() is true when
  // AdjustTokenPrivileges accepted the change, which includes a token that
  // does not hold the privilege at all: that call succeeds with
  // ERROR_NOT_ALL_ASSIGNED, and the request the privilege guards then fails.
  explicit TPrivilege(const std::string& privilegeName);
  // Disables the privilege again when it was enabled, and closes the token.
  ~TPrivilege();
  TPrivilege(const TPrivilege&) = delete;
  TPrivilege& operator=(const TPrivilege&) = delete;

  bool Enabled() const { return Enabled_; }

 private:
  os::Handle Token_ = os::kNull;
  os::TokenPrivileges1 Privileges_{};
  bool Enabled_ = false;
};

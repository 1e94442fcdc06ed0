// The real seam's calls that carry a security descriptor or read one.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include "platform/win32/win32_os.h"

namespace {

// Runs call with attributes whose descriptor the SDDL text describes, or with
// none for empty text; false, with the conversion's error, when the text
// cannot be converted. The call's own last error is kept.
template <typename Call>
bool WithSecurityAttributes(const std::string& sddl, Call call) {
  if (sddl.empty()) return call(nullptr);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  SECURITY_ATTRIBUTES sa = {sizeof sa, descriptor, FALSE};
  const bool ok = call(&sa);
  const DWORD error = ::GetLastError();
  ::LocalFree(descriptor);
  ::SetLastError(error);
  return ok;
}

}  // namespace

os::Handle Win32Os::CreateMutexA(const std::string& sddl, bool initialOwner, const std::string& name) {
  HANDLE mutex = nullptr;
  WithSecurityAttributes(sddl, [&](SECURITY_ATTRIBUTES* sa) {
    mutex = ::CreateMutexA(sa, initialOwner, name.c_str());
    return mutex != nullptr;
  });
  return reinterpret_cast<os::Handle>(mutex);
}

bool Win32Os::CreateDirectoryA(const std::string& path, const std::string& sddl) {
  return WithSecurityAttributes(sddl, [&](SECURITY_ATTRIBUTES* sa) { return ::CreateDirectoryA(path.c_str(), sa) != FALSE; });
}

bool Win32Os::GetFileOwnerSid(os::Handle file, std::string& sid) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = ::GetSecurityInfo(reinterpret_cast<HANDLE>(file), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                        &owner, nullptr, nullptr, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) {
    ::SetLastError(error);
    return false;
  }
  char* text = nullptr;
  const bool ok = ::ConvertSidToStringSidA(owner, &text) != FALSE;
  const DWORD convertError = ::GetLastError();
  if (ok) sid = text;
  ::LocalFree(text);
  ::LocalFree(descriptor);
  ::SetLastError(convertError);
  return ok;
}

// The real seam's file, pipe and process calls.
#include <windows.h>

#include "platform/win32/win32_os.h"

bool Win32Os::WriteFile(os::Handle, const void*, uint32_t, uint32_t& written) { written = 0; return false; }
bool Win32Os::ReadFile(os::Handle, void*, uint32_t, uint32_t& read) { read = 0; return false; }
bool Win32Os::DeleteFileA(const std::string&) { return false; }
bool Win32Os::CreatePipe(os::Handle&, os::Handle&) { return false; }
bool Win32Os::CreateProcessA(const std::string&, uint32_t, os::Handle, os::Handle, os::Handle,
                             os::ProcessInformation&) {
  return false;
}
uint32_t Win32Os::WaitForSingleObject(os::Handle, uint32_t) { return WAIT_FAILED; }
bool Win32Os::GetExitCodeProcess(os::Handle, uint32_t&) { return false; }

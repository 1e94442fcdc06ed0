// The real seam's file, pipe and process calls.
#include <windows.h>

#include "platform/win32/win32_os.h"

namespace {
HANDLE H(os::Handle h) { return reinterpret_cast<HANDLE>(h); }
os::Handle Out(HANDLE h) { return reinterpret_cast<os::Handle>(h); }
}  // namespace

bool Win32Os::WriteFile(os::Handle file, const void* data, uint32_t size, uint32_t& written) {
  DWORD n = 0;
  const BOOL ok = ::WriteFile(H(file), data, size, &n, nullptr);
  written = n;
  return ok != FALSE;
}

bool Win32Os::ReadFile(os::Handle file, void* buffer, uint32_t size, uint32_t& read) {
  DWORD n = 0;
  const BOOL ok = ::ReadFile(H(file), buffer, size, &n, nullptr);
  read = n;
  return ok != FALSE;
}

bool Win32Os::DeleteFileA(const std::string& path) { return ::DeleteFileA(path.c_str()) != FALSE; }
bool Win32Os::RemoveDirectoryA(const std::string& path) { return ::RemoveDirectoryA(path.c_str()) != FALSE; }

bool Win32Os::CreatePipe(os::Handle& readEnd, os::Handle& writeEnd, bool inheritable) {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, inheritable ? TRUE : FALSE};
  HANDLE r = nullptr, w = nullptr;
  const BOOL ok = ::CreatePipe(&r, &w, &sa, 0);
  readEnd = Out(r);
  writeEnd = Out(w);
  return ok != FALSE;
}

bool Win32Os::CreateProcessA(const std::string& commandLine, uint32_t flags, os::Handle stdIn, os::Handle stdOut,
                             os::Handle stdErr, os::ProcessInformation& pi) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  si.hStdInput = H(stdIn);
  si.hStdOutput = H(stdOut);
  si.hStdError = H(stdErr);
  PROCESS_INFORMATION info = {};
  std::string mutableLine = commandLine;  // CreateProcessA may write into it
  const BOOL ok = ::CreateProcessA(nullptr, &mutableLine[0], nullptr, nullptr, TRUE, flags, nullptr, nullptr, &si, &info);
  pi = {Out(info.hProcess), Out(info.hThread), info.dwProcessId, info.dwThreadId};
  return ok != FALSE;
}

bool Win32Os::SetHandleInformation(os::Handle h, uint32_t mask, uint32_t flags) {
  return ::SetHandleInformation(H(h), mask, flags) != FALSE;
}

// Not GetWindowsDirectory: on a terminal server it gives a program that is
// not marked as aware of it a private folder of the user's.
std::string Win32Os::GetSystemWindowsDirectoryA() {
  char path[MAX_PATH + 1] = {};
  const UINT n = ::GetSystemWindowsDirectoryA(path, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::string() : std::string(path, n);
}

std::string Win32Os::GetSystemDirectoryA() {
  char path[MAX_PATH + 1] = {};
  const UINT n = ::GetSystemDirectoryA(path, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::string() : std::string(path, n);
}

uint32_t Win32Os::WaitForSingleObject(os::Handle h, uint32_t ms) { return ::WaitForSingleObject(H(h), ms); }

bool Win32Os::PeekNamedPipe(os::Handle pipe, uint32_t& available) {
  DWORD n = 0;
  const BOOL ok = ::PeekNamedPipe(H(pipe), nullptr, 0, nullptr, &n, nullptr);
  available = n;
  return ok != FALSE;
}

bool Win32Os::GetExitCodeProcess(os::Handle process, uint32_t& code) {
  DWORD c = 0;
  const BOOL ok = ::GetExitCodeProcess(H(process), &c);
  code = c;
  return ok != FALSE;
}

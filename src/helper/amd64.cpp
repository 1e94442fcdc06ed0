// amd64.exe: runs, as a 64-bit process, the command line it is given, with
// its own standard handles, and ends with that program's exit code.
//
// A 32-bit program on 64-bit Windows XP or Server 2003 cannot start the
// system's 64-bit diskpart itself (file-system redirection hands it the
// 32-bit system folder); this helper is 64-bit and can.
#include <windows.h>

#include <string>

#include "platform/helper_command.h"
#include "platform/win32/dll_loading.h"

int main() {
  HardenDllSearch();
  char systemDirectory[MAX_PATH + 1] = {};
  const UINT n = GetSystemDirectoryA(systemDirectory, MAX_PATH);
  // A bare program name is taken from this (64-bit) process's own system
  // folder, never searched for next to the helper or in the current folder.
  std::string commandLine = HelperTargetCommandLine(UnwrapHelperCommandLine(GetCommandLineA()),
                                                    n > 0 && n < MAX_PATH ? systemDirectory : "");
  if (commandLine.empty()) return static_cast<int>(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));

  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    return static_cast<int>(HRESULT_FROM_WIN32(GetLastError()));
  CloseHandle(pi.hThread);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(pi.hProcess, &code)) code = static_cast<DWORD>(HRESULT_FROM_WIN32(GetLastError()));
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

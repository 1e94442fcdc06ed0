#include "platform/win32/win32_os.h"

#include <windows.h>

#include <cstddef>
#include <vector>

// The portable records must be the SDK's own, byte for byte.
static_assert(sizeof(os::OsVersionInfoExA) == sizeof(OSVERSIONINFOEXA), "OSVERSIONINFOEXA");
static_assert(offsetof(os::OsVersionInfoExA, wSuiteMask) == offsetof(OSVERSIONINFOEXA, wSuiteMask), "wSuiteMask");
static_assert(offsetof(os::OsVersionInfoExA, wProductType) == offsetof(OSVERSIONINFOEXA, wProductType),
              "wProductType");
static_assert(sizeof(os::SystemInfo) == sizeof(SYSTEM_INFO), "SYSTEM_INFO");
static_assert(sizeof(os::Guid) == sizeof(GUID), "GUID");

namespace {
HANDLE H(os::Handle h) { return reinterpret_cast<HANDLE>(h); }
os::Handle Out(HANDLE h) { return reinterpret_cast<os::Handle>(h); }
}  // namespace

uint32_t Win32Os::GetLastError() { return ::GetLastError(); }
void Win32Os::SetLastError(uint32_t code) { ::SetLastError(code); }
std::string Win32Os::GetCommandLineA() { return ::GetCommandLineA(); }

std::string Win32Os::GetModuleFileNameA() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n < MAX_PATH ? n : 0);
}

std::string Win32Os::GetTempPathA(uint32_t bufferChars) {
  std::vector<char> buffer(bufferChars + 1, '\0');
  const DWORD n = ::GetTempPathA(bufferChars, buffer.data());
  return n == 0 || n > bufferChars ? std::string() : std::string(buffer.data(), n);
}

void Win32Os::Sleep(uint32_t ms) { ::Sleep(ms); }
bool Win32Os::CloseHandle(os::Handle h) { return ::CloseHandle(H(h)) != FALSE; }

std::string Win32Os::CharUpperBuffA(const std::string& text) {
  std::string upper = text;
  if (!upper.empty()) ::CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
  return upper;
}

os::Handle Win32Os::OpenMutexA(uint32_t access, bool inherit, const std::string& name) {
  return Out(::OpenMutexA(access, inherit, name.c_str()));
}

os::Handle Win32Os::FindWindowA(const std::string& className, const std::string& windowName) {
  return Out(::FindWindowA(className.c_str(), windowName.c_str()));
}

bool Win32Os::PostMessageA(os::Handle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  return ::PostMessageA(reinterpret_cast<HWND>(window), msg, wParam, lParam) != FALSE;
}

int Win32Os::MessageBoxA(const std::string& text, const std::string& caption, uint32_t type) {
  return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), type);
}

bool Win32Os::AllocConsole() { return ::AllocConsole() != FALSE; }
bool Win32Os::FreeConsole() { return ::FreeConsole() != FALSE; }
os::Handle Win32Os::GetStdHandle(uint32_t which) { return Out(::GetStdHandle(which)); }

bool Win32Os::WriteConsoleA(os::Handle out, const std::string& bytes) {
  DWORD written = 0;
  return ::WriteConsoleA(H(out), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE;
}

bool Win32Os::GetConsoleScreenBufferInfo(os::Handle out, uint16_t& attributes) {
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  if (!::GetConsoleScreenBufferInfo(H(out), &info)) return false;
  attributes = info.wAttributes;
  return true;
}

bool Win32Os::SetConsoleTextAttribute(os::Handle out, uint16_t attributes) {
  return ::SetConsoleTextAttribute(H(out), attributes) != FALSE;
}

os::Proc Win32Os::GetProcAddress(const std::string& module, const std::string& name) {
  HMODULE m = ::GetModuleHandleA(module.c_str());
  return m ? reinterpret_cast<os::Proc>(::GetProcAddress(m, name.c_str())) : 0;
}

bool Win32Os::IsWow64Process(os::Proc fn, bool& wow64) {
  using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  BOOL result = FALSE;
  if (!reinterpret_cast<Fn>(fn)(::GetCurrentProcess(), &result)) return false;
  wow64 = result != FALSE;
  return true;
}

void Win32Os::GetNativeSystemInfo(os::Proc fn, os::SystemInfo& info) {
  using Fn = void(WINAPI*)(LPSYSTEM_INFO);
  reinterpret_cast<Fn>(fn)(reinterpret_cast<LPSYSTEM_INFO>(&info));
}

bool Win32Os::GetProductInfo(os::Proc fn, uint32_t major, uint32_t minor, uint32_t spMajor, uint32_t spMinor,
                             uint32_t& productType) {
  using Fn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
  DWORD type = 0;
  const BOOL ok = reinterpret_cast<Fn>(fn)(major, minor, spMajor, spMinor, &type);
  productType = type;
  return ok != FALSE;
}

void Win32Os::GetSystemInfo(os::SystemInfo& info) { ::GetSystemInfo(reinterpret_cast<LPSYSTEM_INFO>(&info)); }

bool Win32Os::GetVersionExA(os::OsVersionInfoExA& record) {
  return ::GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&record)) != FALSE;
}

int Win32Os::GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

bool Win32Os::CoCreateGuid(os::Guid& guid) { return ::CoCreateGuid(reinterpret_cast<GUID*>(&guid)) == S_OK; }

static_assert(sizeof(os::SystemTime) == sizeof(SYSTEMTIME), "SYSTEMTIME");

uint32_t Win32Os::GetTickCount() { return ::GetTickCount(); }

void Win32Os::GetLocalTime(os::SystemTime& time) {
  SYSTEMTIME st = {};
  ::GetLocalTime(&st);
  time = {st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

bool Win32Os::AttachConsole(uint32_t processId) { return ::AttachConsole(processId) != FALSE; }

bool Win32Os::GetFileInformationByHandle(os::Handle file, os::FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!::GetFileInformationByHandle(H(file), &info)) return false;
  identity = {info.dwFileAttributes, info.nNumberOfLinks};
  return true;
}

#include "platform/win32/dll_loading.h"

namespace {

// Newer kernel32 exports, looked up so that the programs still start where
// they are missing (kernel32 is always loaded).
FARPROC Kernel32Export(const char* name) { return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name); }

}  // namespace

bool SearchSystemFolderOnly() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto set = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(Kernel32Export("SetDefaultDllDirectories")));
  return set && set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void RemoveCurrentFolderFromDllSearch() {
  using SetDllDirectoryWFn = BOOL(WINAPI*)(LPCWSTR);
  auto set = reinterpret_cast<SetDllDirectoryWFn>(reinterpret_cast<void*>(Kernel32Export("SetDllDirectoryW")));
  if (set) set(L"");
}

void HardenDllSearch() {
  SearchSystemFolderOnly();
  RemoveCurrentFolderFromDllSearch();
}

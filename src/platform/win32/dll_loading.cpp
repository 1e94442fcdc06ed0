#include "platform/win32/dll_loading.h"

#include <delayimp.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Newer kernel32 exports, looked up so that the programs still start where
// they are missing (kernel32 is always loaded).
FARPROC Kernel32Export(const char* name) { return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name); }

// Whether the activation context in force (the program's manifest, else the
// system's default) sends that DLL name to WinSxS, as the loader would. The
// record size given is XP's, which later systems accept (assumed: XP refuses
// the larger record they define).
bool RedirectedToSideBySide(const wchar_t* name) {
  ACTCTX_SECTION_KEYED_DATA data = {};
  data.cbSize = sizeof(ACTCTX_SECTION_KEYED_DATA_2600);
  return FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &data) != FALSE;
}

// The delay-load helper loads by bare name, searching the program's folder
// first, whenever the hook answers nullptr: a DLL that is not where it must be
// ends the process instead, as a missing static import would. The reason goes
// to the standard error (unattended runs), else to a message box.
[[noreturn]] void FailToLoad(const char* name, DWORD error) {
  char text[320];
  std::snprintf(text, sizeof text, "OrvRapidStart stops: %.200s could not be loaded from the system folder (error %lu).\r\n",
                name, static_cast<unsigned long>(error));
  DWORD written = 0;
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err == nullptr || err == INVALID_HANDLE_VALUE ||
      !WriteFile(err, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr))
    FatalAppExitA(0, text);  // kernel32's message box: the helper must not import user32
  ExitProcess(static_cast<UINT>(STATUS_DLL_NOT_FOUND));
}

FARPROC WINAPI DelayLoadNotify(unsigned notify, PDelayLoadInfo info) {
  if (notify != dliNotePreLoadLibrary) return nullptr;
  HMODULE module = LoadSystemLibrary(info->szDll);
  if (!module) FailToLoad(info->szDll, GetLastError());
  return reinterpret_cast<FARPROC>(module);
}

}  // namespace

// The delay-load helper's notify hook, in place before any code of ours runs.
PfnDliHook __pfnDliNotifyHook2 = DelayLoadNotify;

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

HMODULE LoadSystemLibrary(const char* name) {
  wchar_t folder[MAX_PATH];
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  std::wstring bare;
  for (const char* c = name; *c; ++c) bare += static_cast<wchar_t>(static_cast<unsigned char>(*c));  // import names are ASCII
  const std::wstring path = std::wstring(folder, n) + L"\\" + bare;
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module || GetLastError() != ERROR_MOD_NOT_FOUND) return module;
  // XP keeps GDI+ in WinSxS only, and its default activation context sends
  // every program there (assumed: Microsoft's "GDI+ 1.0 Security Update
  // Overview" says side-by-side installs and serves XP's GDI+; no XP was at
  // hand). A name the activation context redirects is taken from WinSxS
  // before any folder is searched; any other name is not loaded at all.
  if (!RedirectedToSideBySide(bare.c_str())) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return LoadLibraryW(bare.c_str());
}

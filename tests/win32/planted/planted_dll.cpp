// A stand-in for a DLL an attacker leaves beside the program (in Downloads,
// say) under the name of a system DLL. Loaded into a process, it leaves a
// marker file beside itself, named after the name it was loaded under
// (gdiplus.dll leaves gdiplus.dll.planted), and does nothing else: the tests
// look for the markers.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 16];
  const DWORD n = GetModuleFileNameW(instance, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  lstrcatW(path, L".planted");
  HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(marker, "loaded\r\n", 8, &written, nullptr);
    CloseHandle(marker);
  }
  return TRUE;
}

// Windows process entry: installs the real seam and the Win32 renderer, then
// hands over to the portable entry.
#include <windows.h>

#include "app/win32/app_host_win32.h"
#include "platform/win32/dll_loading.h"
#include "platform/win32/win32_os.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  HardenDllSearch();
  static Win32Os os;
  InstallOs(&os);
  Win32ApplicationHost host(instance);
  return host.Main();
}

// The demo's process entry: the same window and code on a simulated PC.
// Disks, files, diskpart runs, WMI, the token and the restart belong to the
// simulated PC, on a clock that follows the real one; windows, message boxes,
// the console and the mutex are Windows' own. /MACHINE=name picks one of the
// built-in machines, /RUNMS=n how long a diskpart run takes (3000 ms).
#include <windows.h>

#include <string>
#include <vector>

#include "app/switches.h"
#include "app/win32/app_host_win32.h"
#include "demo/demo_machines.h"
#include "demo/demo_os.h"
#include "platform/win32/dll_loading.h"
#include "platform/win32/win32_os.h"

namespace {
// Simulated handles lie far from the ones Windows hands out, so each call
// that takes a handle goes to the side that made it.
constexpr os::Handle kSimHandleBase = 0x7A000000;
const std::vector<std::string> kDemoSwitches = {"/MACHINE=", "/RUNMS="};
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  HardenDllSearch();
  static Win32Os real;
  static SimPc sim(kSimHandleBase);
  const TDemoMachine* machine = DemoMachineFor(GetCommandLineA());
  if (!machine) {
    std::string text = "Unknown machine. Start the demo with /MACHINE= and one of:\n";
    for (const TDemoMachine& m : DemoMachines()) text += std::string("\n") + m.Name + "\t" + m.Description;
    MessageBoxA(nullptr, text.c_str(), "OrvRapidStart Demo", MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  machine->Build(sim);
  sim.ModulePath = real.GetModuleFileNameA();
  sim.Clock.FollowRealTime();
  sim.Processes.RunMs = DemoRunMsFor(GetCommandLineA());
  sim.Processes.CloseRunFailPercent = kDemoCloseRunFailPercent;
  sim.Processes.CloseRunSeed = GetTickCount();
  sim.StopRecording();  // the demo may run for hours; nobody reads its records
  static TDemoOs os(real, sim);
  InstallOs(&os);
  os.ShowsRestart =
      ReadSwitches(ArgumentText(GetCommandLineA(), real.GetModuleFileNameA()), kDemoSwitches).Action == TAction::Window;
  Win32ApplicationHost host(instance);
  host.TitleSuffix = "(Demo)";
  host.OwnSwitches = kDemoSwitches;
  return host.Main();
}

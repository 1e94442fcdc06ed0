// Wall time of an unattended /CREATE on the demo's standard machine (a
// shrink of its full GPT system disk), on the real clock, against what the
// workflow is made of: each step's simulated diskpart run (RunMs) and the
// 2000 ms pause after it. The time the program adds is the difference.
// The run is the real one (RunUnattended with the system's tick clock); only
// the disks and diskpart are simulated. Goal: ratio at most 1.1.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "app/unattended.h"
#include "demo/demo_machines.h"
#include "disk/disk.h"
#include "platform/sim/sim_pc.h"
#include "shell/debug_console.h"
#include "shell/os_version.h"
#include "sys/power_man.h"
#include "sys/wmi_info.h"
#include "ui/workflow_steps.h"

namespace {

void ReleaseServices() {
  ReleaseOsVersion();
  ReleaseWmiInfo();
  ReleaseDisk();
  ReleasePowerMan();
  ReleaseDebugConsole();
}

void UnattendedCreate(benchmark::State& state) {
  const auto runMs = static_cast<uint32_t>(state.range(0));
  double ratio = 0, wallMs = 0, expectedMs = 0;
  for (auto _ : state) {
    SimPc pc;
    ScopedOs seam(pc);
    ReleaseServices();
    DemoMachines().front().Build(pc);
    pc.Clock.FollowRealTime();
    pc.Processes.RunMs = runMs;
    pc.StopRecording();
    TQueueDispatcher gui;
    InstallDispatcher(&gui);
    TSystemLoopClock clock;
    std::vector<std::string> out;
    TUnattendedEnv env{gui, clock, [&out](const std::string& line) { out.push_back(line); }};
    TSwitches s = ReadSwitches(" /CREATE");
    const auto t0 = std::chrono::steady_clock::now();
    const int code = RunUnattended(s, env);
    const auto t1 = std::chrono::steady_clock::now();
    while (!gui.PumpUntil([] { return TThread::LiveCount() == 0; })) {
    }
    gui.Close();
    InstallDispatcher(nullptr);
    ReleaseServices();
    if (code != kExitOk) {
      state.SkipWithError("the Create did not succeed");
      return;
    }
    const auto steps = std::count_if(out.begin(), out.end(), [](const std::string& l) { return l.rfind("Step=", 0) == 0; });
    wallMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
    expectedMs = static_cast<double>(steps) * (runMs + kStepPauseMs);
    ratio = wallMs / expectedMs;
  }
  state.counters["wall_ms"] = wallMs;
  state.counters["runs_and_pauses_ms"] = expectedMs;
  state.counters["ratio"] = ratio;
}

}  // namespace

BENCHMARK(UnattendedCreate)->Arg(3000)->Arg(200)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

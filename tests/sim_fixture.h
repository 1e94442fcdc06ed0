// A test fixture with a fresh simulated PC installed as the seam and no
// process-wide service left over from another test; and one that adds a GUI
// queue pumped by the test, for code whose workers report to the GUI thread.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/sim_pc.h"
#include "shell/debug_console.h"
#include "disk/disk.h"
#include "shell/os_version.h"
#include "shell/thread.h"
#include "sys/power_man.h"
#include "sys/wmi_info.h"

class SimTest : public ::testing::Test {
 protected:
  SimTest() : seam_(pc) { ResetServices(); }
  ~SimTest() override { ResetServices(); }

  static void ResetServices() {
    ReleaseOsVersion();
    ReleaseWmiInfo();
    ReleaseDisk();
    ReleasePowerMan();
    ReleaseDebugConsole();
  }

  SimPc pc;

 private:
  ScopedOs seam_;
};

// A simulated PC and a GUI queue pumped by the test. The test lets time pass
// (AdvanceMs) on the simulated PC's clock, so runs finish in the order they
// would on a real PC; a fixture with timers ticks them on the same clock.
class QueueTest : public SimTest {
 protected:
  QueueTest() { InstallDispatcher(&gui); }
  ~QueueTest() override { Shutdown(); }

  // Lets every worker end, then closes the queue and takes it away.
  void Shutdown() {
    pc.ReleaseChildren();
    gui.PumpUntil([] { return TThread::LiveCount() == 0; });
    gui.Pump();
    gui.Close();
    InstallDispatcher(nullptr);
  }

  // routed, with each run's end counted first (runsEnded, lastExitCode).
  std::function<void(uint64_t, int32_t)> CountingEnds(std::function<void(uint64_t, int32_t)> routed) {
    return [this, routed = std::move(routed)](uint64_t id, int32_t code) {
      ++runsEnded;
      lastExitCode = code;
      if (routed) routed(id, code);
    };
  }

  // Pumps until the run in flight has ended (its child released first).
  bool RunToEnd() {
    const int before = runsEnded;
    Settle();
    pc.ReleaseChildren();
    return gui.PumpUntil([&] { return runsEnded > before; });
  }

  // Waits until every worker is either gone or waiting on the simulated PC,
  // and the GUI queue is empty.
  void Settle() {
    for (int spins = 0; spins < 20000; ++spins) {
      gui.Pump();
      if (TThread::LiveCount() == pc.BlockedCallers()) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (gui.Pump() == 0 && TThread::LiveCount() == pc.BlockedCallers()) return;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    ADD_FAILURE() << "workers never settled";
  }

  // Lets ms of time pass: timers tick, pauses end, simulated runs finish.
  void AdvanceMs(uint64_t ms) {
    const uint64_t target = now_ + ms;
    for (;;) {
      Settle();
      const uint64_t next = std::min({target, pc.NextChildEventMs(), NextTimerDueMs()});
      if (next > now_) {
        pc.AdvanceMs(next - now_);
        now_ = next;
        Settle();
      }
      if (TickDueTimer()) continue;
      if (now_ >= target) break;
    }
  }
  uint64_t NowMs() const { return now_; }

  std::vector<std::string> HeldLines() { return GetDebugConsole().PendingLines(); }

  TQueueDispatcher gui;
  int runsEnded = 0;
  int32_t lastExitCode = 0;
  uint64_t now_ = 0;  // the test clock, in step with the simulated PC's

 private:
  // A fixture with timers: when the next one is due, and ticking the first
  // that is due now (false: none is).
  virtual uint64_t NextTimerDueMs() const { return UINT64_MAX; }
  virtual bool TickDueTimer() { return false; }
};

// A form's (or a bare host's) timers and the work handed to the GUI thread, run without a
// window: the message loop of the unattended runs. The Win32 renderer runs
// the same timers with SetTimer; this loop runs them on a clock it is given,
// so tests can run it on the simulated PC's clock.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "shell/thread.h"
#include "widgets/widgets.h"

class TLoopClock {
 public:
  virtual ~TLoopClock() = default;
  virtual uint64_t NowMs() = 0;
  // Returns at dueMs, or sooner when work is handed to the GUI thread.
  virtual void WaitUntil(TQueueDispatcher& gui, uint64_t dueMs) = 0;
};

// The system's tick count, widened past its 49.7-day wrap.
class TSystemLoopClock : public TLoopClock {
 public:
  uint64_t NowMs() override;
  void WaitUntil(TQueueDispatcher& gui, uint64_t dueMs) override;

 private:
  uint32_t last_ = 0;
  uint64_t high_ = 0;
  bool started_ = false;
};

class TTimerLoop : public TWidgetObserver {
 public:
  TTimerLoop(TTimerHost& timers, TQueueDispatcher& gui, TLoopClock& clock);
  ~TTimerLoop() override;
  TTimerLoop(const TTimerLoop&) = delete;
  TTimerLoop& operator=(const TTimerLoop&) = delete;

  // Runs until done() holds (true) or limitMs have passed (false).
  bool RunUntil(const std::function<bool()>& done, uint64_t limitMs);

  void Changed(TControl&, TChange) override {}
  // A timer switched on, or its countdown restarted, starts a full interval.
  void TimerChanged(TTimer& timer) override;

 private:
  TTimerHost& timers_;
  TWidgetObserver* previous_;
  TQueueDispatcher& gui_;
  TLoopClock& clock_;
  std::map<TTimer*, uint64_t> due_;
};

#include "widgets/timer_loop.h"

#include <algorithm>

#include "platform/os.h"

namespace {
// Longest single wait: a clock that jumps is noticed soon.
constexpr uint64_t kMaxWaitMs = 1000;
}  // namespace

uint64_t TSystemLoopClock::NowMs() {
  const uint32_t now = CurrentOs().GetTickCount();
  if (started_ && now < last_) high_ += uint64_t{1} << 32;
  started_ = true;
  last_ = now;
  return high_ + now;
}

void TSystemLoopClock::WaitUntil(TQueueDispatcher& gui, uint64_t dueMs) {
  const uint64_t now = NowMs();
  if (dueMs > now) gui.WaitForWork(static_cast<int>(std::min(dueMs - now, kMaxWaitMs)));
}

TTimerLoop::TTimerLoop(TTimerHost& timers, TQueueDispatcher& gui, TLoopClock& clock)
    : timers_(timers), previous_(timers.Observer), gui_(gui), clock_(clock) {
  timers_.Observer = this;
  for (TTimer* t : timers_.Timers())
    if (t->Enabled()) TimerChanged(*t);
}

TTimerLoop::~TTimerLoop() { timers_.Observer = previous_; }

void TTimerLoop::TimerChanged(TTimer& timer) {
  if (timer.Enabled())
    due_[&timer] = clock_.NowMs() + timer.Interval();
  else
    due_.erase(&timer);
}

bool TTimerLoop::RunUntil(const std::function<bool()>& done, uint64_t limitMs) {
  const uint64_t end = clock_.NowMs() + limitMs;
  for (;;) {
    gui_.Pump();
    if (done()) return true;
    const uint64_t now = clock_.NowMs();
    if (now >= end) return false;
    const auto next = std::min_element(due_.begin(), due_.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    if (next != due_.end() && next->second <= now) {
      TTimer* timer = next->first;
      next->second = now + timer->Interval();  // periodic, as SetTimer
      timer->Tick();
      continue;
    }
    clock_.WaitUntil(gui_, next != due_.end() ? std::min(next->second, end) : end);
  }
}

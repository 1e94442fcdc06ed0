#include "widgets/thread.h"

#include <chrono>
#include <stdexcept>
#include <thread>

namespace {
TGuiDispatcher* g_dispatcher = nullptr;
}

TGuiDispatcher& CurrentDispatcher() {
  if (!g_dispatcher) throw std::logic_error("no GUI dispatcher installed");
  return *g_dispatcher;
}

void InstallDispatcher(TGuiDispatcher* dispatcher) { g_dispatcher = dispatcher; }

TQueueDispatcher::~TQueueDispatcher() { Close(); }

void TQueueDispatcher::Send(const std::function<void()>& fn) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (closed_) return;
  bool done = false;
  queue_.push_back({fn, &done});
  changed_.notify_all();
  changed_.wait(lock, [&] { return done; });
}

void TQueueDispatcher::Post(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return;
  queue_.push_back({std::move(fn), nullptr});
  changed_.notify_all();
}

int TQueueDispatcher::Pump() {
  int ran = 0;
  for (;;) {
    Item item;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) return ran;
      item = std::move(queue_.front());
      queue_.pop_front();
    }
    item.fn();
    ++ran;
    if (item.done) {
      std::lock_guard<std::mutex> lock(mutex_);
      *item.done = true;
      changed_.notify_all();
    }
  }
}

bool TQueueDispatcher::PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    Pump();
    if (done()) return true;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_until(lock, deadline, [&] { return !queue_.empty(); })) return false;
  }
}

bool TQueueDispatcher::WaitForWork(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !queue_.empty(); });
}

void TQueueDispatcher::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  for (Item& item : queue_)
    if (item.done) *item.done = true;
  queue_.clear();
  changed_.notify_all();
}

void TThread::Start() {
  if (started_) return;
  started_ = true;
  std::thread([this] { Run(); }).detach();
}

void TThread::Run() {
  try {
    Execute();
  } catch (...) {
    // A thread body must not take the process down; the end is still reported.
  }
  CurrentDispatcher().Post([this] {
    if (OnTerminate) OnTerminate();
    if (FreeOnTerminate) delete this;
  });
}

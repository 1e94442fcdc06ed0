#include "shell/thread.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr int kPumpPollMs = 5;

// Guards the installed dispatcher. A Send holds it only to count itself in:
// the GUI thread may need to run the sent work before it can uninstall.
std::mutex g_dispatcherMutex;
std::condition_variable g_sendsDone;
TGuiDispatcher* g_dispatcher = nullptr;
int g_sending = 0;
std::atomic<int> g_liveThreads{0};

}  // namespace

void InstallDispatcher(TGuiDispatcher* dispatcher) {
  std::unique_lock<std::mutex> lock(g_dispatcherMutex);
  g_dispatcher = dispatcher;
  // A Send still in flight must have been closed off by the old dispatcher
  // (its Close, or the end of its window), so this wait ends.
  g_sendsDone.wait(lock, [] { return g_sending == 0; });
}

bool PostToGui(std::function<void()> fn) {
  const std::lock_guard<std::mutex> lock(g_dispatcherMutex);
  if (!g_dispatcher) return false;
  g_dispatcher->Post(std::move(fn));
  return true;
}

bool SendToGui(const std::function<void()>& fn) {
  TGuiDispatcher* dispatcher = nullptr;
  {
    const std::lock_guard<std::mutex> lock(g_dispatcherMutex);
    if (!g_dispatcher) return false;
    dispatcher = g_dispatcher;
    ++g_sending;
  }
  dispatcher->Send(fn);
  const std::lock_guard<std::mutex> lock(g_dispatcherMutex);
  if (--g_sending == 0) g_sendsDone.notify_all();
  return true;
}

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
    // done() may turn on a change that queues nothing (a worker ending):
    // look again every few milliseconds.
    std::unique_lock<std::mutex> lock(mutex_);
    if (std::chrono::steady_clock::now() >= deadline) return false;
    changed_.wait_for(lock, std::chrono::milliseconds(kPumpPollMs), [&] { return !queue_.empty(); });
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

int TThread::LiveCount() { return g_liveThreads.load(); }

void TThread::Start() {
  if (started_) return;
  started_ = true;
  ++g_liveThreads;
  std::thread([this] { Run(); }).detach();
}

void TThread::Run() {
  try {
    Execute();
  } catch (...) {
    // A thread body must not take the process down; the end is still reported.
  }
  const bool posted = PostToGui([this] {
    if (OnTerminate) OnTerminate();
    if (FreeOnTerminate) delete this;
  });
  // With no GUI left the end reaches nobody; the object still goes.
  if (!posted && FreeOnTerminate) delete this;
  --g_liveThreads;
}

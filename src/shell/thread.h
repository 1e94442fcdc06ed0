// Worker threads and the GUI thread's dispatcher.
//
// A TThread runs Execute on a worker thread. Synchronize hands a function to
// the GUI thread and waits until it has run there; OnTerminate is delivered
// on the GUI thread after Execute has returned. With FreeOnTerminate the
// object deletes itself after OnTerminate, so its creator must not touch it
// once it has been started.
//
// Workers reach the GUI thread only through the installed dispatcher, under
// a lock that uninstalling also takes: once InstallDispatcher(nullptr) has
// returned, no worker is inside the old dispatcher, and later hand-offs are
// dropped. The process keeps its dispatcher until TThread::LiveCount() is 0.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// How work reaches the GUI thread. The Win32 renderer sends window messages;
// tests pump a queue by hand.
class TGuiDispatcher {
 public:
  virtual ~TGuiDispatcher() = default;
  // Runs fn on the GUI thread and returns after it has run (or, once the GUI
  // is gone, without running it).
  virtual void Send(const std::function<void()>& fn) = 0;
  // Runs fn on the GUI thread later; never waits for it.
  virtual void Post(std::function<void()> fn) = 0;
};

// nullptr uninstalls; returns once no worker is handing work to the old one.
void InstallDispatcher(TGuiDispatcher* dispatcher);
// Hand work to the GUI thread; false (and fn dropped) when no dispatcher is installed.
bool PostToGui(std::function<void()> fn);
bool SendToGui(const std::function<void()>& fn);

// A dispatcher whose GUI thread is whoever calls Pump: for tests and for a
// build without a window.
class TQueueDispatcher : public TGuiDispatcher {
 public:
  ~TQueueDispatcher() override;
  void Send(const std::function<void()>& fn) override;
  void Post(std::function<void()> fn) override;
  // Runs everything queued so far; returns how many items ran.
  int Pump();
  // Pumps until done() holds or timeoutMs passes; true when done() held.
  bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);
  // Waits, without running anything, until something is queued; true when
  // something is. A worker that has sent work is then blocked in Send.
  bool WaitForWork(int timeoutMs = 10000);
  // The GUI is gone: nothing queued or sent later runs, and senders return.
  void Close();

 private:
  struct Item {
    std::function<void()> fn;
    bool* done = nullptr;  // set for a Send, under the mutex, once it ran or was dropped
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> queue_;
  bool closed_ = false;
};

class TThread {
 public:
  // Created suspended: a thread started from a base constructor could run
  // Execute before the derived object exists.
  TThread() = default;
  virtual ~TThread() = default;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts a thread created suspended; once only.
  void Start();

  bool FreeOnTerminate = false;
  std::function<void()> OnTerminate;

  // Threads started and not yet past their last hand-off to the GUI thread.
  static int LiveCount();

 protected:
  // The thread body.
  virtual void Execute() = 0;
  void Synchronize(const std::function<void()>& fn) { SendToGui(fn); }

 private:
  void Run();
  bool started_ = false;
};

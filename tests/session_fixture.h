// A simulated PC, a GUI queue pumped by the test, and a disk session on it
// with no window.
//
// The fixture stands in for the loop that runs the session's timers: it keeps
// them on the test clock of QueueTest, so a test lets time pass (AdvanceMs)
// and sees timers tick, pauses end and diskpart runs finish in the order they
// would on a real PC. A window fixture builds on it and hands it the window's
// timers instead.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <string>

#include "shell/thread.h"
#include "sim_fixture.h"
#include "ui/session.h"
#include "widgets/widgets.h"

class SessionTest : public QueueTest, public TWidgetObserver {
 protected:
  ~SessionTest() override { CloseBareSession(); }

  // The session under test, started up on first use.
  virtual TDiskSession& Session() {
    if (!session_) {
      host_ = std::make_unique<TTimerHost>();
      host_->Observer = this;
      session_ = std::make_unique<TDiskSession>(*host_);  // 64 disk records: never on the stack
      session_->StartUp();
      session_->Runs.OnEnded = CountingEnds(session_->Runs.OnEnded);
      runOutput.clear();
      session_->Runs.OnOutput = [this](const std::string& chunk) { runOutput += chunk; };
    }
    return *session_;
  }
  bool HasBareSession() const { return session_ != nullptr; }

  // The session (and whatever shows it) goes, its services released.
  virtual void CloseSession() { CloseBareSession(); }
  // A new machine in place of the old one, for tables of whole runs: the
  // session goes, every worker ends, and the services start afresh.
  void FreshPc() {
    CloseSession();
    pc.ReleaseChildren();
    gui.PumpUntil([] { return TThread::LiveCount() == 0; });
    gui.Pump();
    ResetServices();
    pc.~SimPc();
    new (&pc) SimPc();
    runsEnded = 0;
    now_ = 0;
  }

  // Lets time pass until no workflow runs (at most limitMs); true when none does.
  bool RunWorkflow(uint64_t limitMs = 600000) {
    for (uint64_t spent = 0; spent < limitMs && Session().WorkflowRunning(); spent += 500) AdvanceMs(500);
    return !Session().WorkflowRunning();
  }

  std::string File(const std::string& path) {
    auto it = pc.Processes.Files.find(path);
    return it == pc.Processes.Files.end() ? "<none>" : it->second.Bytes;
  }

  // ---- TWidgetObserver: the timers' countdowns, as SetTimer keeps them ----
  void Changed(TControl&, TChange) override {}
  void TimerChanged(TTimer& timer) override {
    if (timer.Enabled())
      timers_[&timer] = now_ + timer.Interval();
    else
      timers_.erase(&timer);
  }
  // The timers' host is gone: none of its timers ticks again.
  void ForgetTimers() { timers_.clear(); }

  std::string runOutput;  // what the bare session's runs printed, as a window's console would show it

 private:
  void CloseBareSession() {
    if (session_) {
      session_.reset();
      TDiskSession::ReleaseServices();  // as a window's teardown does
    }
    host_.reset();
    ForgetTimers();
  }
  uint64_t NextTimerDueMs() const override {
    uint64_t next = UINT64_MAX;
    for (const auto& [timer, due] : timers_) next = std::min(next, due);
    return next;
  }
  bool TickDueTimer() override {
    TTimer* due = nullptr;
    for (const auto& [timer, at] : timers_)
      if (at <= now_ && (!due || at < timers_[due])) due = timer;
    if (!due) return false;
    timers_[due] = now_ + due->Interval();  // periodic, as SetTimer
    due->Tick();
    return true;
  }

  std::unique_ptr<TTimerHost> host_;
  std::unique_ptr<TDiskSession> session_;
  std::map<TTimer*, uint64_t> timers_;
};

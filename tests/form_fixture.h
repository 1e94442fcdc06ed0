// A simulated PC, a GUI queue pumped by the test, and a main window on it.
//
// The fixture stands in for the renderer: it keeps the window's timers on a
// test clock that moves together with the simulated PC's clock, so a test
// lets time pass (AdvanceMs) and sees timers tick, pauses end and diskpart
// runs finish in the order they would on a real PC.
#pragma once

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <new>
#include <thread>

#include "shell/thread.h"
#include "sim_fixture.h"
#include "ui/main_form.h"

// Presses Create as a user who answers Yes to each question asked first;
// the questions are then forgotten, so a test sees the boxes after them.
inline void ClickCreate(TMainForm& f, SimPc& pc) {
  const int item = f.PartSizeComboBox.ItemIndex();
  const int tag = item >= 0 ? f.PartSizeComboBox.Items()[static_cast<std::size_t>(item)].Tag : -1;
  const std::vector<std::string> questions =
      f.Session.WorkflowRunning() ? std::vector<std::string>{} : f.CreateQuestions(tag);
  const std::size_t answersBefore = pc.MessageBoxAnswers.size();
  for (std::size_t n = questions.size(); n > 0; --n) pc.MessageBoxAnswers.push_front(os::kIdYes);
  const std::size_t shown = pc.MessageBoxes.size();
  f.CreateButtonClick();
  for (std::size_t n = 0; n < questions.size() && shown < pc.MessageBoxes.size(); ++n) {
    if (pc.MessageBoxes[shown].second != questions[n]) break;  // not asked: the click stopped before
    pc.MessageBoxes.erase(pc.MessageBoxes.begin() + static_cast<std::ptrdiff_t>(shown));
    pc.MessageBoxTypes.erase(pc.MessageBoxTypes.begin() + static_cast<std::ptrdiff_t>(shown));
  }
  // Answers for questions never asked are not left for later boxes.
  while (!pc.MessageBoxAnswers.empty() && pc.MessageBoxAnswers.size() > answersBefore) pc.MessageBoxAnswers.pop_front();
}

class FormTest : public SimTest, public TWidgetObserver {
 protected:
  FormTest() { InstallDispatcher(&gui); }
  ~FormTest() override { Shutdown(); }

  TMainForm& Form() {
    if (!form) {
      form = std::make_unique<TMainForm>();  // 64 disk records: never on the stack
      form->Observer = this;
      form->Session.Runs.OnEnded = [this, routed = form->Session.Runs.OnEnded](uint64_t id, int32_t code) {
        ++runsEnded;
        lastExitCode = code;
        routed(id, code);
      };
    }
    return *form;
  }

  // Closes the window and lets every worker end before the seam goes.
  void Shutdown() {
    form.reset();
    pc.ReleaseChildren();
    gui.PumpUntil([] { return TThread::LiveCount() == 0; });
    gui.Pump();
    gui.Close();
    InstallDispatcher(nullptr);
  }
  void CloseWindow() {
    form.reset();
    timers_.clear();
  }
  // A new machine in place of the old one, for tables of whole runs: the
  // window goes, every worker ends, and the services start afresh.
  void FreshPc() {
    CloseWindow();
    pc.ReleaseChildren();
    gui.PumpUntil([] { return TThread::LiveCount() == 0; });
    gui.Pump();
    ResetServices();
    pc.~SimPc();
    new (&pc) SimPc();
    runsEnded = 0;
    now_ = 0;
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
      uint64_t next = std::min(target, pc.NextChildEventMs());
      for (const auto& [timer, due] : timers_) next = std::min(next, due);
      if (next > now_) {
        pc.AdvanceMs(next - now_);
        now_ = next;
        Settle();
      }
      TTimer* due = nullptr;
      for (const auto& [timer, at] : timers_)
        if (at <= now_ && (!due || at < timers_[due])) due = timer;
      if (due) {
        timers_[due] = now_ + due->Interval();  // periodic, as SetTimer
        due->Tick();
        continue;
      }
      if (now_ >= target) break;
    }
  }
  // Lets time pass until no workflow runs (at most limitMs); true when none does.
  bool RunWorkflow(uint64_t limitMs = 600000) {
    for (uint64_t spent = 0; spent < limitMs && Form().Session.WorkflowRunning(); spent += 500) AdvanceMs(500);
    return !Form().Session.WorkflowRunning();
  }
  uint64_t NowMs() const { return now_; }

  std::string File(const std::string& path) {
    auto it = pc.Processes.Files.find(path);
    return it == pc.Processes.Files.end() ? "<none>" : it->second.Bytes;
  }
  std::vector<std::string> HeldLines() { return GetDebugConsole().PendingLines(); }

  // ---- TWidgetObserver: the timers' countdowns, as SetTimer keeps them;
  // the last control that asked for the keyboard focus ----
  void Changed(TControl& control, TChange what) override {
    if (what == TChange::Focus) focused = &control;
  }
  void TimerChanged(TTimer& timer) override {
    if (timer.Enabled())
      timers_[&timer] = now_ + timer.Interval();
    else
      timers_.erase(&timer);
  }

  TQueueDispatcher gui;
  std::unique_ptr<TMainForm> form;
  int runsEnded = 0;
  int32_t lastExitCode = 0;
  TControl* focused = nullptr;

 private:
  uint64_t now_ = 0;
  std::map<TTimer*, uint64_t> timers_;
};

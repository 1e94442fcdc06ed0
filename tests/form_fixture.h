// A simulated PC, a GUI queue pumped by the test, and a main window on it.
//
// The fixture stands in for the renderer: it keeps the window's timers on
// the test clock of QueueTest, so a test lets time pass (AdvanceMs) and sees
// timers tick, pauses end and diskpart runs finish in the order they would
// on a real PC.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <new>

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

class FormTest : public QueueTest, public TWidgetObserver {
 protected:
  ~FormTest() override { form.reset(); }

  TMainForm& Form() {
    if (!form) {
      form = std::make_unique<TMainForm>();  // 64 disk records: never on the stack
      form->Observer = this;
      form->Session.Runs.OnEnded = CountingEnds(form->Session.Runs.OnEnded);
    }
    return *form;
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

  // Lets time pass until no workflow runs (at most limitMs); true when none does.
  bool RunWorkflow(uint64_t limitMs = 600000) {
    for (uint64_t spent = 0; spent < limitMs && Form().Session.WorkflowRunning(); spent += 500) AdvanceMs(500);
    return !Form().Session.WorkflowRunning();
  }

  std::string File(const std::string& path) {
    auto it = pc.Processes.Files.find(path);
    return it == pc.Processes.Files.end() ? "<none>" : it->second.Bytes;
  }

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

  std::unique_ptr<TMainForm> form;
  TControl* focused = nullptr;

 private:
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
  std::map<TTimer*, uint64_t> timers_;
};

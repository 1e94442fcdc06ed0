// A simulated PC, a GUI queue pumped by the test, and a main window on it.
//
// The fixture stands in for the renderer: the window's timers run on the
// test clock as a bare session's do (SessionTest).
#pragma once

#include <memory>

#include "session_fixture.h"
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

// The window is built on first use, over the fixture's machine; its session
// is then the fixture's, so a test that never asks for the window runs on a
// bare session and builds none.
class FormTest : public SessionTest {
 protected:
  ~FormTest() override { form.reset(); }

  TMainForm& Form() {
    if (!form) {
      // One session per machine: a bare one already started would share its services.
      if (HasBareSession()) ADD_FAILURE() << "the window is asked for after the session without one";
      form = std::make_unique<TMainForm>();  // 64 disk records: never on the stack
      form->Observer = this;
      form->Session.Runs.OnEnded = CountingEnds(form->Session.Runs.OnEnded);
    }
    return *form;
  }
  TDiskSession& Session() override { return form ? form->Session : SessionTest::Session(); }

  void CloseWindow() { CloseSession(); }
  void CloseSession() override {
    if (form) {
      form.reset();
      ForgetTimers();
    }
    SessionTest::CloseSession();
  }

  // ---- TWidgetObserver: the last control that asked for the keyboard focus ----
  void Changed(TControl& control, TChange what) override {
    if (what == TChange::Focus) focused = &control;
  }

  std::unique_ptr<TMainForm> form;
  TControl* focused = nullptr;
};

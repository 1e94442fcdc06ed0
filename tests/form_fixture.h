// A simulated PC, a GUI queue pumped by the test, and a main window on it.
#pragma once

#include <memory>

#include "sim_fixture.h"
#include "ui/main_form.h"
#include "widgets/thread.h"

class FormTest : public SimTest {
 protected:
  FormTest() { InstallDispatcher(&gui); }
  ~FormTest() override {
    form.reset();
    gui.Close();
    InstallDispatcher(nullptr);
  }

  TMainForm& Form() {
    if (!form) form = std::make_unique<TMainForm>();  // 64 disk records: never on the stack
    return *form;
  }
  // Pumps the GUI queue until the current run has ended.
  bool RunToEnd() { return gui.PumpUntil([this] { return form->ExecuteStatus == 2; }); }
  std::string File(const std::string& path) {
    auto it = pc.Processes.Files.find(path);
    return it == pc.Processes.Files.end() ? "<none>" : it->second.Bytes;
  }
  std::vector<std::string> HeldLines() { return GetDebugConsole().PendingLines(); }

  TQueueDispatcher gui;
  std::unique_ptr<TMainForm> form;
};

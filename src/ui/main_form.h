// TMainForm: the program's only window. It owns the disk model, the workflows
// and the widgets; every handler is a plain method so native tests can drive it.
#pragma once

#include "widgets/widgets.h"

class TMainForm : public TForm {
 public:
  static constexpr int kClientWidth = 700;
  static constexpr int kClientHeight = 349;

  TMainForm();
  ~TMainForm() override;
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  void FormCreate() {}
  void FormClose() {}
  void FormDestroy();
  // Releases the process-wide services in a fixed order.
  void ReleaseServices();

  bool DebugMode = false;
  bool UseIo = false;
  bool CanResize = false;
};

// The one main window while it exists.
extern TMainForm* MainForm;

#include "ui/main_form.h"

#include "platform/os.h"
#include "shell/debug_console.h"
#include "shell/global.h"
#include "shell/os_version.h"

TMainForm* MainForm = nullptr;

TMainForm::TMainForm() {
  Caption = "Ortavel - Intel Rapid Start";
  ClientWidth = kClientWidth;
  ClientHeight = kClientHeight;
  OnCreate = [this] { FormCreate(); };
  OnClose = [this] { FormClose(); };

  Os& os = CurrentOs();
  // The whole command line, program path included: a start through a short or
  // relative name still honours /DEBUG here, and the held lines are replayed.
  DebugMode = AnsiUpperCase(os.GetCommandLineA()).find("/DEBUG") != std::string::npos;
  GetDebugConsole(DebugMode);

  const int32_t family = GetOsVersion().OsFamily;
  UseIo = family == kOsNt5x32 || family == kOsNt52Ia64 || family == kOsNt52X64;
  CanResize = !UseIo;
  ScanDisks();
  FindRapidStartPart();

  MainForm = this;
}

TMainForm::~TMainForm() {
  FormDestroy();
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::FormDestroy() { ReleaseServices(); }

void TMainForm::ReleaseServices() {
  ReleaseOsVersion();
  ReleaseDisk();
}

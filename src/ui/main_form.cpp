// TMainForm's start-up and teardown: the values fixed for the whole run, the
// first disk model, and the release of the process-wide services.
#include "ui/main_form.h"

#include "partops/execute_program.h"
#include "platform/os.h"
#include "shell/debug_console.h"
#include "shell/global.h"
#include "shell/log_kv.h"
#include "shell/os_version.h"
#include "sys/wmi_info.h"

TMainForm* MainForm = nullptr;

TMainForm::TMainForm() {
  Caption = "Ortavel - Intel Rapid Start";
  ClientWidth = kClientWidth;
  ClientHeight = kClientHeight;
  OnCreate = [this] { FormCreate(); };
  OnClose = [this] { FormClose(); };
  ConsoleRichEdit.Visible = false;

  Os& os = CurrentOs();
  // The whole command line, program path included: a start through a short or
  // relative name still honours /DEBUG here, and the held lines are replayed.
  DebugMode = AnsiUpperCase(os.GetCommandLineA()).find("/DEBUG") != std::string::npos;
  GetDebugConsole(DebugMode);

  ExePath = ExtractFilePath(os.GetModuleFileNameA());
  LogLine("ExePath=" + ExePath);
  TempDir = os.GetTempPathA(kTempPathChars);
  LogLine("TempDir=" + TempDir);
  ScriptFileName = IncludeTrailingBackslash(TempDir) + kScriptFileName;
  DiskPartScript.clear();
  PhysicalMemorySize = GetWmiInfo().GetPhysicalMemorySize();
  LogKv("PhysicalMemorySize", PhysicalMemorySize);

  const int32_t family = GetOsVersion().OsFamily;
  UseIo = UsesDirectIo(family);
  CanResize = !UseIo;

  DiskIndex = 0;
  PartIndex = -1;
  RapidStartDiskIndex = -1;
  RapidStartPartIndex = -1;
  ScanDisks();
  FindRapidStartPart();

  MainForm = this;
}

TMainForm::~TMainForm() {
  // A run may still be going when the window closes: it must not write into
  // this object after it is gone.
  TExecuteProgram::DetachFrom(&ExecuteResult);
  FormDestroy();
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::FormDestroy() { ReleaseServices(); }

void TMainForm::ReleaseServices() {
  ReleaseOsVersion();
  ReleaseWmiInfo();
  ReleaseDisk();
}

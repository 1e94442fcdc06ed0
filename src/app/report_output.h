// Where an unattended run writes its report: the standard output its parent
// gave it (a file or a pipe, as "> report.txt" makes), else the console of
// the command prompt it was started from. The program is a windowed one, so
// it has neither unless it asks. Opened before the debug log, whose own
// console would otherwise become the standard output.
#pragma once

#include <string>

#include "platform/os.h"

class TReportOutput {
 public:
  TReportOutput() = default;
  TReportOutput(const TReportOutput&) = delete;
  TReportOutput& operator=(const TReportOutput&) = delete;

  void Open();
  // text and CR LF; nothing when there is nowhere to write.
  void Line(const std::string& text);

 private:
  // The parent's console: attached, then its standard handle or CONOUT$.
  os::Handle AttachParentConsole();
  bool Write(const std::string& bytes);

  os::Handle Out_ = os::kNull;  // the standard handle: never closed by the program
  OsHandle Console_;            // CONOUT$, when the program opened it itself
  bool TriedConsole_ = false;
};

// The process-wide diagnostic log.
//
// Switched on (the /DEBUG switch), the GUI process allocates a console of its
// own and writes each line there in a console colour. Switched off, every line
// is held in memory so that switching on later replays all of it. There is no
// way back from on to off. With a log file (/LOG:PATH), every line also goes
// there as it is written, on or off.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os_types.h"
#include "shell/log_file.h"

// Console character attributes used by the log.
constexpr uint16_t kAttrNormal = 7;    // light grey: ordinary lines
constexpr uint16_t kAttrPartition = 10;  // bright green: a partition's block
constexpr uint16_t kAttrHeading = 14;  // yellow: headings

class TDebugConsole {
 public:
  explicit TDebugConsole(bool enable);
  ~TDebugConsole();
  TDebugConsole(const TDebugConsole&) = delete;
  TDebugConsole& operator=(const TDebugConsole&) = delete;

  // newLine true starts a new line; false continues the current one.
  void Write(const std::string& text, uint16_t attr, bool newLine);
  void WriteLine(const std::string& text) { Write(text, kAttrNormal, true); }

  // Copies every line to the file, those written so far first; the empty
  // text when it is open, else why it is not (the log goes on without it).
  std::string OpenLogFile(const std::string& path);

  bool Enabled() const { return Enabled_; }
  const std::vector<std::string>& PendingLines() const { return PendingLines_; }

 private:
  friend TDebugConsole& GetDebugConsole(bool enable);
  void SwitchOn();
  void OpenConsole();
  void CloseConsole();
  uint16_t SetTextAttr(uint16_t attr);
  void FlushPendingLines(const std::vector<std::string>& lines);
  // The console, or the held lines.
  void Show(const std::string& text, uint16_t attr, bool newLine);

  bool Enabled_;
  os::Handle ConsoleHandle_ = os::kInvalid;
  std::vector<std::string> PendingLines_;
  TLogFile LogFile_;
  // What was written before the first attempt to open a log file.
  std::vector<std::string> UnfiledLines_;
  bool LogFileTried_ = false;
};

// The single instance, created on first use with Enabled = enable. A later call
// with true switches a closed log on and replays the held lines; false never
// switches it off. Writers call it with false.
TDebugConsole& GetDebugConsole(bool enable = false);
void ReleaseDebugConsole();

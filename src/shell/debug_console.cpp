#include "shell/debug_console.h"

#include <memory>

#include "platform/os.h"

namespace {
std::unique_ptr<TDebugConsole> g_console;
}

TDebugConsole& GetDebugConsole(bool enable) {
  if (!g_console) {
    g_console = std::make_unique<TDebugConsole>(enable);
  } else if (enable && !g_console->Enabled_) {
    g_console->SwitchOn();
  }
  return *g_console;
}

void ReleaseDebugConsole() { g_console.reset(); }

TDebugConsole::TDebugConsole(bool enable) : Enabled_(enable) { OpenConsole(); }

TDebugConsole::~TDebugConsole() {
  PendingLines_.clear();
  CloseConsole();
}

void TDebugConsole::SwitchOn() {
  Enabled_ = true;
  OpenConsole();
  // Move the held lines out first: replaying writes through Show, which must
  // see an open console, never the list it is replaying.
  std::vector<std::string> held;
  held.swap(PendingLines_);
  FlushPendingLines(held);
}

std::string TDebugConsole::OpenLogFile(const std::string& path) {
  const std::string why = LogFile_.Open(path);
  if (!LogFileTried_)
    for (const std::string& line : UnfiledLines_) LogFile_.WriteLine(line);
  LogFileTried_ = true;
  UnfiledLines_.clear();
  return why;
}

void TDebugConsole::Write(const std::string& text, uint16_t attr, bool newLine) {
  if (!LogFileTried_) UnfiledLines_.push_back(text);
  LogFile_.WriteLine(text);
  Show(text, attr, newLine);
}

void TDebugConsole::Show(const std::string& text, uint16_t attr, bool newLine) {
  if (ConsoleHandle_ == os::kInvalid || !Enabled_) {
    if (!newLine && !PendingLines_.empty())
      PendingLines_.back() += text;
    else
      PendingLines_.push_back(text);
    return;
  }
  Os& os = CurrentOs();
  SetTextAttr(attr);
  // The line break starts a line rather than ending one, so the last line
  // written stays open for a continuation.
  os.WriteConsoleA(ConsoleHandle_, newLine ? "\r\n" + text : text);
  SetTextAttr(kAttrNormal);
}

uint16_t TDebugConsole::SetTextAttr(uint16_t attr) {
  if (ConsoleHandle_ == os::kInvalid || !Enabled_) return kAttrNormal;
  Os& os = CurrentOs();
  uint16_t previous = 0;
  if (!os.GetConsoleScreenBufferInfo(ConsoleHandle_, previous) || previous == 0)
    previous = kAttrNormal;
  os.SetConsoleTextAttribute(ConsoleHandle_, attr);
  return previous;
}

void TDebugConsole::OpenConsole() {
  if (!Enabled_) return;
  Os& os = CurrentOs();
  // A process that already has a console fails here and writes to that one.
  os.AllocConsole();
  ConsoleHandle_ = os.GetStdHandle(os::kStdOutputHandle);
}

void TDebugConsole::CloseConsole() {
  if (ConsoleHandle_ == os::kInvalid) return;
  Os& os = CurrentOs();
  os.FreeConsole();
  os.CloseHandle(ConsoleHandle_);
  ConsoleHandle_ = os::kInvalid;
}

void TDebugConsole::FlushPendingLines(const std::vector<std::string>& lines) {
  // Only to the console: the file has had them.
  for (const std::string& line : lines) Show(line, kAttrNormal, true);
}

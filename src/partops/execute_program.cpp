#include "partops/execute_program.h"

#include <mutex>
#include <set>

#include "platform/os.h"

namespace {

// The runners alive, so the window can detach them when it closes mid-run.
std::mutex g_runnersMutex;
std::set<TExecuteProgram*> g_runners;

}  // namespace

TExecuteProgram::TExecuteProgram(bool createSuspended, TRichEdit* outputControl, int32_t* resultLocation)
    : ResultLocation_(resultLocation), OutputControl_(outputControl) {
  FreeOnTerminate = true;
  {
    std::lock_guard<std::mutex> lock(g_runnersMutex);
    g_runners.insert(this);
  }
  if (!createSuspended) Start();
}

TExecuteProgram::~TExecuteProgram() {
  std::lock_guard<std::mutex> lock(g_runnersMutex);
  g_runners.erase(this);
}

void TExecuteProgram::SetCommand(const std::string& commandLine, uint32_t creationFlags) {
  CommandLine_ = commandLine;
  CreationFlags_ = creationFlags;
}

void TExecuteProgram::SetFailure(int32_t result) {
  HasFailure_ = true;
  Failure_ = result;
}

void TExecuteProgram::DetachFrom(const int32_t* resultLocation) {
  std::lock_guard<std::mutex> lock(g_runnersMutex);
  for (TExecuteProgram* runner : g_runners) {
    if (runner->ResultLocation_ != resultLocation) continue;
    runner->ResultLocation_ = nullptr;
    runner->OutputControl_ = nullptr;  // read only on the GUI thread, which is the caller's
    runner->OnTerminate = nullptr;
  }
}

void TExecuteProgram::WriteResult(int32_t value) {
  std::lock_guard<std::mutex> lock(g_runnersMutex);
  if (ResultLocation_) *ResultLocation_ = value;
}

void TExecuteProgram::Execute() {
  if (HasFailure_) {
    WriteResult(Failure_);
    return;
  }
  if (CommandLine_.empty()) {
    WriteResult(0);
    return;
  }
  RunAndCapture();
}

// The parent closes its own copy of the pipe's write end once the child has
// it, so a blocking read returns every byte the child wrote and then reports
// the broken pipe when the child (and anything it handed the pipe to) has
// ended. No polling: the worker sleeps in ReadFile while the child runs.
void TExecuteProgram::RunAndCapture() {
  Os& os = CurrentOs();
  os::Handle readEnd = os::kNull;
  os::Handle writeEnd = os::kNull;
  os.CreatePipe(readEnd, writeEnd);
  OsHandle pipeRead(os, readEnd);
  OsHandle pipeWrite(os, writeEnd);

  os::ProcessInformation pi{};
  // The child's standard input is the pipe's read end, as its output is the
  // write end: a child that reads input sees its own output, never the user.
  const bool created = os.CreateProcessA(CommandLine_, CreationFlags_, readEnd, writeEnd, writeEnd, pi);
  OsHandle process(os, created ? pi.hProcess : os::kNull);
  OsHandle thread(os, created ? pi.hThread : os::kNull);
  pipeWrite.Reset();
  if (!created) return;  // the result location keeps its previous value

  for (;;) {
    uint32_t n = 0;
    if (!os.ReadFile(pipeRead.Get(), Output_, kMaxChunkBytes, n) || n == 0) break;
    Output_[n] = '\0';
    Synchronize([this] { AppendOutput(); });
  }

  os.WaitForSingleObject(process.Get(), os::kInfinite);
  uint32_t code = 0;
  WriteResult(os.GetExitCodeProcess(process.Get(), code) ? static_cast<int32_t>(code) : kExitCodeUnknown);
}

void TExecuteProgram::AppendOutput() {
  if (OutputControl_) OutputControl_->Text += Output_;
}

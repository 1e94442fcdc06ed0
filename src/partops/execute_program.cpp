#include "partops/execute_program.h"

#include <mutex>

#include "platform/os.h"

namespace {

// Between making the child's pipe end inheritable and closing our copy of it,
// no other child may be started: it would inherit that end and keep the pipe
// open, and this run would never see the end of its output.
std::mutex g_inheritWindow;

}  // namespace

TExecuteProgram::TExecuteProgram(bool createSuspended, std::function<void(const std::string&)> onOutput)
    : OnOutput_(std::move(onOutput)) {
  FreeOnTerminate = true;
  if (!createSuspended) Start();
}

void TExecuteProgram::SetCommand(const std::string& commandLine, uint32_t creationFlags) {
  CommandLine_ = commandLine;
  CreationFlags_ = creationFlags;
}

void TExecuteProgram::SetFailure(int32_t result) {
  HasFailure_ = true;
  ExitCode_ = result;
}

bool TExecuteProgram::ReadChunk(os::Handle pipe) {
  uint32_t n = 0;
  if (!CurrentOs().ReadFile(pipe, Output_, kMaxChunkBytes, n) || n == 0) return false;
  Output_[n] = '\0';
  const std::string chunk(Output_);  // as a zero-terminated string
  if (OnOutput_) Synchronize([this, &chunk] { OnOutput_(chunk); });
  return true;
}

void TExecuteProgram::Execute() {
  if (HasFailure_) return;
  if (CommandLine_.empty()) {
    ExitCode_ = 0;
    return;
  }
  RunAndCapture();
}

// The pipe is made with handles nobody inherits; only for the moment of
// CreateProcess are the child's ends inheritable. The parent then closes its
// copy of the write end, so a blocking read returns every byte the child
// wrote and reports the broken pipe once the child (and anything it handed
// the pipe to) has ended. No polling: the worker sleeps in ReadFile.
void TExecuteProgram::RunAndCapture() {
  Os& os = CurrentOs();
  os::Handle readEnd = os::kNull;
  os::Handle writeEnd = os::kNull;
  if (!os.CreatePipe(readEnd, writeEnd, false)) {
    ExitCode_ = static_cast<int32_t>(os::HResultFromWin32(os.GetLastError()));
    return;
  }
  OsHandle pipeRead(os, readEnd);
  OsHandle pipeWrite(os, writeEnd);

  os::ProcessInformation pi{};
  bool created = false;
  bool writeClosed = false;
  uint32_t createError = 0;
  {
    const std::lock_guard<std::mutex> lock(g_inheritWindow);
    // The child's standard input is the pipe's read end, as its output is the
    // write end: a child that reads input sees its own output, never the user.
    const bool inheritable = os.SetHandleInformation(readEnd, os::kHandleFlagInherit, os::kHandleFlagInherit) &&
                             os.SetHandleInformation(writeEnd, os::kHandleFlagInherit, os::kHandleFlagInherit);
    created = inheritable && os.CreateProcessA(CommandLine_, CreationFlags_, readEnd, writeEnd, writeEnd, pi);
    createError = os.GetLastError();
    writeClosed = os.CloseHandle(pipeWrite.Release());
    os.SetHandleInformation(readEnd, os::kHandleFlagInherit, 0);
  }
  OsHandle process(os, created ? pi.hProcess : os::kNull);
  OsHandle thread(os, created ? pi.hThread : os::kNull);
  if (!created) {
    // A program that cannot be started has failed; it never reports success.
    ExitCode_ = static_cast<int32_t>(os::HResultFromWin32(createError ? createError : os::kErrorGenFailure));
    return;
  }

  if (writeClosed) {
    while (ReadChunk(pipeRead.Get())) {
    }
  } else {
    // Our copy of the write end is still open, so the pipe never reports its
    // end: read only what is there, and stop with the child.
    for (;;) {
      uint32_t available = 0;
      if (os.PeekNamedPipe(pipeRead.Get(), available) && available > 0) {
        if (!ReadChunk(pipeRead.Get())) break;
        continue;
      }
      if (os.WaitForSingleObject(process.Get(), kPollMs) != os::kWaitTimeout) {
        while (os.PeekNamedPipe(pipeRead.Get(), available) && available > 0 && ReadChunk(pipeRead.Get())) {
        }
        break;
      }
    }
  }

  // Only a child known to have ended has an exit code; STILL_ACTIVE from a
  // failed wait is not one.
  uint32_t code = 0;
  if (os.WaitForSingleObject(process.Get(), os::kInfinite) == os::kWaitObject0 &&
      os.GetExitCodeProcess(process.Get(), code))
    ExitCode_ = static_cast<int32_t>(code);
  else
    ExitCode_ = kExitCodeUnknown;
}

// Runs one command line as a hidden child process on a worker thread.
//
// Everything the child writes to its standard output and standard error is
// captured through an anonymous pipe and handed, chunk by chunk, to the GUI
// thread; the child's exit code is kept in the runner, where the GUI thread
// reads it in OnTerminate. A runner frees itself when its thread has ended.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/os_types.h"
#include "shell/thread.h"

class TExecuteProgram : public TThread {
 public:
  static constexpr uint32_t kOutputBufferBytes = 2048;
  static constexpr uint32_t kMaxChunkBytes = kOutputBufferBytes - 1;  // room for the terminating zero

  // The exit code of a run whose child's end could not be confirmed (a
  // failed wait, or an exit code that could not be queried).
  static constexpr int32_t kExitCodeUnknown = -1;

  // onOutput receives each chunk of output on the GUI thread.
  TExecuteProgram(bool createSuspended, std::function<void(const std::string&)> onOutput);

  // Stores the command line and the process-creation flags; before Start.
  void SetCommand(const std::string& commandLine, uint32_t creationFlags);
  // Instead of a command: the run ends with this result and starts nothing.
  // For a run whose preparation failed, so the caller still sees one end.
  void SetFailure(int32_t result);

  // The run's result; read on the GUI thread once the run has ended (in
  // OnTerminate): the child's exit code; 0 for an empty command line; the
  // HRESULT of the error when the child could not be started; or
  // kExitCodeUnknown.
  int32_t ExitCode() const { return ExitCode_; }

 protected:
  void Execute() override;

 private:
  void RunAndCapture();
  // Reads one chunk from the pipe and hands it over; false at its end or on failure.
  bool ReadChunk(os::Handle pipe);
  static constexpr uint32_t kPollMs = 50;  // while the pipe's end cannot be seen

  std::string CommandLine_;
  uint32_t CreationFlags_ = 0;
  bool HasFailure_ = false;
  int32_t ExitCode_ = 0;
  char Output_[kOutputBufferBytes] = {};
  std::function<void(const std::string&)> OnOutput_;
};

// Runs one command line as a hidden child process on a worker thread.
//
// Everything the child writes to its standard output and standard error is
// captured through an anonymous pipe and appended, chunk by chunk, to a text
// control on the GUI thread; the child's exit code goes to an int32 of the
// caller's. The end of the run reaches the GUI thread as the thread's
// termination event. A runner frees itself when its thread has ended.
#pragma once

#include <cstdint>
#include <string>

#include "widgets/thread.h"
#include "widgets/widgets.h"

class TExecuteProgram : public TThread {
 public:
  static constexpr uint32_t kOutputBufferBytes = 2048;
  static constexpr uint32_t kMaxChunkBytes = kOutputBufferBytes - 1;  // room for the terminating zero

  // Values a run leaves in the result location besides the child's exit code.
  static constexpr int32_t kExitCodeUnknown = -1;  // the exit code could not be queried

  TExecuteProgram(bool createSuspended, TRichEdit* outputControl, int32_t* resultLocation);
  ~TExecuteProgram() override;

  // Stores the command line and the process-creation flags; before Start.
  void SetCommand(const std::string& commandLine, uint32_t creationFlags);
  // Instead of a command: the run ends with this result and starts nothing.
  // For a run whose preparation failed, so the caller still sees one end.
  void SetFailure(int32_t result);

  // The owner of the result location and the output control is going away:
  // every runner still writing to resultLocation stops touching both.
  static void DetachFrom(const int32_t* resultLocation);

 protected:
  void Execute() override;

 private:
  void RunAndCapture();
  void AppendOutput();
  void WriteResult(int32_t value);

  std::string CommandLine_;
  uint32_t CreationFlags_ = 0;
  bool HasFailure_ = false;
  int32_t Failure_ = 0;
  int32_t* ResultLocation_;
  char Output_[kOutputBufferBytes] = {};
  TRichEdit* OutputControl_;
};

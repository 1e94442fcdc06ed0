// The runs of one window: at most one external program in flight at a time,
// each run with an identity, the script file it holds locked while it runs,
// and its end, handed to the GUI thread.
//
// A run's end names its id, so a workflow acts only on the end of the run it
// started. When the owner goes (the window closes) a run still in flight is
// detached: its output and end reach nobody, and its script lock is let go
// only once its program has ended.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/os.h"

class TRunOwner {
 public:
  using OutputHandler = std::function<void(const std::string& chunk)>;
  using EndHandler = std::function<void(uint64_t runId, int32_t exitCode)>;

  TRunOwner();
  ~TRunOwner();
  TRunOwner(const TRunOwner&) = delete;
  TRunOwner& operator=(const TRunOwner&) = delete;

  // Where output chunks and run ends go, on the GUI thread.
  OutputHandler OnOutput;
  EndHandler OnEnded;

  // A run is in flight: started and its end not yet delivered.
  bool Busy() const;
  uint64_t RunInFlight() const;
  // Logs the refusal and answers true while a run is in flight.
  bool RefuseWhileBusy() const;

  // Starts commandLine on a worker thread; scriptLock (may be empty) is held
  // until the run has ended. Returns the run's id, or 0 when a run is still
  // in flight: then nothing is started and the lock is given back.
  uint64_t Start(const std::string& commandLine, OsHandle scriptLock = OsHandle());
  // A run that starts nothing and ends, as every run does, on the GUI thread,
  // with exitCode. 0 when a run is still in flight.
  uint64_t StartFailed(int32_t exitCode);

 private:
  struct State;
  uint64_t Launch(const std::string* commandLine, int32_t failure, OsHandle scriptLock);
  std::shared_ptr<State> state_;
};

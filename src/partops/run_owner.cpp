#include "partops/run_owner.h"

#include <cstdio>

#include "partops/execute_program.h"
#include "shell/log_kv.h"

// Shared by the owner and its runs' hand-offs, all on the GUI thread.
struct TRunOwner::State {
  TRunOwner* Owner = nullptr;  // nullptr once the owner is gone
  uint64_t LastId = 0;
  uint64_t InFlight = 0;  // 0: none
};

TRunOwner::TRunOwner() : state_(std::make_shared<State>()) { state_->Owner = this; }

TRunOwner::~TRunOwner() { state_->Owner = nullptr; }

bool TRunOwner::Busy() const { return state_->InFlight != 0; }

uint64_t TRunOwner::RunInFlight() const { return state_->InFlight; }

bool TRunOwner::RefuseWhileBusy() const {
  if (!Busy()) return false;
  LogLine("Run refused: another run is still in flight");
  return true;
}

uint64_t TRunOwner::Start(const std::string& commandLine, OsHandle scriptLock) {
  return Launch(&commandLine, 0, std::move(scriptLock));
}

uint64_t TRunOwner::StartFailed(int32_t exitCode) { return Launch(nullptr, exitCode, OsHandle()); }

uint64_t TRunOwner::Launch(const std::string* commandLine, int32_t failure, OsHandle scriptLock) {
  if (RefuseWhileBusy()) return 0;
  const uint64_t id = ++state_->LastId;
  state_->InFlight = id;
  std::shared_ptr<State> state = state_;
  auto* runner = new TExecuteProgram(true, [state](const std::string& chunk) {
    if (state->Owner && state->Owner->OnOutput) state->Owner->OnOutput(chunk);
  });
  // The lock lives with the run, not with whoever starts the next one.
  auto lock = std::make_shared<OsHandle>(std::move(scriptLock));
  runner->OnTerminate = [state, id, lock, runner] {
    lock->Reset();  // the program is done with the script
    if (state->InFlight == id) state->InFlight = 0;
    if (!state->Owner) return;
    char code[9];
    std::snprintf(code, sizeof code, "%08X", static_cast<uint32_t>(runner->ExitCode()));
    LogLine(std::string("Error Code: ") + code);
    if (state->Owner->OnEnded) state->Owner->OnEnded(id, runner->ExitCode());
  };
  if (commandLine)
    runner->SetCommand(*commandLine, 0);
  else
    runner->SetFailure(failure);
  runner->Start();
  return id;
}

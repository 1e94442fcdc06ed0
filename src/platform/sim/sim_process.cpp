// The simulated PC's file, pipe and process calls.
#include "platform/sim/sim_pc.h"

bool SimPc::WriteFile(os::Handle, const void*, uint32_t, uint32_t& written) { written = 0; return false; }
bool SimPc::ReadFile(os::Handle, void*, uint32_t, uint32_t& read) { read = 0; return false; }
bool SimPc::DeleteFileA(const std::string&) { return false; }
bool SimPc::CreatePipe(os::Handle&, os::Handle&) { return false; }
bool SimPc::CreateProcessA(const std::string&, uint32_t, os::Handle, os::Handle, os::Handle, os::ProcessInformation&) {
  return false;
}
uint32_t SimPc::WaitForSingleObject(os::Handle, uint32_t) { return os::kWaitFailed; }
bool SimPc::GetExitCodeProcess(os::Handle, uint32_t&) { return false; }

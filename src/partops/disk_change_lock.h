// One run at a time on the whole machine may change disks. A copy started
// in another session (a deployment running as SYSTEM), a renamed copy, the
// window and an unattended run all hold this lock from before their first
// look at the disks they change until they are done with them.
#pragma once

#include <cstdint>
#include <string>

// In the global namespace, so every session sees it; not named after the
// executable, so a renamed copy sees it too.
constexpr char kDiskChangeMutexName[] = "Global\\OrvRapidStart.DiskChange";
// Only administrators and SYSTEM may open it, so no other program can hold
// it to keep the disk tool out.
constexpr char kDiskChangeMutexSddl[] = "D:P(A;;GA;;;BA)(A;;GA;;;SY)";

enum class TDiskChangeLock { Taken, Busy, Failed };

// One hold on the lock. The lock is the named mutex's existence: the first
// hold in this process creates it, the last one closes it, and a process
// whose creation finds it already there steps back. Holds are taken and
// given back on the GUI thread.
class TDiskChangeHold {
 public:
  TDiskChangeHold() = default;
  ~TDiskChangeHold() { Release(); }
  TDiskChangeHold(const TDiskChangeHold&) = delete;
  TDiskChangeHold& operator=(const TDiskChangeHold&) = delete;

  // Taken also when this process holds the lock already (an unattended run
  // holds it around the workflow that takes it again).
  TDiskChangeLock Take();
  void Release();
  bool Held() const { return held_; }
  // Why the last Take did not take it, for the report and the log.
  std::string WhyNotTaken() const;

 private:
  bool held_ = false;
  TDiskChangeLock last_ = TDiskChangeLock::Taken;
  uint32_t error_ = 0;
};

// The installed physical memory, asked of WMI (class Win32_PhysicalMemory in
// root\cimv2). The main window asks once at start-up, to preselect a Rapid
// Start partition large enough for the contents of memory.
//
// The query also describes every memory module on the process's standard
// output: the connection line and failure lines on the narrow stream, the
// per-module "Name=value" lines on the wide stream. Failures are reported on
// the debug log as well and give the result 0.
#pragma once

#include <cstdint>

class TWmiInfo {
 public:
  // The installed memory in MB: the sum, over the DIMM and SODIMM modules,
  // of each module's capacity in whole MB (rounded down module by module),
  // formed in 64 bits; its low 32 bits are returned. 0 when COM security,
  // the locator, the connection, the proxy blanket or the query fails.
  // Connects and disconnects anew on every call; caches nothing. COM is
  // initialised for the calling thread for the duration of the call and left
  // as it was found.
  uint32_t GetPhysicalMemorySize();
  // False leaves the standard output alone (an unattended run's report is
  // written there); the failures still go to the debug log.
  bool DescribeOnStdOut = true;
};

// The single instance, created on first use.
TWmiInfo& GetWmiInfo();
void ReleaseWmiInfo();

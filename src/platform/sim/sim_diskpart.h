// The simulated diskpart and amd64.exe: programs a simulated child process
// runs (see SimProcesses).
#pragma once

#include <string>

#include "platform/sim/sim_process.h"

// diskpart /S <script>: reads the script from the simulated files and applies
// it to the simulated disks.
SimChildResult RunSimDiskpart(const std::string& commandLine, SimPc& pc);
// amd64.exe "<command line>": runs the inner command line, ends with its code.
SimChildResult RunSimAmd64Helper(const std::string& commandLine, SimPc& pc);

// Exit codes (assumed: diskpart ends a script at the first failing command,
// the lines before it keeping their effect, and exits with the HRESULT of
// that failure: a Virtual Disk Service code 0x8004xxxx, or 0x8007xxxx for a
// failing Win32 call; values from learn.microsoft.com/windows/win32/vds/
// virtual-disk-service-common-return-codes; its own documented small codes
// cover a syntax error and an unreadable script).
constexpr uint32_t kDiskpartScriptUnreadable = 3;  // unable to open the script file
constexpr uint32_t kDiskpartSyntaxError = 5;
constexpr uint32_t kVdsObjectNotFound = 0x80042405;
constexpr uint32_t kVdsInvalidSpace = 0x80042406;
constexpr uint32_t kVdsPartitionLimitReached = 0x80042407;
constexpr uint32_t kVdsPartitionNotEmpty = 0x80042408;
constexpr uint32_t kVdsOperationDenied = 0x8004240A;
constexpr uint32_t kVdsNotEnoughSpace = 0x8004240F;
constexpr uint32_t kVdsDeviceInUse = 0x80042413;
constexpr uint32_t kVdsAnotherCallInProgress = 0x80042404;
constexpr uint32_t kVdsCannotExtend = 0x8004240E;
// IVdsVolumeShrink::Shrink (learn.microsoft.com/windows/win32/api/vds/
// nf-vds-ivdsvolumeshrink-shrink): VDS_E_SHRINK_SIZE_TOO_BIG, "the specified
// shrink size is too big and will cause the volume to be smaller than the
// minimum volume size"; VDS_E_CANNOT_SHRINK, the file system does not
// support it.
constexpr uint32_t kVdsShrinkSizeTooBig = 0x80042574;
constexpr uint32_t kVdsCannotShrink = 0x8004251E;
// Microsoft's spacing between consecutive diskpart scripts ("diskpart
// scripts and examples"): a script started sooner may fail.
constexpr uint64_t kSimDiskpartSpacingMs = 15000;

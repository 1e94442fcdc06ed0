// Which Windows this process runs on, reduced to a family code that decides
// how partitions are re-typed and how diskpart is launched, plus a readable
// name for the log. Detected once, in the constructor; read-only afterwards.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os_types.h"

// Family codes (OsFamily).
constexpr int32_t kOsUnknown = -1;      // not classified
constexpr int32_t kOsWin9x = 0;         // Windows 95, 98, Me
constexpr int32_t kOsNt5x32 = 1;        // NT 3.x/4, 2000, XP (32-bit)
constexpr int32_t kOsNt52Ia64 = 2;      // NT 5.2, 64-bit, Itanium
constexpr int32_t kOsNt52X64 = 3;       // NT 5.2, 64-bit, x64
constexpr int32_t kOsNt6x32 = 4;        // NT 6.x, 32-bit
constexpr int32_t kOsNt6xIa64 = 5;      // NT 6.x, 64-bit, Itanium
constexpr int32_t kOsNt6xX64 = 6;       // NT 6.x, 64-bit, x64

// Families on which partition types are set, and the Rapid Start partition
// deleted, through the disk driver rather than diskpart.
inline bool UsesDirectIo(int32_t family) {
  return family == kOsNt5x32 || family == kOsNt52Ia64 || family == kOsNt52X64;
}
// Families on which diskpart is launched through the 64-bit helper.
inline bool LaunchesDiskpartThroughHelper(int32_t family) { return family == kOsNt52Ia64 || family == kOsNt52X64; }

class TOsVersion {
 public:
  TOsVersion();

  int32_t OsFamily = kOsUnknown;
  bool IsWow64 = false;
  std::string OsName;
  os::SystemInfo NativeSystemInfo{};

 private:
  bool Classify(const os::OsVersionInfoExA& v);
  void ClassifyNt6(const os::OsVersionInfoExA& v);
  void ClassifyNt52(const os::OsVersionInfoExA& v);
  uint16_t Architecture() const { return NativeSystemInfo.wProcessorArchitecture; }
};

TOsVersion& GetOsVersion();
void ReleaseOsVersion();

// Typed key=value lines for the debug log.
//
// The value's type picks its form, so indices and partition numbers (signed)
// and counts and sizes (unsigned) come out right without the caller choosing a
// format: signed integers in signed decimal, unsigned in unsigned decimal,
// bool as "True"/"False", char as the character itself. Writing a log line
// never changes the thread's last error.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "platform/os.h"
#include "shell/debug_console.h"

template <class T>
std::string LogValueText(T v) {
  if constexpr (std::is_same_v<T, bool>) {
    return v ? "True" : "False";
  } else if constexpr (std::is_same_v<T, char>) {
    return std::string(1, v);
  } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
    return std::to_string(static_cast<long long>(v));
  } else if constexpr (std::is_integral_v<T>) {
    return std::to_string(static_cast<unsigned long long>(v));
  } else {
    return std::string(v);
  }
}

// "0x" and exactly two upper-case hexadecimal digits.
inline std::string HexByteText(uint8_t v) {
  const char* digits = "0123456789ABCDEF";
  return std::string("0x") + digits[v >> 4] + digits[v & 0xF];
}

// "0x" and eight upper-case hexadecimal digits: an exit code or HRESULT.
inline std::string HexResultText(int32_t v) {
  const char* digits = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) text += digits[(static_cast<uint32_t>(v) >> shift) & 0xF];
  return text;
}

// "<MB>MB (<bytes>)", MB truncated.
inline std::string SizeMbText(uint64_t bytes) {
  return std::to_string(bytes / kBytesPerMb) + "MB (" + std::to_string(bytes) + ")";
}

// Writes one line with the attribute, keeping the last error.
inline void LogLine(const std::string& text, uint16_t attr = kAttrNormal) {
  Os* os = ScopedOs::TryCurrentOs();
  const uint32_t saved = os ? os->GetLastError() : 0;
  GetDebugConsole().Write(text, attr, true);
  if (os) os->SetLastError(saved);
}

inline void LogHeading(const std::string& text) { LogLine(text, kAttrHeading); }

template <class T>
void LogKv(const char* key, T v, uint16_t attr = kAttrNormal) {
  LogLine(std::string(key) + "=" + LogValueText(v), attr);
}

// The heading of an operation on one partition, then the disk and partition
// numbers it acts on.
inline void LogOperation(const std::string& name, int32_t diskNum, int32_t partNum) {
  LogHeading(name);
  LogKv("DiskNum", diskNum);
  LogKv("PartNum", partNum);
}

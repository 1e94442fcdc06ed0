#include "shell/log_file.h"

#include <cstdio>

std::string TLogFile::Open(const std::string& path) {
  Os& os = CurrentOs();
  File_.Reset();
  if (path.empty()) return "no file name was given";
  // Append access only: every write lands at the end, whatever else moved it.
  OsHandle file(os, os.CreateFileA(path, os::kFileAppendData | os::kFileReadAttributes | os::kSynchronize,
                                   os::kFileShareRead, os::kOpenAlways,
                                   os::kFileAttributeNormal | os::kFileFlagOpenReparsePoint));
  if (!file.Valid()) return "it cannot be opened (error " + std::to_string(os.GetLastError()) + ")";
  os::FileIdentity identity{};
  if (!os.GetFileInformationByHandle(file.Get(), identity))
    return "it cannot be examined (error " + std::to_string(os.GetLastError()) + ")";
  if (identity.Attributes & os::kFileAttributeReparsePoint) return "a link stands under that name";
  if (identity.Attributes & os::kFileAttributeDirectory) return "it is a directory";
  if (identity.NumberOfLinks != 1) return "the file has another name (a hard link)";
  File_ = std::move(file);
  return "";
}

void TLogFile::WriteLine(const std::string& text) {
  if (!File_.Valid()) return;
  Os& os = CurrentOs();
  os::SystemTime now{};
  os.GetLocalTime(now);
  const std::string line = TimeStampText(now) + " " + text + "\r\n";
  uint32_t written = 0;
  // A full disk loses lines, never the run; the log keeps its last error.
  const uint32_t saved = os.GetLastError();
  os.WriteFile(File_.Get(), line.data(), static_cast<uint32_t>(line.size()), written);
  os.SetLastError(saved);
}

std::string TimeStampText(const os::SystemTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear % 10000u, t.wMonth % 100u,
                t.wDay % 100u, t.wHour % 100u, t.wMinute % 100u, t.wSecond % 100u, t.wMilliseconds % 1000u);
  return text;
}

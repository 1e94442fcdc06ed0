#include "partops/script_file.h"

std::string ScriptFileBytes(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\r\n";
  return bytes;
}

namespace {

constexpr uint32_t kNoSharing = 0;

OsHandle Failed(Os& os, uint32_t& error) {
  error = os.GetLastError();
  if (error == os::kErrorSuccess) error = os::kErrorGenFailure;
  return OsHandle();
}

}  // namespace

OsHandle WriteLockedScriptFile(const std::string& path, const std::string& bytes, uint32_t& error) {
  Os& os = CurrentOs();
  error = os::kErrorSuccess;

  // Whatever stands under the name goes first: a link is removed itself,
  // never followed; a directory or junction makes the write fail.
  if (!os.DeleteFileA(path) && os.GetLastError() != os::kErrorFileNotFound) return Failed(os, error);

  {
    // CREATE_NEW fails if anything was planted under the name since.
    OsHandle file(os, os.CreateFileA(path, os::kGenericWrite, kNoSharing, os::kCreateNew,
                                     os::kFileAttributeNormal | os::kFileFlagOpenReparsePoint));
    if (!file.Valid()) return Failed(os, error);
    uint32_t written = 0;
    if (!os.WriteFile(file.Get(), bytes.data(), static_cast<uint32_t>(bytes.size()), written)) return Failed(os, error);
    if (written != bytes.size()) {
      error = os::kErrorGenFailure;
      return OsHandle();
    }
    if (!os.CloseHandle(file.Release())) return Failed(os, error);
  }

  // Held for reading only: diskpart may read, nobody may write or delete.
  OsHandle lock(os, os.CreateFileA(path, os::kGenericRead, os::kFileShareRead, os::kOpenExisting,
                                   os::kFileFlagOpenReparsePoint));
  if (!lock.Valid()) return Failed(os, error);
  // Between the write and the lock the file was briefly unguarded: only its
  // exact bytes may be run.
  std::string back(bytes.size() + 1, '\0');
  uint32_t read = 0;
  if (!os.ReadFile(lock.Get(), &back[0], static_cast<uint32_t>(back.size()), read)) return Failed(os, error);
  if (back.compare(0, read, bytes) != 0 || read != bytes.size()) {
    error = os::kErrorGenFailure;
    return OsHandle();
  }
  return lock;
}

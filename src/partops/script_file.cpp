#include "partops/script_file.h"

#include "shell/global.h"
#include "shell/log_kv.h"

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

namespace {

constexpr char kScriptFolderName[] = "OrvRapidStart";
constexpr int kScriptFolderNames = 10;  // OrvRapidStart, OrvRapidStart.1 ... .9

// The folder just made is the directory we asked for, not a reparse point
// put in its place, and it belongs to the owner we gave it.
uint32_t CheckMadeFolder(Os& os, const OsHandle& folder) {
  os::FileIdentity identity;
  if (!os.GetFileInformationByHandle(folder.Get(), identity)) return os.GetLastError();
  if (!(identity.Attributes & os::kFileAttributeDirectory) || (identity.Attributes & os::kFileAttributeReparsePoint))
    return os::kErrorDirectory;
  std::string owner;
  if (!os.GetFileOwnerSid(folder.Get(), owner)) return os.GetLastError();
  return owner == os::kSidAdministrators ? os::kErrorSuccess : os::kErrorInvalidOwner;
}

}  // namespace

std::string TScriptFolder::Make(const std::string& parent, uint32_t& error) {
  error = os::kErrorSuccess;
  if (!path_.empty()) return path_;
  Os& os = CurrentOs();
  if (parent.empty()) {
    error = os::kErrorPathNotFound;
    return "";
  }
  for (int n = 0; n < kScriptFolderNames; ++n) {
    const std::string path =
        IncludeTrailingBackslash(parent) + kScriptFolderName + (n > 0 ? "." + std::to_string(n) : "");
    // What an earlier run left, empty, goes; a junction goes itself. Anything
    // else keeps the name, and the next one is tried.
    os.RemoveDirectoryA(path);
    if (!os.CreateDirectoryA(path, kScriptFolderSddl)) {
      error = os.GetLastError();
      if (error == os::kErrorAlreadyExists) continue;
      return "";
    }
    // Held without sharing delete: nobody renames or removes it under us.
    OsHandle folder(os, os.CreateFileA(path, os::kReadControl | os::kFileReadAttributes,
                                       os::kFileShareRead | os::kFileShareWrite, os::kOpenExisting,
                                       os::kFileFlagBackupSemantics | os::kFileFlagOpenReparsePoint));
    error = folder.Valid() ? CheckMadeFolder(os, folder) : os.GetLastError();
    if (error != os::kErrorSuccess) {
      // Not used, and not left behind: a junction put in its place goes
      // itself, never what it points to.
      folder.Reset();
      os.RemoveDirectoryA(path);
      os.SetLastError(error);
      return "";
    }
    path_ = path;
    hold_ = std::move(folder);
    LogLine("ScriptDir=" + path_);
    return path_;
  }
  return "";
}

TScriptFolder::~TScriptFolder() {
  if (path_.empty()) return;
  Os& os = CurrentOs();
  hold_.Reset();
  // A script diskpart still reads stays, and so does its folder.
  os.DeleteFileA(IncludeTrailingBackslash(path_) + kScriptFileName);
  os.RemoveDirectoryA(path_);
}

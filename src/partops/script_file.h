// Writing the diskpart script where an elevated diskpart will read it.
//
// diskpart opens the script again by its name, so every folder on that path
// must be out of reach of anyone but administrators: the user's TEMP is the
// user's to point anywhere, and a folder on its path could be swapped for a
// junction between our last look and diskpart's open. The script goes into
// a folder of its own under the shared Windows folder's Temp. Within it the
// file is still made anew (never through a link planted under its name),
// read back and compared, and then held open for reading only, without
// sharing write or delete access, until diskpart is done.
#pragma once

#include <string>
#include <vector>

#include "platform/os.h"

constexpr char kScriptFileName[] = "DPINPUT.TXT";
// Owned by the administrators; only they and SYSTEM have any access, and
// nothing is inherited from the shared Temp folder above it.
constexpr char kScriptFolderSddl[] = "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

// The script's folder: made by this process, checked, held open so it
// cannot be renamed or removed, and removed with the script in it at the end.
class TScriptFolder {
 public:
  TScriptFolder() = default;
  ~TScriptFolder();
  TScriptFolder(const TScriptFolder&) = delete;
  TScriptFolder& operator=(const TScriptFolder&) = delete;

  // Makes the folder under parent on the first call and logs it; its path,
  // or "" with error the Windows error code of the failing step. Never uses
  // a folder it did not make itself: when the name is taken by something
  // that cannot be removed, the next name is tried.
  std::string Make(const std::string& parent, uint32_t& error);

 private:
  std::string path_;
  OsHandle hold_;
};

// The file's bytes: every line in the ANSI code page followed by CR LF, no
// byte-order mark.
std::string ScriptFileBytes(const std::vector<std::string>& lines);

// Writes bytes to path and returns the handle that holds it; on failure an
// invalid handle, with error the Windows error code of the failing step.
OsHandle WriteLockedScriptFile(const std::string& path, const std::string& bytes, uint32_t& error);

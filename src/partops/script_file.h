// Writing the diskpart script where an elevated diskpart will read it.
//
// The script lives in the user's temporary folder, which other processes of
// the user can change. So the file is made anew (never through a link or
// junction planted under its name), read back and compared, and then held
// open for reading only, without sharing write or delete access, until
// diskpart is done: nobody can change or swap it in between.
#pragma once

#include <string>
#include <vector>

#include "platform/os.h"

// The file's bytes: every line in the ANSI code page followed by CR LF, no
// byte-order mark.
std::string ScriptFileBytes(const std::vector<std::string>& lines);

// Writes bytes to path and returns the handle that holds it; on failure an
// invalid handle, with error the Windows error code of the failing step.
OsHandle WriteLockedScriptFile(const std::string& path, const std::string& bytes, uint32_t& error);

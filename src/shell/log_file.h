// The debug log's copy in a file (/LOG:PATH): every line, behind the local
// time it was written at, appended to what the file held.
//
// The program runs elevated, so the name is never trusted: a link planted
// under it is opened itself, never followed, and refused; so is a file that
// has a second name (a hard link to someone else's file), and a directory.
// Nobody else may write to the file while the program has it open.
#pragma once

#include <string>

#include "platform/os.h"

class TLogFile {
 public:
  // The empty text when the file is open for appending; else why not.
  std::string Open(const std::string& path);
  bool IsOpen() const { return File_.Valid(); }
  // "YYYY-MM-DD hh:mm:ss.mmm text" and CR LF.
  void WriteLine(const std::string& text);

 private:
  OsHandle File_;
};

// "YYYY-MM-DD hh:mm:ss.mmm".
std::string TimeStampText(const os::SystemTime& t);

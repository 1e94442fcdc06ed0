// The command line of an unattended run: /STATUS, /CREATE[:SIZE] with /DISK,
// /FORCE and /RESTART, /DELETE, and /LOG:PATH, /DEBUG beside them.
//
// Without /STATUS, /CREATE or /DELETE the program starts its window exactly
// as it always has, whatever else the command line holds: shortcuts and
// callers may pass text the program never read. Only /LOG:PATH is taken
// from such a command line too. With one of them every word must be a
// switch the program knows, each at most once, with a well-formed value.
// /? or /HELP anywhere asks for the usage text, whatever else is there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class TAction { Window, Status, Create, Delete, Help };

struct TSwitches {
  TAction Action = TAction::Window;
  bool Debug = false;
  bool Force = false;
  bool Restart = false;
  bool SizeAuto = true;
  uint64_t SizeMb = 0;  // as written, capped at kMaxSwitchNumber; the run checks its range
  bool DiskAuto = true;
  uint64_t DiskNum = 0;  // as written, capped at kMaxSwitchNumber
  std::string LogPath;   // empty: no log file
  // Why the command line is not a valid unattended run; empty when it is.
  // Only an unattended action ever sets it.
  std::string Error;
};

constexpr uint64_t kMaxSwitchNumber = 0xFFFFFFFFu;

// args: the text after the program's path on its command line. prefixes:
// switch prefixes that belong to the caller and are passed over (the
// demo's "/MACHINE=").
TSwitches ReadSwitches(const std::string& args, const std::vector<std::string>& ownPrefixes = {});

// The text after the program's name on a command line, as Windows splits
// one: the first word, quoted or not, is the program, however it was
// written (a bare or relative name, a short path, another letter case).
// When that word is exePath in quotes, the text starts with the closing
// quote, as the first log line has always shown it.
std::string ArgumentText(const std::string& commandLine, const std::string& exePath);

// The command line's words as CreateProcess and the C runtime split them:
// at blanks and tabs, outside double quotes; the quotes themselves go.
std::vector<std::string> SplitCommandWords(const std::string& text);

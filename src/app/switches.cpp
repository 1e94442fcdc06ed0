#include "app/switches.h"

#include <algorithm>
#include <set>

#include "shell/global.h"

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// Decimal digits only (no sign, no blank), at most capped; false otherwise.
bool ReadNumber(const std::string& text, uint64_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = 0;
  for (char c : text) value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), kMaxSwitchNumber);
  return true;
}

// A number or AUTO.
bool ReadNumberOrAuto(const std::string& text, bool& isAuto, uint64_t& value) {
  isAuto = UpperAscii(text) == "AUTO";
  return isAuto || ReadNumber(text, value);
}

}  // namespace

std::string ArgumentText(const std::string& commandLine, const std::string& exePath) {
  if (commandLine.empty()) return "";
  if (commandLine[0] == '"') {
    // The program runs to the next quote; a quote never escapes here.
    const std::size_t close = commandLine.find('"', 1);
    if (close == std::string::npos) return "";
    const bool fullPath = AnsiUpperCase(commandLine.substr(1, close - 1)) == AnsiUpperCase(exePath);
    return commandLine.substr(fullPath ? close : close + 1);
  }
  // CreateProcess also runs an unquoted path with blanks in it (it tries
  // each blank in turn), so the full path may stand unquoted.
  const std::string head = commandLine.substr(0, exePath.size());
  if (!exePath.empty() && AnsiUpperCase(head) == AnsiUpperCase(exePath) &&
      (commandLine.size() == exePath.size() || commandLine[exePath.size()] == ' ' ||
       commandLine[exePath.size()] == '\t'))
    return commandLine.substr(exePath.size());
  const std::size_t end = commandLine.find_first_of(" \t");
  return end == std::string::npos ? "" : commandLine.substr(end);
}

std::vector<std::string> SplitCommandWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

TSwitches ReadSwitches(const std::string& args, const std::vector<std::string>& ownPrefixes) {
  TSwitches s;
  // After a quoted program path the text starts with its closing quote.
  const std::string text = !args.empty() && args[0] == '"' ? args.substr(1) : args;
  std::set<std::string> seen;
  std::string error;
  const auto fail = [&error](const std::string& why) {
    if (error.empty()) error = why;
  };
  bool help = false;
  for (const std::string& word : SplitCommandWords(text)) {
    const std::string upper = UpperAscii(word);
    if (upper == "/?" || upper == "/HELP") {
      help = true;
      continue;
    }
    const std::size_t colon = upper.find(':');
    const std::string name = upper.substr(0, colon);
    const std::string value = colon == std::string::npos ? "" : word.substr(colon + 1);
    const bool hasValue = colon != std::string::npos;

    if (std::any_of(ownPrefixes.begin(), ownPrefixes.end(),
                    [&upper](const std::string& p) { return StartsWith(upper, UpperAscii(p)); }))
      continue;
    if (!seen.insert(name).second) fail(name + " is given twice");

    const auto setAction = [&](TAction action) {
      if (s.Action != TAction::Window && s.Action != action) fail("only one of /STATUS, /CREATE and /DELETE may be given");
      s.Action = action;
    };
    if (name == "/STATUS" || name == "/DELETE") {
      setAction(name == "/STATUS" ? TAction::Status : TAction::Delete);
      if (hasValue) fail(name + " takes no value");
    } else if (name == "/CREATE") {
      setAction(TAction::Create);
      if (hasValue && !ReadNumberOrAuto(value, s.SizeAuto, s.SizeMb))
        fail("/CREATE:" + value + " is not a size in MB or AUTO");
    } else if (name == "/DISK") {
      if (!hasValue || !ReadNumberOrAuto(value, s.DiskAuto, s.DiskNum))
        fail(word + " is not /DISK: with a disk number or AUTO");
    } else if (name == "/LOG") {
      s.LogPath = value;
      if (value.empty()) fail("/LOG: needs a file name");
    } else if (name == "/FORCE" || name == "/RESTART" || name == "/DEBUG" || name == "/UNINSTALL") {
      if (hasValue) fail(name + " takes no value");
      if (name == "/FORCE") s.Force = true;
      if (name == "/RESTART") s.Restart = true;
      if (name == "/DEBUG") s.Debug = true;
      if (name == "/UNINSTALL") fail("/UNINSTALL is not an unattended action");
    } else {
      fail("unknown switch " + word);
    }
  }
  if (s.Action != TAction::Create && (seen.count("/DISK") || s.Force || s.Restart))
    fail("/DISK, /FORCE and /RESTART go with /CREATE only");
  // The window ignores what it does not know.
  if (s.Action != TAction::Window) s.Error = error;
  if (help) {
    s.Action = TAction::Help;
    s.Error.clear();
  }
  return s;
}

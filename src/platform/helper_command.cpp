#include "platform/helper_command.h"

std::string UnwrapHelperCommandLine(const std::string& helperCommandLine) {
  const std::string& s = helperCommandLine;
  std::size_t i = 0;
  // The program name, quoted or up to the first blank, as CreateProcess reads it.
  if (i < s.size() && s[i] == '"') {
    const std::size_t close = s.find('"', 1);
    i = close == std::string::npos ? s.size() : close + 1;
  } else {
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
  }
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  std::string rest = s.substr(i);
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
  if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
  return rest;
}

std::string HelperTargetCommandLine(const std::string& commandLine, const std::string& systemDirectory) {
  std::size_t end = 0;
  std::string program;
  if (!commandLine.empty() && commandLine[0] == '"') {
    const std::size_t close = commandLine.find('"', 1);
    end = close == std::string::npos ? commandLine.size() : close + 1;
    program = commandLine.substr(1, (close == std::string::npos ? commandLine.size() : close) - 1);
  } else {
    end = commandLine.find_first_of(" \t");
    if (end == std::string::npos) end = commandLine.size();
    program = commandLine.substr(0, end);
  }
  if (program.empty() || program.find_first_of("\\/:") != std::string::npos) return commandLine;
  if (systemDirectory.empty()) return "";  // no folder to take it from: run nothing
  std::string folder = systemDirectory;
  if (folder.back() != '\\') folder += '\\';
  return "\"" + folder + program + "\"" + commandLine.substr(end);
}

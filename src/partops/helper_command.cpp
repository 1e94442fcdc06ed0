#include "partops/helper_command.h"

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

#include "shell/global.h"

#include "platform/os.h"

std::string AnsiUpperCase(const std::string& text) { return CurrentOs().CharUpperBuffA(text); }

std::string TextAfter(const std::string& source, const std::string& marker, const std::string& def) {
  // An empty marker occurs nowhere: without a known program path no switch
  // may be read from the command line.
  if (marker.empty()) return def;
  const std::size_t p = AnsiUpperCase(source).find(AnsiUpperCase(marker));
  if (p == std::string::npos) return def;
  return source.substr(p + marker.size());
}

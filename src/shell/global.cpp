#include "shell/global.h"

#include "platform/os.h"

std::string AnsiUpperCase(const std::string& text) { return CurrentOs().CharUpperBuffA(text); }

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

namespace {

// The position of the first case-insensitive occurrence of marker at or after
// from; npos when there is none. An empty marker occurs nowhere: without a
// known program path no switch may be read from the command line.
std::size_t FindText(const std::string& source, const std::string& marker, std::size_t from = 0) {
  if (marker.empty()) return std::string::npos;
  return AnsiUpperCase(source).find(AnsiUpperCase(marker), from);
}

}  // namespace

std::string TextAfter(const std::string& source, const std::string& marker, const std::string& def) {
  const std::size_t p = FindText(source, marker);
  return p == std::string::npos ? def : source.substr(p + marker.size());
}

std::string TextBefore(const std::string& source, const std::string& marker, const std::string& def) {
  const std::size_t p = FindText(source, marker);
  return p == std::string::npos ? def : source.substr(0, p);
}

std::string TextBetween(const std::string& source, const std::string& left, const std::string& right,
                        const std::string& def) {
  const std::size_t l = FindText(source, left);
  if (l == std::string::npos) return def;
  const std::size_t begin = l + left.size();
  const std::size_t r = FindText(source, right, begin);
  return r == std::string::npos ? def : source.substr(begin, r - begin);
}

std::string ExtractFilePath(const std::string& path) {
  const std::size_t p = path.find_last_of("\\/:");
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& path) { return path.substr(ExtractFilePath(path).size()); }

std::string IncludeTrailingBackslash(const std::string& path) {
  return !path.empty() && path.back() == '\\' ? path : path + "\\";
}

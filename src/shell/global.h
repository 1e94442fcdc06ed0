// Text helpers shared by every module: case-insensitive marker searches.
// Markers are compared on upper-cased copies (the user's locale, through the
// seam); results are always cut from the unchanged source.
#pragma once

#include <string>

// The user's-locale upper-case form of ANSI text; the length never changes.
std::string AnsiUpperCase(const std::string& text);
// Only a-z upper-cased, whatever the locale: for names that are ASCII by
// definition (switches, device ids, device paths).
std::string UpperAscii(std::string text);

// The part of source after the first occurrence of marker (possibly empty),
// or def when marker does not occur.
std::string TextAfter(const std::string& source, const std::string& marker, const std::string& def);

// The part of source before the first occurrence of marker, or def when
// marker does not occur.
std::string TextBefore(const std::string& source, const std::string& marker, const std::string& def);

// The text after the first occurrence of left up to the first following
// occurrence of right, or def when either is missing.
std::string TextBetween(const std::string& source, const std::string& left, const std::string& right,
                        const std::string& def);

// The directory part of a path, with its trailing delimiter ("" when none).
std::string ExtractFilePath(const std::string& path);
// The file name part of a path.
std::string ExtractFileName(const std::string& path);
// path with a trailing backslash, unless it already ends in one.
std::string IncludeTrailingBackslash(const std::string& path);

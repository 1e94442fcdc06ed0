// Text helpers shared by every module: case-insensitive marker searches.
// Markers are compared on upper-cased copies (the user's locale, through the
// seam); results are always cut from the unchanged source.
#pragma once

#include <string>

// The user's-locale upper-case form of ANSI text; the length never changes.
std::string AnsiUpperCase(const std::string& text);

// The part of source after the first occurrence of marker (possibly empty),
// or def when marker does not occur.
std::string TextAfter(const std::string& source, const std::string& marker, const std::string& def);

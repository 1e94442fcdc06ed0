// How amd64.exe reads its command line.
//
// The program hands it the complete diskpart command line as one argument in
// double quotes. Because that command line may itself hold a quoted path
// (the script in a temporary folder with blanks), the argument is not split
// by the usual rules: everything after the helper's own program name and the
// blanks behind it is taken, and exactly one pair of outer double quotes is
// removed when the text both starts and ends with one.
//
//   "C:\Orv\amd64.exe" "diskpart.exe /S "C:\T mp\DPINPUT.TXT""
//     -> diskpart.exe /S "C:\T mp\DPINPUT.TXT"
#pragma once

#include <cstdint>
#include <string>

// The command line amd64.exe runs, given its own whole command line.
std::string UnwrapHelperCommandLine(const std::string& helperCommandLine);

// The command line to start for the one given: a program named without a
// path is the one in systemDirectory, never one found by a search of the
// program's or the current folder. "diskpart.exe /S x" ->
// "\"C:\Windows\system32\diskpart.exe\" /S x".
std::string HelperTargetCommandLine(const std::string& commandLine, const std::string& systemDirectory);

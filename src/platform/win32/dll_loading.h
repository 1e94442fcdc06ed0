// Where the programs take their DLLs from. The program runs elevated and is
// often started from Downloads, where anyone may have left a DLL named like a
// system one; Windows searches the program's own folder (and, on older
// systems, the current folder) before the system folder.
//
// Statically imported are only KnownDLLs, which the loader always takes from
// the system, and comctl32, which the manifest's Common Controls 6 dependency
// takes from WinSxS. The rest (GDI+, SetupAPI) are delay-loaded: the delay-load
// hook defined in dll_loading.cpp loads them by full path from the system
// folder, or ends the process.
#pragma once

#include <windows.h>

// First thing in each entry point: from here on, a DLL loaded by bare name
// (by us or by a system DLL on our behalf) comes from the system folder only
// where the system offers that (Windows 8 on, Windows 7 and Vista with
// KB2533623), and never from the current folder (XP SP1 on).
void HardenDllSearch();

// The two steps of HardenDllSearch, apart so that each can be tested alone.
// SearchSystemFolderOnly returns false where the system lacks
// SetDefaultDllDirectories.
bool SearchSystemFolderOnly();
void RemoveCurrentFolderFromDllSearch();

// Loads the DLL of that bare name from the system folder by its full path;
// where the system folder has no such file, only from WinSxS, and only when
// the activation context redirects the name there. Never searches elsewhere:
// nullptr, with the last error set, when neither place has it.
HMODULE LoadSystemLibrary(const char* name);

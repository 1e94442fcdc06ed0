// Where the programs take their DLLs from. The program runs elevated and is
// often started from Downloads, where anyone may have left a DLL named like a
// system one; Windows searches the program's own folder (and, on older
// systems, the current folder) before the system folder.
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

// What a disk tile's hint tells of its disk: the first line names it as the
// status line does; the second gives the facts that decide the choice of a
// disk for the Rapid Start partition.
#pragma once

#include <cstdint>
#include <string>

#include "disk/disk.h"

// "Disk k: product\r\nWindows disk 3 · 1 TB · MBR · SSD · 2 MB free", and on
// the disk that holds it " · Rapid Start partition: 4 GB". Free is the largest
// partition a Create could make there. What the model does not know (the size,
// the layout, the media kind) is left out. The text is ANSI (code page 1252):
// the dot is 0xB7; the line break is the one a tooltip honours.
std::string DiskTileHint(int32_t diskIndex, const std::string& product, const _DiskInfo& disk,
                         const _PartInfo* rapidStart);

// Sizes in binary units, as Windows counts them, rounded to the nearest: whole
// MB below 1 GB, whole GB below 1 TB, TB to a tenth from there ("1.8 TB", "2 TB").
std::string SizeText(uint64_t bytes);

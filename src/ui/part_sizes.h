// The partition sizes the program offers, and the two rules that pick one:
// the window's preselection, which allows a little less than the memory, and
// the unattended AUTO size, which must hold it.
#pragma once

#include <cstddef>
#include <cstdint>

struct TPartSize {
  const char* Caption;
  int SizeInMB;  // the size box item's tag
};
// Rapid Start needs a partition at least as large as the installed memory:
// the three largest sizes serve machines with more than 8 GB.
constexpr TPartSize kPartSizes[] = {
    {"2 GB", 2048}, {"4 GB", 4096}, {"8 GB", 8192}, {"16 GB", 16384}, {"32 GB", 32768}, {"64 GB", 65536},
};
constexpr std::size_t kPartSizeCount = sizeof kPartSizes / sizeof kPartSizes[0];

// The one size rule: the tag of the first size that holds memoryMb with at
// most toleranceMb missing; 0 when none does.
int PartSizeTagFor(uint32_t memoryMb, uint32_t toleranceMb);

// The window's preselection: the index of the first size within 100 MB of
// sizeInMB or above it (a little less than the memory will do); the last
// when none is.
std::size_t PartSizeIndexFor(uint32_t sizeInMB);
// The unattended AUTO size: the smallest size that holds memoryMb of
// installed memory, with no tolerance (what the firmware needs); 0 when none
// is large enough.
uint32_t SmallestSizeHolding(uint32_t memoryMb);

#include "ui/part_sizes.h"

namespace {

constexpr uint32_t kPreselectionToleranceMB = 100;

}  // namespace

int PartSizeTagFor(uint32_t memoryMb, uint32_t toleranceMb) {
  for (const TPartSize& size : kPartSizes)
    if (static_cast<uint64_t>(size.SizeInMB) + toleranceMb >= memoryMb) return size.SizeInMB;
  return 0;
}

std::size_t PartSizeIndexFor(uint32_t sizeInMB) {
  const int tag = PartSizeTagFor(sizeInMB, kPreselectionToleranceMB);
  for (std::size_t i = 0; i < kPartSizeCount; ++i)
    if (kPartSizes[i].SizeInMB == tag) return i;
  return kPartSizeCount - 1;
}

uint32_t SmallestSizeHolding(uint32_t memoryMb) { return static_cast<uint32_t>(PartSizeTagFor(memoryMb, 0)); }

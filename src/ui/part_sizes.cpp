#include "ui/part_sizes.h"

namespace {

constexpr uint32_t kSizeToleranceMB = 100;

}  // namespace

std::size_t PartSizeIndexFor(uint32_t sizeInMB) {
  for (std::size_t i = 0; i < kPartSizeCount; ++i)
    if (static_cast<uint32_t>(kPartSizes[i].SizeInMB) + kSizeToleranceMB >= sizeInMB) return i;
  return kPartSizeCount - 1;
}

uint32_t SmallestSizeHolding(uint32_t memoryMb) {
  for (const TPartSize& size : kPartSizes)
    if (static_cast<uint32_t>(size.SizeInMB) >= memoryMb) return static_cast<uint32_t>(size.SizeInMB);
  return 0;
}

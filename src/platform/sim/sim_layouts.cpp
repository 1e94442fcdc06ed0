#include "platform/sim/sim_layouts.h"

#include <cstring>

const os::Guid kSimEfiType = {0xC12A7328, 0xF81F, 0x11D2, {0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B}};
const os::Guid kSimMsrType = {0xE3C9E316, 0x0B5C, 0x4DB8, {0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE}};
const os::Guid kSimBasicDataType = {0xEBD0A0A2, 0xB9E5, 0x4433, {0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}};
const os::Guid kSimRecoveryType = {0xDE94BBA4, 0x06D1, 0x4D40, {0xA1, 0x6A, 0xBF, 0xD5, 0x01, 0x79, 0xD6, 0xAC}};
const os::Guid kSimLinuxDataType = {0x0FC63DAF, 0x8483, 0x4772, {0x8E, 0x79, 0x3D, 0x69, 0xD8, 0x47, 0x7D, 0xE4}};
const os::Guid kSimLinuxSwapType = {0x0657FD6D, 0xA4AB, 0x43C4, {0x84, 0xE5, 0x09, 0x33, 0xC8, 0x4B, 0x4F, 0x4F}};

namespace {

constexpr uint64_t kMiB = kBytesPerMb;
constexpr uint64_t kGiB = SimDisks::kGiB;
constexpr uint64_t kDiskBytes = 256 * kGiB;
constexpr uint64_t kGptEnd = kDiskBytes - kMiB;  // the backup table's room at the end
// assumed: a Recovery or System Reserved volume is nearly full; this is
// what its free space lets a shrink take.
constexpr uint64_t kNearlyFullBytes = 60 * kMiB;

char FreeLetter(const SimPc& pc) {
  const uint32_t mask = pc.Disks.LogicalDriveMask();
  for (char c = 'C'; c <= 'Z'; ++c)
    if (!(mask & (1u << (c - 'A')))) return c;
  return 0;
}

// The Windows volume: a letter, in use (system, boot, paging file).
void SystemVolume(SimPc& pc, int disk, uint32_t part) { pc.Disks.AddVolume(disk, part, FreeLetter(pc)).InUse = true; }
void DataVolume(SimPc& pc, int disk, uint32_t part) { pc.Disks.AddVolume(disk, part, FreeLetter(pc)); }
// A volume without a letter and nearly full (Recovery, System Reserved).
void FullHiddenVolume(SimPc& pc, int disk, uint32_t part) {
  pc.Disks.AddHiddenVolume(disk, part);
  pc.Processes.ShrinkableBytes[{disk, part}] = kNearlyFullBytes;
}
void EfiVolume(SimPc& pc, int disk, uint32_t part) { pc.Disks.AddHiddenVolume(disk, part).FileSystem = "FAT32"; }

SimDrive& GptDisk(SimPc& pc, int number, const char* product) {
  SimDrive& d = pc.Disks.AddGptDisk(number, kDiskBytes);
  d.Descriptor.Vendor = "";
  d.Descriptor.Product = product;
  return d;
}
SimDrive& MbrDisk(SimPc& pc, int number, const char* product) {
  SimDrive& d = pc.Disks.AddMbrDisk(number, kDiskBytes);
  d.Descriptor.Product = product;
  return d;
}

// EFI 100 MB, reserved 16 MB from 1 MiB; returns where the next partition starts.
uint64_t EfiAndMsr(SimPc& pc, SimDrive& d, uint64_t at) {
  EfiVolume(pc, d.Number, d.AddGptPartition(kSimEfiType, at, 100 * kMiB, u"EFI system partition").Number);
  d.AddGptPartition(kSimMsrType, at + 100 * kMiB, 16 * kMiB, u"Microsoft reserved partition");
  return at + 116 * kMiB;
}

// Windows 10/11 as setup lays it out: EFI, reserved, C:, and Recovery last,
// the disk full.
void Windows11(SimPc& pc, int number) {
  SimDrive& d = GptDisk(pc, number, "Ortavel NVMe SSD 256GB");
  const uint64_t at = EfiAndMsr(pc, d, kMiB);
  const uint64_t recovery = kGptEnd - 750 * kMiB;
  SystemVolume(pc, number, d.AddGptPartition(kSimBasicDataType, at, recovery - at, u"Basic data partition").Number);
  FullHiddenVolume(pc, number, d.AddGptPartition(kSimRecoveryType, recovery, 750 * kMiB, u"Recovery").Number);
}

// Older Windows 8.1 and 10 installs: Recovery first, then EFI, reserved, C:.
void Windows10RecoveryFirst(SimPc& pc, int number) {
  SimDrive& d = GptDisk(pc, number, "Ortavel SATA SSD 256GB");
  FullHiddenVolume(pc, number, d.AddGptPartition(kSimRecoveryType, kMiB, 450 * kMiB, u"Recovery").Number);
  const uint64_t at = EfiAndMsr(pc, d, 451 * kMiB);
  SystemVolume(pc, number, d.AddGptPartition(kSimBasicDataType, at, kGptEnd - at, u"Basic data partition").Number);
}

// Windows 7 on MBR: System Reserved 100 MB, then C: to the end.
void Windows7(SimPc& pc, int number) {
  SimDrive& d = MbrDisk(pc, number, "Keystone HDD 250GB");
  d.Media = kSimHdd;
  FullHiddenVolume(pc, number, d.AddPrimary(0x07, kMiB, 100 * kMiB, true).Number);
  SystemVolume(pc, number, d.AddPrimary(0x07, 101 * kMiB, kDiskBytes - 101 * kMiB).Number);
}

// A PC maker's MBR disk: a diagnostics partition, C:, and a large
// recovery-image volume at the end that the images fill.
void OemRecoveryImage(SimPc& pc, int number) {
  SimDrive& d = MbrDisk(pc, number, "Keystone HDD 250GB");
  d.Media = kSimHdd;
  d.AddPrimary(0xDE, kMiB, 40 * kMiB);
  const uint64_t image = kDiskBytes - 20 * kGiB;
  SystemVolume(pc, number, d.AddPrimary(0x07, 41 * kMiB, image - 41 * kMiB, true).Number);
  const uint32_t n = d.AddPrimary(0x07, image, 20 * kGiB).Number;
  DataVolume(pc, number, n);
  pc.Processes.ShrinkableBytes[{number, n}] = 300 * kMiB;
}

// Windows beside Linux on GPT: Linux root and swap after C:. diskpart can
// neither shrink nor extend them (no volume Windows can mount).
void DualBootGpt(SimPc& pc, int number) {
  SimDrive& d = GptDisk(pc, number, "Ortavel NVMe SSD 256GB");
  const uint64_t at = EfiAndMsr(pc, d, kMiB);
  SystemVolume(pc, number, d.AddGptPartition(kSimBasicDataType, at, 120 * kGiB, u"Basic data partition").Number);
  const uint64_t swap = kGptEnd - 8 * kGiB;
  d.AddGptPartition(kSimLinuxDataType, at + 120 * kGiB, swap - at - 120 * kGiB, u"");
  d.AddGptPartition(kSimLinuxSwapType, swap, 8 * kGiB, u"");
}

// The same on MBR: types 0x83 and 0x82 after C:.
void DualBootMbr(SimPc& pc, int number) {
  SimDrive& d = MbrDisk(pc, number, "Keystone HDD 250GB");
  SystemVolume(pc, number, d.AddPrimary(0x07, kMiB, 120 * kGiB, true).Number);
  const uint64_t swap = kDiskBytes - 8 * kGiB;
  d.AddPrimary(0x83, kMiB + 120 * kGiB, swap - kMiB - 120 * kGiB);
  d.AddPrimary(0x82, swap, 8 * kGiB);
}

// EFI, reserved and C:, with only 4 MB left free behind C:.
void FourMbFree(SimPc& pc, int number) {
  SimDrive& d = GptDisk(pc, number, "Ortavel SATA SSD 256GB");
  const uint64_t at = EfiAndMsr(pc, d, kMiB);
  SystemVolume(pc, number,
               d.AddGptPartition(kSimBasicDataType, at, kGptEnd - 4 * kMiB - at, u"Basic data partition").Number);
}

// Windows 10/11 on GPT whose C: can give only 1 GB: Windows does not move
// the page file, hibernation file and other unmovable files a shrink meets
// ("shrink": it gives what the volume can, less what cannot move), and on a
// C: nearly full or with such files near its end that is little. Recovery
// is nearly full and EFI is FAT32: nothing on the disk can give 2 GB.
void Windows11CannotShrink(SimPc& pc, int number) {
  SimDrive& d = GptDisk(pc, number, "Ortavel NVMe SSD 256GB");
  const uint64_t at = EfiAndMsr(pc, d, kMiB);
  const uint64_t recovery = kGptEnd - 750 * kMiB;
  const uint32_t c = d.AddGptPartition(kSimBasicDataType, at, recovery - at, u"Basic data partition").Number;
  SystemVolume(pc, number, c);
  pc.Processes.ShrinkableBytes[{number, c}] = kGiB;
  FullHiddenVolume(pc, number, d.AddGptPartition(kSimRecoveryType, recovery, 750 * kMiB, u"Recovery").Number);
}

}  // namespace

const std::vector<SimLayout>& CommonLayouts() {
  static const std::vector<SimLayout> layouts = {
      {"Win11Gpt", "Windows 10/11 GPT: EFI, MSR, C:, Recovery last, no free space", Windows11, false},
      {"Win10RecoveryFirst", "Windows 10 GPT, older install: Recovery, EFI, MSR, C:", Windows10RecoveryFirst, false},
      {"Win7Mbr", "Windows 7 MBR: System Reserved 100 MB, C:", Windows7, false},
      {"OemMbr", "OEM MBR: diagnostics, C:, full 20 GB recovery-image volume", OemRecoveryImage, false},
      {"DualBootGpt", "GPT: EFI, MSR, C:, Linux root, Linux swap", DualBootGpt, false},
      {"DualBootMbr", "MBR: C:, Linux 0x83, Linux swap 0x82", DualBootMbr, false},
      {"FourMbFree", "GPT: EFI, MSR, C:, 4 MB free", FourMbFree, false},
      {"Win11CShrinksLittle", "Windows 10/11 GPT whose C: can give only 1 GB", Windows11CannotShrink, true},
  };
  return layouts;
}

const SimLayout* FindCommonLayout(const char* name) {
  for (const SimLayout& l : CommonLayouts())
    if (std::strcmp(l.Name, name) == 0) return &l;
  return nullptr;
}

#include "demo/demo_machines.h"

#include "platform/sim/sim_layouts.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr uint64_t kMiB = kBytesPerMb;
constexpr uint64_t kGiB = SimDisks::kGiB;
constexpr uint8_t kNtfs = 0x07;

const os::Guid kEfiType = {0xC12A7328, 0xF81F, 0x11D2, {0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B}};
const os::Guid kMsrType = {0xE3C9E316, 0x0B5C, 0x4DB8, {0x81, 0x7D, 0xF9, 0x2D, 0xF0, 0x02, 0x15, 0xAE}};
const os::Guid kDataType = {0xEBD0A0A2, 0xB9E5, 0x4433, {0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}};

void Memory(SimPc& pc, int modules, uint64_t bytesEach) {
  pc.System.MemoryModules.clear();
  for (int i = 0; i < modules; ++i)
    pc.System.MemoryModules.push_back(
        SimMemoryModule::Make(bytesEach, 12, L"ChannelA-DIMM" + std::to_wstring(i)));
}

// The ACPI devices of an ordinary PC, each listed as Windows lists ACPI
// hardware ids: "ACPI\ID" and "*ID". Rapid Start firmware adds INT3392.
void AcpiDevices(SimPc& pc, bool rapidStartFirmware) {
  for (const char* id : {"PNP0C0A", "PNP0C0C", "PNP0A08", "PNP0C02"})
    pc.AddAcpiDevice({std::string("ACPI\\") + id, std::string("*") + id});
  pc.AddAcpiDevice({"ACPI\\GenuineIntel_-_x86_Family_6_Model_58", "*GenuineIntel_-_x86_Family_6_Model_58",
                    "ACPI\\GenuineIntel_-_x86_Family_6", "*GenuineIntel_-_x86", "ACPI\\GenuineIntel", "*GenuineIntel"});
  if (rapidStartFirmware) pc.AddAcpiDevice({"ACPI\\INT3392", "*INT3392"});
}

// The system disk of a Windows 10/11 PC: EFI, reserved, C: and Recovery
// last, filled to its end; C: must shrink to make room.
void FullSystemDisk(SimPc& pc, int number) { FindCommonLayout("Win11Gpt")->Build(pc, number); }

void Standard(SimPc& pc) {
  Memory(pc, 2, 4 * kGiB);
  AcpiDevices(pc, true);
  FullSystemDisk(pc, 0);

  SimDrive& data = pc.Disks.AddMbrDisk(1, 500 * kGiB);  // free space at its end
  data.Descriptor.Product = "Keystone HDD 500GB  ";     // blank padding, as many drives report it
  data.Media = kSimHdd;
  data.AddPrimary(kNtfs, kMiB, 300 * kGiB);
  pc.Disks.AddVolume(1, 1, 'D');

  SimDrive& usb = pc.Disks.AddUsbFlash(2, 32 * kGiB);  // not a fixed disk: no tile
  usb.Descriptor.Product = "Pocket Flash 32GB";
  usb.AddPrimary(0x0C, kMiB, 32 * kGiB - kMiB);
  pc.Disks.AddVolume(2, 1, 'E');

  // An extended partition with logical drives, and a gap among the primary
  // entries: a new primary partition there renumbers the logical ones.
  SimDrive& mixed = pc.Disks.AddMbrDisk(3, 1024 * kGiB);
  mixed.Descriptor.Product = "Marlin SATA SSD 1TB";
  mixed.Media = {SimAnswer::NotSupported, SimAnswer::Yes};  // behind an older driver: only TRIM tells
  mixed.AddPrimary(kNtfs, kMiB, 200 * kGiB);
  mixed.AddExtended(400 * kGiB, 624 * kGiB);
  mixed.AddLogical(kNtfs, 400 * kGiB + kMiB, 300 * kGiB);
  mixed.AddLogical(kNtfs, 700 * kGiB + 2 * kMiB, 324 * kGiB - 3 * kMiB);
  pc.Disks.AddVolume(3, 1, 'F');
  pc.Disks.AddVolume(3, 2, 'G');
  pc.Disks.AddVolume(3, 3, 'H');

  SimDrive& big = pc.Disks.AddGptDisk(4, 2048 * kGiB);  // free space behind its data
  big.Descriptor.Product = "Corvane HDD 2TB";
  big.Media = kSimMediaUnknown;  // answers neither question
  big.AddGptPartition(kMsrType, kMiB, 16 * kMiB, u"Microsoft reserved partition");
  big.AddGptPartition(kDataType, 17 * kMiB, 1024 * kGiB, u"Basic data partition");
  pc.Disks.AddVolume(4, 2, 'I');
}

void NoDisk(SimPc& pc) {
  Memory(pc, 1, 4 * kGiB);
  AcpiDevices(pc, false);
  SimDrive& usb = pc.Disks.AddUsbFlash(0, 16 * kGiB);
  usb.Descriptor.Product = "Pocket Flash 16GB";
}

void OneDisk(SimPc& pc) {
  Memory(pc, 2, 8 * kGiB);  // 16 GB: the 16 GB size is preselected
  AcpiDevices(pc, false);  // firmware without Rapid Start
  FullSystemDisk(pc, 0);
}

void ExistingPartition(SimPc& pc) {
  Memory(pc, 1, 4 * kGiB);
  AcpiDevices(pc, true);
  SimDrive& d = pc.Disks.AddMbrDisk(0, 128 * kGiB);
  d.Descriptor.Product = "Ortavel SATA SSD 128GB";
  d.AddPrimary(kNtfs, kMiB, 100 * kGiB, true);
  d.AddPrimary(0x84, 100 * kGiB + kMiB, 4096 * kMiB);
  pc.Disks.AddVolume(0, 1, 'C');
  pc.Disks.AddHiddenVolume(0, 2);
  SimDrive& second = pc.Disks.AddGptDisk(1, 512 * kGiB);
  second.Descriptor.Product = "Keystone HDD 500GB";
  second.Media = kSimHdd;
  second.AddGptPartition(kDataType, kMiB, 400 * kGiB, u"Basic data partition");
  pc.Disks.AddVolume(1, 1, 'D');
}

// A PC with Rapid Start firmware, 8 GB of memory and one system disk laid out
// as a common PC's is.
template <const char* kLayout>
void CommonPc(SimPc& pc) {
  Memory(pc, 2, 4 * kGiB);
  AcpiDevices(pc, true);
  FindCommonLayout(kLayout)->Build(pc, 0);
}
constexpr char kWin10Old[] = "Win10RecoveryFirst", kWin7[] = "Win7Mbr", kOem[] = "OemMbr",
               kDualGpt[] = "DualBootGpt", kDualMbr[] = "DualBootMbr", kTight[] = "FourMbFree",
               kNoShrink[] = "Win11CShrinksLittle";

}  // namespace

const std::vector<TDemoMachine>& DemoMachines() {
  static const std::vector<TDemoMachine> machines = {
      {"standard", "four fixed disks and a USB stick", Standard},
      {"nodisk", "no fixed disk at all", NoDisk},
      {"onedisk", "one full system disk and 16 GB of memory", OneDisk},
      {"existing", "a disk that holds a 4 GB Rapid Start partition", ExistingPartition},
      {"win10old", "Windows 10 on GPT, an older install with Recovery before C:", CommonPc<kWin10Old>},
      {"win7", "Windows 7 on MBR with System Reserved", CommonPc<kWin7>},
      {"oem", "a maker's MBR disk with a full recovery-image volume at its end", CommonPc<kOem>},
      {"dualboot", "Windows beside Linux on GPT", CommonPc<kDualGpt>},
      {"dualbootmbr", "Windows beside Linux on MBR", CommonPc<kDualMbr>},
      {"tight", "a GPT system disk with only 4 MB free", CommonPc<kTight>},
      {"noshrink", "Windows 10/11 on GPT whose C: can give only 1 GB", CommonPc<kNoShrink>},
  };
  return machines;
}

namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

// The word after "/KEY=" up to a blank or quote; false when the switch is absent.
bool SwitchValue(const std::string& commandLine, const std::string& key, std::string& value) {
  const std::string upper = Upper(commandLine);
  const std::size_t at = upper.find(key);
  if (at == std::string::npos) return false;
  const std::size_t from = at + key.size();
  const std::size_t end = upper.find_first_of(" \t\"", from);
  value = upper.substr(from, end == std::string::npos ? std::string::npos : end - from);
  return true;
}

}  // namespace

const TDemoMachine* DemoMachineFor(const std::string& commandLine) {
  std::string name;
  if (!SwitchValue(commandLine, "/MACHINE=", name)) return &DemoMachines().front();
  for (const TDemoMachine& m : DemoMachines())
    if (Upper(m.Name) == name) return &m;
  return nullptr;
}

uint32_t DemoRunMsFor(const std::string& commandLine) {
  constexpr uint32_t kMaxRunMs = 60000;
  std::string value;
  if (!SwitchValue(commandLine, "/RUNMS=", value) || value.empty() || value.size() > 5 ||
      value.find_first_not_of("0123456789") != std::string::npos)
    return kDemoRunMs;
  return std::min<uint32_t>(static_cast<uint32_t>(std::stoul(value)), kMaxRunMs);
}

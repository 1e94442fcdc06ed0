// The simulated PC's disks and volumes: the machine description and its
// builders. The driver that answers requests from it is in sim_disk_driver.cpp.
#include "platform/sim/sim_disk.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace {

using os::kStyleGpt, os::kStyleMbr, os::kStyleRaw;
constexpr uint32_t kSectorBytes = 512;
constexpr uint32_t kEbrGapSectors = 2048;  // a logical partition starts 1 MiB after its boot record

const os::Guid kVolumeClass = {0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
const os::Guid kHiddenVolumeClass = {0x7F108A28, 0x9833, 0x4B3B, {0xB7, 0x80, 0x2C, 0x6B, 0x5F, 0xA5, 0xC0, 0x62}};
const char* const kVolumeClassText = "{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
const char* const kHiddenVolumeClassText = "{7f108a28-9833-4b3b-b780-2c6b5fa5c062}";

bool IsZero(const os::Guid& g) { return g == os::Guid{}; }

}  // namespace

bool SimPartition::Used() const { return Style == kStyleGpt ? !IsZero(GptType) : MbrType != 0; }

SimPartition* SimDrive::FindPartition(uint32_t number) {
  if (number == 0) return nullptr;
  for (SimPartition& e : Layout)
    if (e.Number == number) return &e;
  return nullptr;
}

uint32_t SimDrive::NextPartitionNumber() const { return LowestFreeNumber(Layout); }

SimPartition& SimDrive::AddPrimary(uint8_t type, uint64_t offset, uint64_t length, bool active, int slot) {
  if (slot < 0)
    for (int i = 0; i < 4 && slot < 0; ++i)
      if (!Layout[static_cast<std::size_t>(i)].Used()) slot = i;
  if (Style != kStyleMbr || slot < 0 || slot > 3 || Layout[static_cast<std::size_t>(slot)].Used())
    throw std::logic_error("no free MBR slot");
  SimPartition& e = Layout[static_cast<std::size_t>(slot)];
  e = SimPartition{};
  e.Offset = offset;
  e.Length = length;
  e.Number = 0;  // numbered below, with the rest
  e.MbrType = type;
  e.Active = active;
  e.Recognized = true;
  e.HiddenSectors = static_cast<uint32_t>(offset / kSectorBytes);
  RenumberMbr();
  return e;
}

SimPartition& SimDrive::AddExtended(uint64_t offset, uint64_t length, int slot) {
  SimPartition& e = AddPrimary(0x0F, offset, length, false, slot);
  e.Recognized = false;
  RenumberMbr();  // containers carry no partition number
  return e;
}

namespace {
bool IsMbrContainer(const SimPartition& e) { return e.MbrType == 0x05 || e.MbrType == 0x0F || e.MbrType == 0x85; }
}  // namespace

void SimDrive::RenumberMbr() {
  if (Style != kStyleMbr) return;
  std::map<uint32_t, uint32_t> oldToNew;
  uint32_t next = 1;
  for (SimPartition& e : Layout) {  // the table's four slots come first
    if (!e.Used() || IsMbrContainer(e)) {
      e.Number = 0;
      continue;
    }
    if (e.Number != 0) oldToNew[e.Number] = next;
    e.Number = next++;
  }
  if (Owner) Owner->RenumberVolumes(Number, oldToNew);
}

void SimDisks::RenumberVolumes(int disk, const std::map<uint32_t, uint32_t>& oldToNew) {
  for (SimVolume& v : Volumes) {
    if (v.Disk != disk) continue;
    auto it = oldToNew.find(v.PartNum);
    if (it != oldToNew.end()) v.PartNum = it->second;
  }
}

SimPartition& SimDrive::AddLogical(uint8_t type, uint64_t offset, uint64_t length) {
  if (Style != kStyleMbr) throw std::logic_error("logical partitions need an MBR disk");
  const uint64_t ebr = offset - uint64_t(kEbrGapSectors) * kSectorBytes;
  if (Layout.size() > 4) {
    // The previous boot record's second entry links to the new one.
    SimPartition& link = Layout[Layout.size() - 3];
    link.Offset = ebr;
    link.Length = length + uint64_t(kEbrGapSectors) * kSectorBytes;
    link.MbrType = 0x05;
    link.HiddenSectors = kEbrGapSectors;
  }
  Layout.resize(Layout.size() + 4);
  SimPartition& e = Layout[Layout.size() - 4];
  e.Offset = offset;
  e.Length = length;
  e.Number = 0;  // numbered below, with the rest
  e.MbrType = type;
  e.Recognized = true;
  e.HiddenSectors = kEbrGapSectors;
  RenumberMbr();
  return e;
}

SimPartition& SimDrive::AddGptPartition(const os::Guid& type, uint64_t offset, uint64_t length,
                                        const std::u16string& name) {
  if (Style != kStyleGpt) throw std::logic_error("GPT partitions need a GPT disk");
  SimPartition e;
  e.Style = kStyleGpt;
  e.Offset = offset;
  e.Length = length;
  e.Number = NextPartitionNumber();
  e.GptType = type;
  e.GptId = os::Guid{0x6A7B0000u + e.Number, static_cast<uint16_t>(0x1000 + Number), 0x4000,
                     {0x80, 0x5E, 0, 0, 0, 0, static_cast<uint8_t>(e.Number >> 8), static_cast<uint8_t>(e.Number)}};
  e.Name = name.substr(0, 36);
  Layout.push_back(e);
  // assumed: a disk partitioned with more entries has a table that holds them
  GptMaxEntries = std::max<uint32_t>(GptMaxEntries, static_cast<uint32_t>(Layout.size()));
  return Layout.back();
}

int SimDisks::CountRequests(uint32_t code) const {
  return static_cast<int>(
      std::count_if(Requests.begin(), Requests.end(), [code](const SimIoRequest& r) { return r.Code == code; }));
}

SimDrive& SimDisks::NewDrive(int number, uint64_t size, uint32_t style) {
  if (FindDrive(number)) throw std::logic_error("drive number in use");
  SimDrive d;
  d.Owner = this;
  d.Number = number;
  d.SizeBytes = size;
  d.Style = style;
  Drives.push_back(d);
  return Drives.back();
}

SimDrive& SimDisks::AddMbrDisk(int number, uint64_t size) {
  SimDrive& d = NewDrive(number, size, kStyleMbr);
  d.MbrSignature = 0x5EED0000u + static_cast<uint32_t>(number);
  d.Layout.resize(4);  // the partition table's four slots
  return d;
}

SimDrive& SimDisks::AddGptDisk(int number, uint64_t size) {
  SimDrive& d = NewDrive(number, size, kStyleGpt);
  d.DiskId = os::Guid{0xD15C0000u + static_cast<uint32_t>(number), 0x0001, 0x4000,
                      {0x80, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(number)}};
  return d;
}

SimDrive& SimDisks::AddRawDisk(int number, uint64_t size) { return NewDrive(number, size, kStyleRaw); }

SimDrive& SimDisks::AddUsbFlash(int number, uint64_t size) {
  SimDrive& d = AddMbrDisk(number, size);
  d.MediaType = 11;  // RemovableMedia
  d.Descriptor.Vendor = "ORV";
  d.Descriptor.Product = "USB Flash Disk";
  d.Descriptor.BusType = 7;  // BusTypeUsb
  d.Descriptor.Removable = true;
  d.Media = kSimMediaUnknown;  // a USB bridge passes neither property on
  return d;
}

SimDrive& SimDisks::AddOtherDevice(int number, uint32_t deviceType) {
  SimDrive& d = AddRawDisk(number, 0);
  d.DeviceType = deviceType;
  d.MediaType = 11;
  d.LayoutError = os::kErrorInvalidFunction;
  d.Descriptor.Product = "ORV DVD-RW";
  d.Media = kSimMediaUnknown;
  return d;
}

SimVolume& SimDisks::AddVolume(int disk, uint32_t partNum, char letter) {
  SimVolume v;
  v.Disk = disk;
  v.PartNum = partNum;
  v.Letter = letter;
  v.InterfacePath = "\\\\?\\STORAGE#Volume#{sim-" + std::to_string(++volumeSerial_) + "-disk" + std::to_string(disk) +
                    "-part" + std::to_string(partNum) + "}#" + kVolumeClassText;
  Volumes.push_back(v);
  return Volumes.back();
}

SimVolume& SimDisks::AddHiddenVolume(int disk, uint32_t partNum) {
  SimVolume& v = AddVolume(disk, partNum);
  v.Hidden = true;
  v.InterfacePath = "\\\\?\\STORAGE#HiddenVolume#{sim-" + std::to_string(volumeSerial_) + "-disk" +
                    std::to_string(disk) + "-part" + std::to_string(partNum) + "}#" + kHiddenVolumeClassText;
  return v;
}

SimDrive* SimDisks::FindDrive(int number) {
  for (SimDrive& d : Drives)
    if (d.Number == number) return &d;
  return nullptr;
}

SimVolume* SimDisks::FindVolume(int disk, uint32_t partNum) {
  for (SimVolume& v : Volumes)
    if (v.Disk == disk && v.PartNum == partNum) return &v;
  return nullptr;
}

void SimDisks::DropOrphanVolumes() {
  for (auto it = Volumes.begin(); it != Volumes.end();) {
    SimDrive* d = FindDrive(it->Disk);
    const SimPartition* p = d ? d->FindPartition(it->PartNum) : nullptr;
    if (p && p->Used())
      ++it;
    else
      it = Volumes.erase(it);
  }
}

uint32_t SimDisks::LogicalDriveMask() const {
  uint32_t mask = ForeignLetters;
  for (const SimVolume& v : Volumes)
    if (v.Letter >= 'A' && v.Letter <= 'Z') mask |= 1u << (v.Letter - 'A');
  return mask;
}

std::vector<std::string> SimDisks::InterfacePaths(const os::Guid& cls) const {
  std::vector<std::string> paths;
  const bool hidden = cls == kHiddenVolumeClass;
  if (!hidden && cls != kVolumeClass) return paths;
  for (const SimVolume& v : Volumes)
    if (v.Hidden == hidden) paths.push_back(v.InterfacePath);
  return paths;
}

uint32_t SimDrive::LowestFreeNumber(const std::vector<SimPartition>& layout) {
  uint32_t n = 1;
  for (bool taken = true; taken;) {
    taken = false;
    for (const SimPartition& e : layout)
      if (e.Number == n) {
        taken = true;
        ++n;
        break;
      }
  }
  return n;
}

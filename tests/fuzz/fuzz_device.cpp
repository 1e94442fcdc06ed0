// fuzz_device: the device-number (IOCTL_STORAGE_GET_DEVICE_NUMBER) and
// geometry (IOCTL_DISK_GET_DRIVE_GEOMETRY_EX) replies of disks and volumes,
// of any length, and the logical-drive mask, as TDisk::GetDeviceNumber,
// GetDriveGeometry, GetMediaType, GetDiskDeviceType, GetPartDriveLetter,
// ReadDriveLetterMap and ReadFixedDisks read them; and the disks' seek-penalty
// and TRIM replies (IOCTL_STORAGE_QUERY_PROPERTY), as GetDiskMediaKind reads
// them.
//
// Input: the logical-drive mask, the disk and partition asked for, the scan's
// capacity, then one reply per device and request kind (the disks
// \\.\PhysicalDrive0..3, then the volumes C: to F:; device number before
// geometry), then one reply per disk and property (seek penalty before TRIM):
// flags (bit 0: fails; bit 1: the simulated driver answers), the byte count
// returned and the bytes. A device answers every request of a kind alike.
// Properties: a query succeeds exactly when the request did and returned the
// record's fixed part, and then reports the reply's fields; a failed query
// leaves its result alone; a volume's letter is the first fixed volume of
// C..Z whose number names that disk and partition, by either lookup; the scan
// keeps exactly the fixed disks in drive order, up to its capacity, with the
// same letters; a media kind is HDD or SSD exactly when the seek-penalty
// reply covers its flag and its record's Version and Size reach it, else SSD
// exactly when the TRIM reply says so in the same way, and the scan keeps it
// with the disk; no handle is left open.
#include "fuzz_common.h"

namespace {

using fuzz::Input;
using fuzz::Le32;
using fuzz::Le64;
using fuzz::Request;
using fuzz::Seed;

constexpr uint32_t kGetNumber = 0x002D1080;
constexpr uint32_t kGetGeometry = 0x000700A0;
constexpr uint32_t kQueryProperty = 0x002D1400;
constexpr uint32_t kSeekPenalty = 7, kTrim = 8;
constexpr uint32_t kMediaFixed = 12;
constexpr uint32_t kDeviceDisk = 7;
constexpr int kDisks = 4;
constexpr char kFirstVolume = 'C', kLastVolume = 'F';

struct Reply {
  uint8_t flags = 2;  // answered by the simulated driver unless the input says otherwise
  uint16_t claimed = 0;
  std::vector<uint8_t> body;
};

std::vector<std::string> DevicePaths() {
  std::vector<std::string> paths;
  for (int n = 0; n < kDisks; ++n) paths.push_back(PhysicalDrivePath(n));
  for (char c = kFirstVolume; c <= kLastVolume; ++c) paths.push_back(VolumePath(c));
  return paths;
}

// What each device said to each request kind (a device answers every
// request of a kind alike, so the first one speaks for all).
struct Said {
  std::map<std::string, Request> number, geometry;

  explicit Said(const fuzz::FuzzPc& pc) {
    for (const Request& r : pc.requests) {
      if (r.code == kGetNumber) number.emplace(r.path, r);
      if (r.code == kGetGeometry) geometry.emplace(r.path, r);
    }
  }
  // The device's number, when its reply carries a whole one.
  std::optional<disk::StorageDeviceNumber> NumberOf(const std::string& path) const {
    auto it = number.find(path);
    if (it == number.end() || !it->second.ok || it->second.bytes < 12) return std::nullopt;
    const uint8_t* b = it->second.output.data();
    return disk::StorageDeviceNumber{Le32(b), Le32(b + 4), Le32(b + 8)};
  }
  std::optional<uint32_t> MediaOf(const std::string& path) const {
    auto it = geometry.find(path);
    if (it == geometry.end() || !it->second.ok || it->second.bytes < 24) return std::nullopt;
    return Le32(it->second.output.data() + 8);
  }
  // The letter a correct reader finds for (disk, part): the first of C..Z in
  // the mask whose volume is fixed media and numbered so.
  char Letter(uint32_t mask, int32_t diskNum, int32_t partNum) const {
    for (char c = 'C'; c <= 'Z'; ++c) {
      if (!(mask & (1u << (c - 'A')))) continue;
      const std::string path = VolumePath(c);
      if (MediaOf(path).value_or(0) != kMediaFixed) continue;
      const auto n = NumberOf(path);
      if (n && static_cast<int64_t>(n->DeviceNumber) == diskNum && static_cast<int64_t>(n->PartitionNumber) == partNum)
        return c;
    }
    return kNoDriveLetter;
  }
};

// A property reply's flag, when the bytes returned and the record's own
// Version and Size all cover it.
std::optional<bool> FlagOf(const Request& r) {
  constexpr uint32_t kFieldEnd = 9;
  if (!r.ok || r.bytes < kFieldEnd || r.output.size() < kFieldEnd) return std::nullopt;
  if (Le32(r.output.data()) < kFieldEnd || Le32(r.output.data() + 4) < kFieldEnd) return std::nullopt;
  return r.output[8] != 0;
}

// Asks the disk's media kind and checks it against the replies it got.
TMediaKind MediaKindOf(fuzz::FuzzPc& pc, int32_t diskNum) {
  const std::size_t from = pc.requests.size();
  const TMediaKind kind = GetDisk().GetDiskMediaKind(diskNum);
  std::vector<const Request*> asked;
  for (std::size_t k = from; k < pc.requests.size(); ++k) asked.push_back(&pc.requests[k]);
  FUZZ_CHECK(asked.size() == 1 || asked.size() == 2);
  for (std::size_t i = 0; i < asked.size(); ++i) {
    const Request& r = *asked[i];
    FUZZ_CHECK(r.path == PhysicalDrivePath(diskNum) && r.code == kQueryProperty && r.outSize >= 12);
    FUZZ_CHECK(r.input.size() >= 12 && Le32(r.input.data()) == (i == 0 ? kSeekPenalty : kTrim) &&
               Le32(r.input.data() + 4) == 0);
  }
  if (const std::optional<bool> seek = FlagOf(*asked[0])) {
    FUZZ_CHECK(asked.size() == 1 && kind == (*seek ? TMediaKind::Hdd : TMediaKind::Ssd));
  } else {
    FUZZ_CHECK(asked.size() == 2 && kind == (FlagOf(*asked[1]).value_or(false) ? TMediaKind::Ssd : TMediaKind::Unknown));
  }
  return kind;
}

void Run(fuzz::FuzzPc& pc, Input& in) {
  // The machine: an MBR disk, a GPT disk, a RAW disk and a USB stick, with
  // volumes C: to F: on the first two.
  SimDrive& mbr = pc.Disks.AddMbrDisk(0);
  mbr.AddPrimary(0x07, kBytesPerMb, 100 * SimDisks::kGiB);
  mbr.AddPrimary(0x84, 101 * SimDisks::kGiB, 8 * SimDisks::kGiB);
  SimDrive& gpt = pc.Disks.AddGptDisk(1);
  os::Guid data{0xEBD0A0A2, 0xB9E5, 0x4433, {0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}};
  gpt.AddGptPartition(data, kBytesPerMb, 10 * SimDisks::kGiB);
  gpt.AddGptPartition(data, 11 * SimDisks::kGiB, 10 * SimDisks::kGiB);
  pc.Disks.AddRawDisk(2);
  pc.Disks.AddUsbFlash(3);
  pc.Disks.AddVolume(0, 1, 'C');
  pc.Disks.AddVolume(0, 2, 'D');
  pc.Disks.AddVolume(1, 1, 'E');
  pc.Disks.AddVolume(1, 2, 'F');

  const uint32_t mask = in.U32();
  const int32_t askDisk = static_cast<int8_t>(in.U8());
  const int32_t askPart = static_cast<int8_t>(in.U8());
  const uint8_t scan = in.U8();
  const int32_t capacity = scan % 6;  // 0..5: fewer or more than the fixed disks
  const TLetterLookup lookup = (scan & 0x80) ? TLetterLookup::PerPartition : TLetterLookup::OncePerScan;
  const std::vector<std::string> paths = DevicePaths();
  std::map<std::pair<std::string, uint32_t>, Reply> replies;
  for (const std::string& path : paths) {
    for (uint32_t code : {kGetNumber, kGetGeometry}) {
      if (in.Empty()) break;
      Reply r;
      r.flags = in.U8();
      r.claimed = in.U8();
      r.body = in.Bytes(r.claimed);
      replies[{path, code}] = r;
    }
  }
  // Keyed by drive path and property id.
  std::map<std::pair<std::string, uint32_t>, Reply> media;
  for (int n = 0; n < kDisks; ++n) {
    for (uint32_t id : {kSeekPenalty, kTrim}) {
      if (in.Empty()) break;
      Reply r;
      r.flags = in.U8();
      r.claimed = in.U8();
      r.body = in.Bytes(r.claimed);
      media[{PhysicalDrivePath(n), id}] = r;
    }
  }
  pc.answer = [&replies, &media](const std::string& path, uint32_t code, const uint8_t* query, uint32_t querySize,
                                 uint8_t* out, uint32_t outSize, uint32_t& bytes) -> std::optional<bool> {
    const Reply* r = nullptr;
    if (code == kQueryProperty) {
      auto it = querySize >= 4 ? media.find({path, Le32(query)}) : media.end();
      if (it != media.end()) r = &it->second;
    } else {
      auto it = replies.find({path, code});
      if (it != replies.end()) r = &it->second;
    }
    if (!r || (r->flags & 2)) return std::nullopt;
    fuzz::PutReply(r->body, out, outSize);
    if (r->flags & 1) return false;
    bytes = std::min<uint32_t>(r->claimed, outSize);
    return true;
  };

  TDisk& disk = GetDisk();

  // Each device once, each request kind: the replies every later check uses.
  for (const std::string& path : paths) {
    disk::StorageDeviceNumber number{0x11111111, 0x22222222, 0x33333333};
    const disk::StorageDeviceNumber before = number;
    const bool numberOk = disk.GetDeviceNumber(path, number);
    const Request* r = &pc.requests.back();
    FUZZ_CHECK(r->path == path && r->code == kGetNumber && r->outSize >= 12);
    FUZZ_CHECK(numberOk == (r->ok && r->bytes >= 12));
    if (numberOk) {
      FUZZ_CHECK(number.DeviceType == Le32(r->output.data()) && number.DeviceNumber == Le32(r->output.data() + 4) &&
                 number.PartitionNumber == Le32(r->output.data() + 8));
    } else {
      FUZZ_CHECK(std::memcmp(&number, &before, sizeof number) == 0);
    }

    disk::DiskGeometryEx geometry;
    std::memset(&geometry, 0x3C, sizeof geometry);
    disk::DiskGeometryEx untouched = geometry;
    const bool geometryOk = disk.GetDriveGeometry(path, geometry);
    const Request* g = &pc.requests.back();
    FUZZ_CHECK(g->path == path && g->code == kGetGeometry && g->outSize >= 32);
    FUZZ_CHECK(geometryOk == (g->ok && g->bytes >= 24));
    if (geometryOk) {
      FUZZ_CHECK(std::memcmp(&geometry.Geometry, g->output.data(), 24) == 0);
      if (g->bytes >= 32) FUZZ_CHECK(static_cast<uint64_t>(geometry.DiskSize) == Le64(g->output.data() + 24));
    } else {
      FUZZ_CHECK(std::memcmp(&geometry, &untouched, sizeof geometry) == 0);
    }
    FUZZ_CHECK(disk.GetMediaType(path) == (geometryOk ? geometry.Geometry.MediaType : 0u));
  }
  const std::size_t asked = pc.requests.size();
  for (int n = 0; n < kDisks; ++n) {
    disk.GetDiskDeviceType(n);
    disk.GetDiskMediaType(n);
  }
  // Every request of a kind to a device was answered alike.
  for (std::size_t k = asked; k < pc.requests.size(); ++k) {
    const Request& again = pc.requests[k];
    for (const Request& first : pc.requests) {
      if (first.path != again.path || first.code != again.code) continue;
      FUZZ_CHECK(first.ok == again.ok && first.bytes == again.bytes && first.output == again.output);
      break;
    }
  }
  pc.requests.resize(asked);
  const Said said(pc);
  for (int n = 0; n < kDisks; ++n) MediaKindOf(pc, n);
  for (int n = 0; n < kDisks; ++n) {
    const auto number = said.NumberOf(PhysicalDrivePath(n));
    FUZZ_CHECK(disk.GetDiskDeviceType(n) == (number ? number->DeviceType : 0x22u));
    FUZZ_CHECK(disk.GetDiskMediaType(n) == said.MediaOf(PhysicalDrivePath(n)).value_or(0));
  }

  // Letters: the mask is the fuzzer's; letters without a volume fail to open.
  pc.logicalDrives = mask;
  const uint32_t effective = mask;
  const char letter = disk.GetPartDriveLetter(askDisk, askPart);
  FUZZ_CHECK(letter == said.Letter(effective, askDisk, askPart));
  const TDriveLetterMap map = disk.ReadDriveLetterMap();
  FUZZ_CHECK(map.Find(askDisk, askPart) == letter);
  for (int n = 0; n < kDisks; ++n)
    for (int32_t p = 0; p <= 3; ++p) FUZZ_CHECK(map.Find(n, p) == said.Letter(effective, n, p));

  // The scan keeps the fixed disks in drive order, and letters by either lookup.
  std::vector<int32_t> fixed;
  for (int n = 0; n < kDisks; ++n) {
    const auto number = said.NumberOf(PhysicalDrivePath(n));
    if (number && number->DeviceType == kDeviceDisk && said.MediaOf(PhysicalDrivePath(n)) == kMediaFixed)
      fixed.push_back(n);
  }
  if (fixed.size() > static_cast<std::size_t>(capacity)) fixed.resize(static_cast<std::size_t>(capacity));
  constexpr std::size_t kRoom = 6;
  static auto* disks = static_cast<_DiskInfo*>(::operator new(sizeof(_DiskInfo) * kRoom));
  static auto* pattern = [] {
    auto* p = static_cast<_DiskInfo*>(::operator new(sizeof(_DiskInfo) * kRoom));
    std::memset(p, 0x6B, sizeof(_DiskInfo) * kRoom);
    return p;
  }();
  {
    std::memcpy(disks, pattern, sizeof(_DiskInfo) * kRoom);
    const int32_t count = disk.ReadFixedDisks(disks, capacity, lookup);
    FUZZ_CHECK(count == static_cast<int32_t>(fixed.size()));
    for (int32_t i = 0; i < count; ++i) {
      FUZZ_CHECK(disks[i].DiskNum == fixed[static_cast<std::size_t>(i)]);
      FUZZ_CHECK(disks[i].PartCount <= kMaxPartsPerDisk);
      for (uint32_t j = 0; j < disks[i].PartCount; ++j)
        FUZZ_CHECK(disks[i].PartInfo[j].PartDriveLetter ==
                   said.Letter(effective, disks[i].DiskNum, disks[i].PartInfo[j].PartNum));
    }
    for (int32_t i = 0; i < count; ++i) FUZZ_CHECK(disks[i].MediaKind == MediaKindOf(pc, disks[i].DiskNum));
    // Nothing is written past the capacity.
    FUZZ_CHECK(std::memcmp(disks + capacity, pattern + capacity,
                           sizeof(_DiskInfo) * (kRoom - static_cast<std::size_t>(capacity))) == 0);
  }
  FUZZ_CHECK(pc.OpenHandles() == 0);
}

// ---- seeds: the simulated driver's own replies, whole and cut short ----

void WriteSeeds(const std::string& dir) {
  fuzz::FuzzPc pc;
  ScopedOs seam(pc);
  // Learn the simulated replies by running once with all of them passed through.
  const std::vector<uint8_t> probe = {0x3C, 0, 0, 0, 1, 1, 5};  // C: to F:, disk 1, partition 1, room for five
  {
    Input in(probe.data(), probe.size());
    Run(pc, in);
  }
  std::map<std::pair<std::string, uint32_t>, std::vector<uint8_t>> sim;
  for (const Request& r : pc.requests)
    if ((r.code == kGetNumber || r.code == kGetGeometry) && r.ok && !sim.count({r.path, r.code}))
      sim[{r.path, r.code}] = std::vector<uint8_t>(r.output.begin(), r.output.begin() + r.bytes);
  fuzz::ResetServices();

  auto seed = [&](const char* name, uint32_t mask, int cut, bool failGeometry, const Seed* mediaReplies = nullptr) {
    Seed s;
    s.U32(mask).U8(1).U8(2).U8(mask == 0x3C ? 4 : 0x80 | 5);
    for (const std::string& path : DevicePaths()) {
      for (uint32_t code : {kGetNumber, kGetGeometry}) {
        std::vector<uint8_t> body = sim[{path, code}];
        const bool fails = failGeometry && code == kGetGeometry && path == VolumePath('D');
        if (cut && body.size() > static_cast<std::size_t>(cut)) body.resize(body.size() - static_cast<std::size_t>(cut));
        s.U8(fails ? 1 : 0).U8(static_cast<uint8_t>(body.size())).Bytes(body);
      }
    }
    if (mediaReplies) s.Bytes(mediaReplies->data);
    fuzz::SaveSeed(dir, name, s);
  };
  seed("sim-replies", 0x3C, 0, false);
  seed("sim-replies-cut-by-4", 0x3C, 4, false);
  seed("sim-replies-cut-by-9", 0x3C, 9, false);
  seed("sim-replies-cut-by-20", 0x3C, 20, false);
  seed("volume-geometry-fails", 0x00F0002C, 0, true);
  // Seek-penalty and TRIM replies, per disk: flags, byte count, bytes.
  auto record = [](uint32_t size, uint8_t flag, std::size_t keep) {
    std::vector<uint8_t> r = {uint8_t(size), 0, 0, 0, uint8_t(size), 0, 0, 0, flag, 0, 0, 0};
    r.resize(std::min(keep, r.size()));
    return r;
  };
  Seed simulatedMedia;
  for (int i = 0; i < 2 * kDisks; ++i) simulatedMedia.U8(2).U8(0);
  seed("media-simulated", 0x3C, 0, false, &simulatedMedia);
  Seed media;
  const std::vector<uint8_t> replies[2 * kDisks] = {
      record(12, 0, 12), record(12, 1, 12),  // disk 0: no seek penalty
      record(12, 1, 12), record(12, 0, 12),  // disk 1: a seek penalty
      {},                record(12, 1, 12),  // disk 2: the first request fails, TRIM is on
      record(12, 1, 8),  record(12, 1, 8),   // disk 3: headers only
  };
  for (int i = 0; i < 2 * kDisks; ++i)
    media.U8(i == 4 ? 1 : 0).U8(static_cast<uint8_t>(replies[i].size())).Bytes(replies[i]);
  seed("media-replies", 0x3C, 0, false, &media);
  Seed shortRecords;
  for (int i = 0; i < 2 * kDisks; ++i) {
    const std::vector<uint8_t> r = record(i < 4 ? 8 : 9, 1, 12);
    shortRecords.U8(0).U8(static_cast<uint8_t>(r.size())).Bytes(r);
  }
  seed("media-records-claim-less", 0x3C, 0, false, &shortRecords);
  Seed passThrough;
  passThrough.Bytes(probe);
  fuzz::SaveSeed(dir, "simulated-driver", passThrough);
}

}  // namespace

FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return fuzz::RunOnFreshPc<fuzz::FuzzPc>(data, size, Run);
}

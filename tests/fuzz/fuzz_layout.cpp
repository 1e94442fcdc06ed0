// fuzz_layout: the drive-layout reply (IOCTL_DISK_GET_DRIVE_LAYOUT_EX), MBR,
// GPT or anything else, of any size and any PartitionCount, as the disk scan
// and the GPT edits read it.
//
// Input: mode, machine, edit arguments, then the layout replies in the order
// the program asks for them (flags, 16-bit length, bytes); the last reply
// answers every later request. Modes:
//   0  TDiskModel::ScanDisks and FindRapidStartPart, twice, on 1..4 fixed disks
//   1  TDisk::GetDiskInfo with per-partition letters and with a letter map
//   2  TDisk::SetGptPartitionType   3  TDisk::DeleteGptPartition
// Properties: every stored partition is an entry with a non-zero number that
// lies inside the bytes returned, in entry order, its fields copied from
// there; PartCount <= 128 and <= what both the header and the reply cover; an
// unreadable layout leaves GetDiskInfo's record untouched and becomes an
// Unknown disk in a scan; the letters are those of the volumes on that very
// partition, the same by either lookup; the Rapid Start indices name the
// first Rapid Start partition; the log lists exactly the stored partitions;
// a layout write is sent only after a full GPT read, through a handle opened
// for writing, and differs from what was read exactly in the edited entries;
// no handle is left open.
#include <map>
#include <memory>
#include <new>

#include "disk/disk_model.h"
#include "disk/part_identity.h"
#include "fuzz_common.h"

namespace {

using fuzz::Input;
using fuzz::Le32;
using fuzz::Le64;
using fuzz::Request;
using fuzz::Seed;

constexpr uint32_t kHeader = 48;
constexpr uint32_t kEntry = 144;
constexpr uint32_t kBuffer = 18624;
constexpr uint32_t kGetLayout = 0x00070050;
constexpr uint32_t kSetLayout = 0x0007C054;

struct Reply {
  uint8_t flags = 0;  // bit 0: the request fails; bit 1: a failing driver writes the bytes anyway
  std::vector<uint8_t> body;
};

// The entries a correct reader stores from a reply: numbered entries among
// those both the header's count and the bytes returned cover, 128 at most.
std::vector<uint32_t> StoredEntries(const Request& r) {
  std::vector<uint32_t> stored;
  const uint8_t* b = r.output.data();
  const uint32_t bytes = std::min(r.bytes, kBuffer);
  const uint32_t covered = bytes < kHeader ? 0 : (bytes - kHeader) / kEntry;
  const uint32_t count = std::min(Le32(b + 4), covered);
  for (uint32_t e = 0; e < count && stored.size() < kMaxPartsPerDisk; ++e)
    if (Le32(b + kHeader + kEntry * e + 24) != 0) stored.push_back(e);
  return stored;
}

// The letter of the fixed volume on each (disk, part), from the machine
// itself: the first in C..Z order.
using LetterTable = std::map<std::pair<int32_t, int64_t>, char>;
LetterTable ExpectedLetters(SimPc& pc) {
  LetterTable table;
  for (char letter = 'Z'; letter >= 'C'; --letter)
    for (const SimVolume& v : pc.Disks.Volumes)
      if (v.Letter == letter && !v.DeviceNumberFails && pc.Disks.FindDrive(v.Disk) &&
          pc.Disks.FindDrive(v.Disk)->MediaType == 12)
        table[{v.Disk, v.PartNum}] = letter;
  return table;
}

char Find(const LetterTable& table, int32_t diskNum, int32_t partNum) {
  auto it = table.find({diskNum, partNum});
  return it == table.end() ? kNoDriveLetter : it->second;
}

// A record read from reply r matches it field for field.
void CheckRecord(const LetterTable& letters, const _DiskInfo& info, int32_t diskNum, const Request& r) {
  FUZZ_CHECK(r.ok && r.bytes >= kHeader);
  const uint8_t* b = r.output.data();
  FUZZ_CHECK(info.DiskNum == diskNum);
  FUZZ_CHECK(info.PartitionStyle == static_cast<int32_t>(Le32(b)));
  const std::vector<uint32_t> stored = StoredEntries(r);
  FUZZ_CHECK(info.PartCount == stored.size());
  FUZZ_CHECK(info.PartCount <= kMaxPartsPerDisk);
  FUZZ_CHECK(info.PartCount <= Le32(b + 4));
  for (uint32_t j = 0; j < info.PartCount; ++j) {
    const uint32_t at = kHeader + kEntry * stored[j];
    FUZZ_CHECK(at + kEntry <= r.bytes);  // inside the bytes returned
    const uint8_t* e = b + at;
    const _PartInfo& p = info.PartInfo[j];
    FUZZ_CHECK(p.DiskNum == diskNum);
    FUZZ_CHECK(p.PartNum != 0);
    FUZZ_CHECK(static_cast<uint32_t>(p.PartNum) == Le32(e + 24));
    FUZZ_CHECK(p.PartOffset == Le64(e + 8));
    FUZZ_CHECK(p.PartLen == Le64(e + 16));
    const uint32_t style = Le32(e);
    uint8_t zeros[112] = {};
    FUZZ_CHECK(std::memcmp(&p.Mbr, style == 0 ? e + 32 : zeros, sizeof p.Mbr) == 0);
    FUZZ_CHECK(std::memcmp(&p.Gpt, style == 1 ? e + 32 : zeros, sizeof p.Gpt) == 0);
    FUZZ_CHECK(p.PartDriveLetter == Find(letters, diskNum, p.PartNum));
  }
}

bool IsRapid(int32_t style, const _PartInfo& p) {
  static const os::Guid rapid = [] {
    os::Guid g{};
    disk::ParseGuidText("{D3BFE2DE-3DAF-11DF-BA40-E3A556D89593}", g);
    return g;
  }();
  return style == 1 ? std::memcmp(&p.Gpt.PartitionType, &rapid, sizeof rapid) == 0 : p.Mbr.PartitionType == 0x84;
}

std::vector<Reply> ReadReplies(Input& in) {
  std::vector<Reply> replies;
  while (!in.Empty() && replies.size() < 64) {
    Reply r;
    r.flags = in.U8();
    r.body = in.Blob();
    replies.push_back(std::move(r));
  }
  return replies;
}

// Answers layout reads from the replies in turn, and (when given) layout
// writes with writeOk.
void AnswerLayouts(fuzz::FuzzPc& pc, const std::vector<Reply>& replies, std::size_t& next, bool writeOk) {
  pc.answer = [&replies, &next, writeOk](const std::string&, uint32_t code, const uint8_t*, uint32_t, uint8_t* out,
                                         uint32_t outSize, uint32_t& bytes) -> std::optional<bool> {
    if (code == kSetLayout) return writeOk;
    if (code != kGetLayout) return std::nullopt;
    if (replies.empty()) return false;
    const Reply& r = replies[std::min(next++, replies.size() - 1)];
    if (r.flags & 1) {
      if (r.flags & 2) fuzz::PutReply(r.body, out, outSize);
      bytes = 0;
      return false;
    }
    bytes = fuzz::PutReply(r.body, out, outSize);
    return true;
  };
}

constexpr int32_t kScanDrives[] = {0, 1, 7, 63};

void RunScan(fuzz::FuzzPc& pc, Input& in) {
  const uint8_t machine = in.U8();
  const int drives = 1 + (machine & 3);
  // A second scan into the same model must not let the first one's disks
  // speak for the new replies.
  const int scans = (machine & 4) ? 2 : 1;
  for (int i = 0; i < drives; ++i) {
    const int32_t n = kScanDrives[i];
    if (i == 2)
      pc.Disks.AddRawDisk(n);
    else if (i == 3)
      pc.Disks.AddMbrDisk(n);
    else
      pc.Disks.AddGptDisk(n);
    pc.Disks.AddVolume(n, 1, static_cast<char>('C' + 2 * i));
    pc.Disks.AddVolume(n, 2, static_cast<char>('D' + 2 * i));
    pc.Disks.AddHiddenVolume(n, 3);
  }
  pc.Disks.AddUsbFlash(9);              // removable media: never scanned
  pc.Disks.AddOtherDevice(10, 0x02);     // an optical drive: never scanned
  const std::vector<Reply> replies = ReadReplies(in);
  std::size_t next = 0;
  AnswerLayouts(pc, replies, next, false);
  const LetterTable letters = ExpectedLetters(pc);

  // The model is 1.2 MB: made afresh in place each run, not mapped anew.
  static auto* storage = static_cast<TDiskModel*>(::operator new(sizeof(TDiskModel)));
  TDiskModel* model = new (storage) TDiskModel();
  for (int scan = 0; scan < scans; ++scan) {
    const std::size_t firstRequest = pc.requests.size();
    model->ScanDisks();
    const bool found = model->FindRapidStartPart();

    FUZZ_CHECK(model->DiskCount == drives);
    std::vector<const Request*> reads;
    for (std::size_t k = firstRequest; k < pc.requests.size(); ++k)
      if (pc.requests[k].code == kGetLayout) reads.push_back(&pc.requests[k]);
    FUZZ_CHECK(reads.size() == static_cast<std::size_t>(drives));
    uint32_t storedParts = 0;
    for (int d = 0; d < drives; ++d) {
      const _DiskInfo& info = model->DiskInfo[d];
      const Request& r = *reads[static_cast<std::size_t>(d)];
      FUZZ_CHECK(r.path == PhysicalDrivePath(kScanDrives[d]));
      if (r.ok && r.bytes >= kHeader) {
        CheckRecord(letters, info, kScanDrives[d], r);
      } else {
        FUZZ_CHECK(info.DiskNum == kScanDrives[d]);
        FUZZ_CHECK(info.PartitionStyle == kPartitionStyleUnknown);
        FUZZ_CHECK(info.PartCount == 0);
      }
      storedParts += info.PartCount;
    }

    // The first Rapid Start partition in disk, then partition, order.
    int32_t wantDisk = -1, wantPart = -1;
    for (int d = 0; d < drives && wantDisk < 0; ++d)
      for (uint32_t j = 0; j < model->DiskInfo[d].PartCount && wantDisk < 0; ++j)
        if (IsRapid(model->DiskInfo[d].PartitionStyle, model->DiskInfo[d].PartInfo[j])) {
          wantDisk = d;
          wantPart = static_cast<int32_t>(j);
        }
    FUZZ_CHECK(found == (wantDisk >= 0));
    FUZZ_CHECK(model->RapidStartDiskIndex == wantDisk && model->RapidStartPartIndex == wantPart);
    FUZZ_CHECK((model->RapidStartPart() != nullptr) == found);

    // The log names every disk and every stored partition, and nothing more.
    uint32_t diskLines = 0, partLines = 0;
    for (const std::string& line : GetDebugConsole().PendingLines()) {
      if (line.rfind("DiskIndex=", 0) == 0) ++diskLines;
      if (line.rfind("PartIndex=", 0) == 0) ++partLines;
    }
    FUZZ_CHECK(diskLines == static_cast<uint32_t>(drives));
    FUZZ_CHECK(partLines == storedParts);
    FUZZ_CHECK(pc.OpenHandles() == 0);
    ReleaseDebugConsole();
  }
}

void RunDiskInfo(fuzz::FuzzPc& pc, Input& in) {
  const int32_t diskNum = in.U8() % 64;
  pc.Disks.AddGptDisk(diskNum);
  pc.Disks.AddVolume(diskNum, 2, 'D');
  pc.Disks.AddHiddenVolume(diskNum, 1);
  // The same partition number on another disk must not lend its letter.
  const int32_t other = (diskNum + 1) % 64;
  pc.Disks.AddMbrDisk(other);
  pc.Disks.AddVolume(other, 1, 'C');
  const std::vector<Reply> replies = ReadReplies(in);
  std::size_t next = 0;
  AnswerLayouts(pc, replies, next, false);
  const LetterTable letters = ExpectedLetters(pc);

  TDisk& disk = GetDisk();
  auto byPartition = std::make_unique<_DiskInfo>();
  auto byMap = std::make_unique<_DiskInfo>();
  std::memset(byPartition.get(), 0x5C, sizeof(_DiskInfo));
  std::memset(byMap.get(), 0x5C, sizeof(_DiskInfo));
  const auto untouched = std::make_unique<_DiskInfo>(*byPartition);

  const bool ok1 = disk.GetDiskInfo(*byPartition, diskNum);
  const TDriveLetterMap map = disk.ReadDriveLetterMap();
  const bool ok2 = disk.GetDiskInfo(*byMap, diskNum, map);

  const std::vector<const Request*> reads = pc.RequestsFor(kGetLayout);
  FUZZ_CHECK(reads.size() == 2);
  for (int k = 0; k < 2; ++k) {
    const Request& r = *reads[static_cast<std::size_t>(k)];
    const _DiskInfo& info = k == 0 ? *byPartition : *byMap;
    const bool ok = k == 0 ? ok1 : ok2;
    FUZZ_CHECK(ok == (r.ok && r.bytes >= kHeader));
    if (!ok) {
      FUZZ_CHECK(std::memcmp(&info, untouched.get(), sizeof info) == 0);
      continue;
    }
    CheckRecord(letters, info, diskNum, r);
    // Entries past the stored ones are not written.
    for (uint32_t j = info.PartCount; j < kMaxPartsPerDisk; ++j)
      FUZZ_CHECK(std::memcmp(&info.PartInfo[j], &untouched->PartInfo[j], sizeof(_PartInfo)) == 0);
  }
  FUZZ_CHECK(pc.OpenHandles() == 0);
}

void RunEdit(fuzz::FuzzPc& pc, Input& in, bool setType) {
  const int32_t diskNum = static_cast<int8_t>(in.U8());
  const int32_t partNum = static_cast<int32_t>(in.U32());
  const uint8_t flags = in.U8();  // bit 0: CoCreateGuid fails; bit 1: the driver refuses the write
  os::Guid type{};
  const std::vector<uint8_t> typeBytes = in.Bytes(sizeof type);
  if (!typeBytes.empty()) std::memcpy(&type, typeBytes.data(), typeBytes.size());
  pc.Disks.AddGptDisk(diskNum & 63);
  const std::vector<Reply> replies = ReadReplies(in);
  std::size_t next = 0;
  AnswerLayouts(pc, replies, next, !(flags & 2));
  if (setType && (flags & 1)) pc.FailNth(Call::CoCreateGuid, 1, os::kErrorGenFailure);

  TDisk& disk = GetDisk();
  const bool result = setType ? disk.SetGptPartitionType(diskNum, partNum, type) : disk.DeleteGptPartition(diskNum, partNum);

  const std::vector<const Request*> reads = pc.RequestsFor(kGetLayout);
  const std::vector<const Request*> writes = pc.RequestsFor(kSetLayout);
  FUZZ_CHECK(reads.size() <= 1);
  FUZZ_CHECK(writes.size() <= 1);
  const bool pathOk = diskNum >= 0 && diskNum <= 63;
  const bool guidOk = !setType || !(flags & 1);
  if (!pathOk || !guidOk) {
    FUZZ_CHECK(reads.empty() && writes.empty() && !result);
    FUZZ_CHECK(pc.OpenHandles() == 0);
    return;
  }
  FUZZ_CHECK(reads.size() == 1);
  const Request& read = *reads[0];
  const uint8_t* b = read.output.data();
  const bool trusted = read.ok && read.bytes >= kHeader &&
                       Le32(b + 4) <= (std::min(read.bytes, kBuffer) - kHeader) / kEntry && Le32(b) == 1;
  if (!trusted) {
    FUZZ_CHECK(writes.empty());
    FUZZ_CHECK(!result);
    FUZZ_CHECK(pc.OpenHandles() == 0);
    return;
  }
  FUZZ_CHECK(writes.size() == 1);
  const Request& write = *writes[0];
  FUZZ_CHECK(write.path == read.path);
  FUZZ_CHECK((write.access & os::kGenericWrite) != 0);
  FUZZ_CHECK(write.input.size() == kBuffer);
  FUZZ_CHECK(result == write.ok);

  // What was read, with exactly the entries numbered partNum edited; what
  // the driver did not return goes back as zeros.
  std::vector<uint8_t> want(read.output.begin(), read.output.begin() + read.bytes);
  want.resize(kBuffer, 0);
  const uint32_t count = Le32(b + 4);
  for (uint32_t e = 0; e < count; ++e) {
    uint8_t* entry = want.data() + kHeader + kEntry * e;
    const uint32_t number = Le32(entry + 24);
    if (number == 0 || static_cast<int64_t>(number) != partNum) continue;
    if (setType) {
      FUZZ_CHECK(pc.guids.size() == 1);
      std::memcpy(entry + 32, &type, 16);
      std::memcpy(entry + 48, &pc.guids[0], 16);
    } else {
      std::memset(entry, 0, kEntry);
    }
  }
  FUZZ_CHECK(write.input == want);
  FUZZ_CHECK(pc.OpenHandles() == 0);
}

// ---- seeds: the simulated PC's own layout replies ----

std::vector<uint8_t> SimLayout(SimDrive& drive) {
  SimPc pc;
  pc.Disks.Drives.push_back(drive);
  ScopedOs seam(pc);
  std::vector<uint8_t> out(kBuffer);
  uint32_t bytes = 0;
  if (!GetDisk().GetDriveLayout(PhysicalDrivePath(drive.Number), out.data(), kBuffer, &bytes)) bytes = 0;
  ReleaseDisk();
  out.resize(bytes);
  return out;
}

void WriteSeeds(const std::string& dir) {
  const uint64_t kMiB = kBytesPerMb, kGiB = SimDisks::kGiB;
  os::Guid data{}, rapid{}, efi{};
  disk::ParseGuidText("{EBD0A0A2-B9E5-4433-87C0-68B6B72699C7}", data);
  disk::ParseGuidText("{D3BFE2DE-3DAF-11DF-BA40-E3A556D89593}", rapid);
  disk::ParseGuidText("{C12A7328-F81F-11D2-BA4B-00A0C93EC93B}", efi);

  SimDisks disks;
  SimDrive& mbr = disks.AddMbrDisk(0);
  mbr.AddPrimary(0x07, kMiB, 100 * kGiB, true);
  mbr.AddPrimary(0x84, 101 * kGiB, 8 * kGiB);
  mbr.AddExtended(110 * kGiB, 100 * kGiB);
  mbr.AddLogical(0x07, 110 * kGiB + kMiB, 40 * kGiB);
  mbr.AddLogical(0x0B, 151 * kGiB, 40 * kGiB);
  SimDrive& gpt = disks.AddGptDisk(1);
  gpt.AddGptPartition(efi, kMiB, 100 * kMiB, u"EFI system partition");
  gpt.AddGptPartition(data, 101 * kMiB, 200 * kGiB, u"Basic data partition");
  gpt.AddGptPartition(rapid, 201 * kGiB, 16 * kGiB, u"Rapid Start");
  SimDrive& full = disks.AddGptDisk(2, 2048 * kGiB);
  for (int p = 0; p < 128; ++p) full.AddGptPartition(p == 100 ? rapid : data, kMiB + p * 8 * kGiB, 4 * kGiB);
  SimDrive& raw = disks.AddRawDisk(3);

  const std::vector<uint8_t> mbrReply = SimLayout(mbr), gptReply = SimLayout(gpt), fullReply = SimLayout(full),
                             rawReply = SimLayout(raw);
  std::vector<uint8_t> shortReply(gptReply.begin(), gptReply.begin() + kHeader + kEntry + 7);
  std::vector<uint8_t> header(gptReply.begin(), gptReply.begin() + 40);
  std::vector<uint8_t> overclaim = gptReply;
  overclaim[4] = 200;

  auto scan = [](int drives, bool twice, const std::vector<std::vector<uint8_t>>& replies) {
    Seed s;
    s.U8(0).U8(static_cast<uint8_t>((twice ? 4 : 0) | (drives - 1)));
    for (const auto& r : replies) s.U8(0).Blob(r);
    return s;
  };
  fuzz::SaveSeed(dir, "scan-mbr-gpt-raw-full", scan(4, false, {mbrReply, gptReply, rawReply, fullReply}));
  fuzz::SaveSeed(dir, "scan-twice-short-replies", scan(3, true, {gptReply, shortReply, header, mbrReply, rawReply}));
  Seed failed = scan(2, true, {});
  failed.U8(3).Blob(gptReply);
  fuzz::SaveSeed(dir, "scan-read-fails", failed);

  auto info = [](uint8_t diskNum, const std::vector<uint8_t>& reply) {
    Seed s;
    s.U8(1).U8(diskNum).U8(0).Blob(reply);
    return s;
  };
  fuzz::SaveSeed(dir, "info-mbr", info(0, mbrReply));
  fuzz::SaveSeed(dir, "info-gpt", info(5, gptReply));
  fuzz::SaveSeed(dir, "info-gpt-128", info(2, fullReply));
  fuzz::SaveSeed(dir, "info-raw", info(63, rawReply));
  fuzz::SaveSeed(dir, "info-overclaim", info(1, overclaim));

  auto edit = [&rapid](uint8_t mode, uint8_t diskNum, uint32_t partNum, const std::vector<uint8_t>& reply) {
    Seed s;
    s.U8(mode).U8(diskNum).U32(partNum).U8(0);
    s.Bytes(std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(&rapid),
                                 reinterpret_cast<const uint8_t*>(&rapid) + sizeof rapid));
    s.U8(0).Blob(reply);
    return s;
  };
  fuzz::SaveSeed(dir, "settype-gpt", edit(2, 1, 2, gptReply));
  fuzz::SaveSeed(dir, "settype-gpt-128", edit(2, 2, 128, fullReply));
  fuzz::SaveSeed(dir, "settype-mbr", edit(2, 0, 2, mbrReply));
  fuzz::SaveSeed(dir, "delete-gpt", edit(3, 1, 3, gptReply));
  fuzz::SaveSeed(dir, "delete-overclaim", edit(3, 1, 1, overclaim));
  fuzz::SaveSeed(dir, "delete-short", edit(3, 1, 1, shortReply));
}

}  // namespace

FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return fuzz::RunOnFreshPc<fuzz::FuzzPc>(data, size, [](fuzz::FuzzPc& pc, Input& in) {
    switch (in.U8() % 4) {
      case 0: RunScan(pc, in); break;
      case 1: RunDiskInfo(pc, in); break;
      case 2: RunEdit(pc, in, true); break;
      default: RunEdit(pc, in, false); break;
    }
  });
}

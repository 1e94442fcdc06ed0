// fuzz_interface: the SetupAPI interface detail block (the DevicePath text
// the system writes into SP_DEVICE_INTERFACE_DETAIL_DATA_A), of any length,
// terminated or not, as TDisk::FindVolumeInterface and GetPartitionVolumePath
// read it, and the MBR edits that act on the volume found.
//
// Input: disk and partition number, how many interfaces each class (volumes,
// hidden volumes) has, which edit follows, then one record per interface,
// visible ones first: flags (bit 0: the detail call fails; bit 1: the text is
// terminated; bit 2: the text is the interface path of one of the machine's
// volumes) and the text's bytes.
// Properties: no interface is looked at for a disk outside 0..63 or a
// partition below 1; each interface's path (as far as its terminator, or the
// end of the block) is opened in enumeration order, hidden volumes only when
// no visible one matched; the result is the last interface whose device
// number names that disk and partition, never longer than the block holds;
// the program hands SetupAPI well-formed records; the edit goes to exactly
// that volume, or nowhere when none was found; every device set is destroyed
// and no handle is left open.
//
// Then the firmware check's ACPI devices: a count, and per device flags (bit 0:
// no hardware ids; bit 1: not present; bit 2: a REG_SZ value; bit 3: a
// REG_BINARY one) and the hardware-id bytes, any bytes, terminated or not.
// Property: the firmware is Present exactly when a present device's id list,
// read within its bytes up to its first empty string, holds ACPI\INT3392 in
// any letter case, Absent otherwise; the list is destroyed.
#include <cctype>

#include "disk/part_identity.h"
#include "fuzz_common.h"
#include "sys/firmware.h"

namespace {

using fuzz::Input;
using fuzz::Le32;
using fuzz::Request;
using fuzz::Seed;

constexpr uint32_t kGetNumber = 0x002D1080;
constexpr uint32_t kSetPartitionInfo = 0x0007C04C;
constexpr uint32_t kDetailBytes = 1024;

struct Record {
  uint8_t flags = 0;
  std::vector<uint8_t> text;
};

class DetailPc : public fuzz::FuzzPc {
 public:
  std::vector<Record> classes[2];  // visible, hidden
  int setsOpen = 0;

  os::Handle SetupDiGetClassDevsA(const os::Guid& cls, uint32_t flags) override {
    const os::Handle set = FuzzPc::SetupDiGetClassDevsA(cls, flags);
    FUZZ_CHECK(flags == 0x12);  // present devices, by interface class
    if (set != os::kInvalid) {
      sets_[set] = cls == kGuidDevInterfaceHiddenVolume ? 1 : 0;
      FUZZ_CHECK(cls == kGuidDevInterfaceVolume || cls == kGuidDevInterfaceHiddenVolume);
      ++setsOpen;
    }
    return set;
  }

  bool SetupDiEnumDeviceInterfaces(os::Handle set, const os::Guid& cls, uint32_t index,
                                   os::SpDeviceInterfaceData& data) override {
    auto it = sets_.find(set);
    FUZZ_CHECK(it != sets_.end());
    FUZZ_CHECK(data.cbSize == sizeof(os::SpDeviceInterfaceData));
    if (index >= classes[it->second].size()) {
      SetLastError(os::kErrorNoMoreItems);
      return false;
    }
    data.InterfaceClassGuid = cls;
    data.Flags = 1;
    data.Reserved = index + 1;
    return true;
  }

  bool SetupDiGetDeviceInterfaceDetailA(os::Handle set, const os::SpDeviceInterfaceData& data, void* detail,
                                        uint32_t detailSize) override {
    auto it = sets_.find(set);
    FUZZ_CHECK(it != sets_.end());
    FUZZ_CHECK(data.Reserved >= 1 && data.Reserved <= classes[it->second].size());
    FUZZ_CHECK(detail && detailSize == kDetailBytes);
    uint8_t* bytes = static_cast<uint8_t*>(detail);
    FUZZ_CHECK(Le32(bytes) == disk::kInterfaceDetailCbSize);
    const Record& r = classes[it->second][data.Reserved - 1];
    if (r.flags & 1) {
      SetLastError(os::kErrorInsufficientBuffer);
      return false;
    }
    const std::size_t n = std::min<std::size_t>(r.text.size(), detailSize - 4);
    if (n) std::memcpy(bytes + 4, r.text.data(), n);
    std::memset(bytes + 4 + n, fuzz::kUnreturned, detailSize - 4 - n);
    if ((r.flags & 2) && 4 + n < detailSize) bytes[4 + n] = 0;
    return true;
  }

  bool SetupDiDestroyDeviceInfoList(os::Handle set) override {
    if (sets_.erase(set)) --setsOpen;
    return FuzzPc::SetupDiDestroyDeviceInfoList(set);
  }

 private:
  std::map<os::Handle, int> sets_;  // open set -> class
};

// The path a reader finds in the block the record fills.
std::string PathOf(const Record& r) {
  std::vector<uint8_t> block(kDetailBytes - 4, fuzz::kUnreturned);
  const std::size_t n = std::min(r.text.size(), block.size());
  std::copy(r.text.begin(), r.text.begin() + static_cast<std::ptrdiff_t>(n), block.begin());
  if ((r.flags & 2) && n < block.size()) block[n] = 0;
  const auto end = std::find(block.begin(), block.end(), 0);
  return std::string(block.begin(), end);
}

void Run(DetailPc& pc, Input& in) {
  // Volumes on a GPT and an MBR disk: with and without letters, hidden, and
  // one whose device number cannot be read (a spanned volume).
  SimDrive& gpt = pc.Disks.AddGptDisk(0);
  const os::Guid data{0xEBD0A0A2, 0xB9E5, 0x4433, {0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}};
  for (int p = 0; p < 3; ++p) gpt.AddGptPartition(data, kBytesPerMb + p * SimDisks::kGiB, SimDisks::kGiB);
  SimDrive& mbr = pc.Disks.AddMbrDisk(1);
  mbr.AddPrimary(0x07, kBytesPerMb, SimDisks::kGiB);
  mbr.AddPrimary(0x84, 2 * SimDisks::kGiB, SimDisks::kGiB);
  pc.Disks.AddVolume(0, 1, 'C');
  pc.Disks.AddVolume(0, 2);
  pc.Disks.AddHiddenVolume(0, 3);
  pc.Disks.AddVolume(1, 1, 'D');
  pc.Disks.AddVolume(1, 2).DeviceNumberFails = true;

  const int32_t diskNum = static_cast<int8_t>(in.U8());
  const int32_t partNum = static_cast<int8_t>(in.U8());
  const uint8_t counts = in.U8();
  const uint8_t edit = in.U8() % 3;  // 0 none, 1 DeletePartition, 2 SetMbrPartitionType
  const std::size_t visible = counts & 7, hidden = (counts >> 3) & 7;
  for (std::size_t c = 0; c < 2; ++c) {
    for (std::size_t i = 0; i < (c == 0 ? visible : hidden); ++i) {
      Record r;
      r.flags = in.U8();
      r.text = in.Blob();
      if (r.flags & 4) {
        const SimVolume& v = pc.Disks.Volumes[r.text.size() % pc.Disks.Volumes.size()];
        r.text.assign(v.InterfacePath.begin(), v.InterfacePath.end());
      }
      pc.classes[c].push_back(r);
    }
  }
  pc.answer = [](const std::string&, uint32_t code, const uint8_t*, uint32_t, uint8_t*, uint32_t,
                 uint32_t&) -> std::optional<bool> {
    if (code == kSetPartitionInfo) return true;  // the edit is recorded, not applied
    return std::nullopt;
  };

  TDisk& disk = GetDisk();
  const std::string found = disk.GetPartitionVolumePath(diskNum, partNum);
  FUZZ_CHECK(found.size() <= kDetailBytes - 4);
  FUZZ_CHECK(found.find('\0') == std::string::npos);

  if (diskNum < 0 || diskNum > 63 || partNum < 1) {
    FUZZ_CHECK(found.empty());
    FUZZ_CHECK(pc.Count(Call::SetupDiGetClassDevsA) == 0);
  } else {
    // Replay the enumeration: which paths a correct reader opens, and what it finds.
    std::vector<std::string> wantOpens;
    std::string want;
    for (int c = 0; c < 2 && want.empty(); ++c) {
      for (const Record& r : pc.classes[c]) {
        if (r.flags & 1) break;
        const std::string path = PathOf(r);
        if (path.empty()) continue;  // nothing to open
        wantOpens.push_back(path);
        for (const Request& q : pc.requests) {
          if (q.path != path || q.code != kGetNumber) continue;
          if (q.ok && q.bytes >= 12 && static_cast<int64_t>(Le32(q.output.data() + 4)) == diskNum &&
              static_cast<int64_t>(Le32(q.output.data() + 8)) == partNum)
            want = path;
          break;
        }
      }
    }
    std::vector<std::string> opens;
    for (const fuzz::Open& o : pc.opens) opens.push_back(o.path);
    FUZZ_CHECK(opens == wantOpens);
    FUZZ_CHECK(found == want);
  }
  FUZZ_CHECK(pc.setsOpen == 0);

  if (edit != 0) {
    const std::size_t before = pc.requests.size();
    if (edit == 1)
      disk.DeletePartition(diskNum, partNum);
    else
      disk.SetMbrPartitionType(diskNum, partNum, 0x84);
    std::vector<const Request*> sets;
    for (std::size_t k = before; k < pc.requests.size(); ++k)
      if (pc.requests[k].code == kSetPartitionInfo) sets.push_back(&pc.requests[k]);
    if (found.empty()) {
      FUZZ_CHECK(sets.empty());
    } else {
      FUZZ_CHECK(sets.size() == 1);
      FUZZ_CHECK(sets[0]->path == found);
      FUZZ_CHECK((sets[0]->access & os::kGenericWrite) != 0);
      const std::vector<uint8_t>& record = sets[0]->input;
      FUZZ_CHECK(record.size() >= 120 && Le32(record.data()) == 0);  // MBR style
      FUZZ_CHECK(record[8] == (edit == 1 ? 0x00 : 0x84));
    }
    FUZZ_CHECK(pc.setsOpen == 0);
  }
  FUZZ_CHECK(pc.OpenHandles() == 0);

  const int devices = in.U8() % 6;
  bool firmware = false;
  for (int i = 0; i < devices; ++i) {
    const uint8_t flags = in.U8();
    const std::vector<uint8_t> ids = in.Blob();
    SimPnpDevice& d = pc.AddAcpiDevice({});
    d.HardwareIds.assign(ids.begin(), ids.end());
    d.HasHardwareIds = !(flags & 1);
    d.Present = !(flags & 2);
    d.HardwareIdType = (flags & 8) ? 3 : (flags & 4) ? os::kRegSz : os::kRegMultiSz;
    if (!d.HasHardwareIds || !d.Present || (flags & 8)) continue;
    for (std::size_t at = 0; at < ids.size();) {
      std::size_t end = at;
      while (end < ids.size() && ids[end] != 0) ++end;
      if (end == at) break;
      std::string id(ids.begin() + static_cast<std::ptrdiff_t>(at), ids.begin() + static_cast<std::ptrdiff_t>(end));
      for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      firmware = firmware || id == "ACPI\\INT3392";
      at = end + 1;
    }
  }
  const int made = pc.Count(Call::SetupDiGetClassDevsByEnumeratorA);
  const int destroyed = pc.Count(Call::SetupDiDestroyDeviceInfoList);
  FUZZ_CHECK(DetectRapidStartFirmware() == (firmware ? TFirmwareState::Present : TFirmwareState::Absent));
  FUZZ_CHECK(pc.Count(Call::SetupDiGetClassDevsByEnumeratorA) == made + 1);
  FUZZ_CHECK(pc.Count(Call::SetupDiDestroyDeviceInfoList) == destroyed + 1);
  FUZZ_CHECK(pc.OpenHandles() == 0);
}

// ---- seeds: the machine's own interface paths, whole, cut and unterminated ----

void WriteSeeds(const std::string& dir) {
  // Index by text length: record flag 4 picks volume (length % 5).
  auto pick = [](int volume) { return std::vector<uint8_t>(static_cast<std::size_t>(volume), 'x'); };
  std::vector<std::string> paths;
  {
    SimDisks disks;
    disks.AddGptDisk(0);
    disks.AddMbrDisk(1);
    disks.AddVolume(0, 1, 'C');
    disks.AddVolume(0, 2);
    disks.AddHiddenVolume(0, 3);
    disks.AddVolume(1, 1, 'D');
    disks.AddVolume(1, 2);
    for (const SimVolume& v : disks.Volumes) paths.push_back(v.InterfacePath);
  }
  auto text = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };

  Seed all;  // every volume, by its own path, terminated
  all.U8(0).U8(2).U8(4 | (1 << 3)).U8(0);
  for (int v : {0, 1, 3, 4}) all.U8(2).Blob(text(paths[static_cast<std::size_t>(v)]));
  all.U8(2).Blob(text(paths[2]));
  fuzz::SaveSeed(dir, "visible-and-hidden", all);

  Seed hiddenOnly;
  hiddenOnly.U8(0).U8(3).U8(1 | (1 << 3)).U8(1).U8(6).Blob(pick(0)).U8(6).Blob(pick(2));
  fuzz::SaveSeed(dir, "hidden-volume-delete", hiddenOnly);

  Seed unterminated;  // the same path twice: unterminated, then cut short
  unterminated.U8(1).U8(1).U8(3).U8(2);
  unterminated.U8(0).Blob(text(paths[3]));
  std::string cut = paths[3].substr(0, paths[3].size() - 5);
  unterminated.U8(2).Blob(text(cut));
  unterminated.U8(2).Blob(text(paths[3]));
  fuzz::SaveSeed(dir, "unterminated-and-cut", unterminated);

  Seed full;  // a text that fills the whole block
  full.U8(0).U8(1).U8(2).U8(1).U8(0).Blob(std::vector<uint8_t>(1100, 'A')).U8(2).Blob(text(paths[0]));
  fuzz::SaveSeed(dir, "block-filled", full);

  Seed fails;  // the detail call fails after one interface
  fails.U8(1).U8(1).U8(3).U8(2).U8(2).Blob(text(paths[3])).U8(1).Blob({}).U8(2).Blob(text(paths[4]));
  fuzz::SaveSeed(dir, "detail-fails", fails);

  Seed spanned;  // the volume whose number cannot be read
  spanned.U8(1).U8(2).U8(1).U8(1).U8(2).Blob(text(paths[4]));
  fuzz::SaveSeed(dir, "spanned-volume", spanned);

  // The firmware devices follow an input that reads no interface.
  auto multiSz = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
  Seed firmware;  // as Windows lists ACPI ids, the firmware device last
  firmware.U8(0xFF).U8(0).U8(0).U8(0).U8(3);
  firmware.U8(0).Blob(multiSz(std::string("ACPI\\PNP0C0C\0*PNP0C0C\0\0", 23)));
  firmware.U8(1).Blob({});
  firmware.U8(0).Blob(multiSz(std::string("ACPI\\INT3392\0*INT3392\0\0", 23)));
  fuzz::SaveSeed(dir, "firmware-present", firmware);
  Seed lookalikes;  // longer, shorter, unterminated, absent and behind the closing empty string
  lookalikes.U8(0xFF).U8(0).U8(0).U8(0).U8(5);
  lookalikes.U8(0).Blob(multiSz(std::string("ACPI\\INT33920\0acpi\\int339\0", 26)));
  lookalikes.U8(2).Blob(multiSz(std::string("ACPI\\INT3392\0\0", 14)));
  lookalikes.U8(0).Blob(multiSz(std::string("*INT3392\0\0ACPI\\INT3392\0", 23)));
  lookalikes.U8(8).Blob(multiSz(std::string("ACPI\\INT3392\0\0", 14)));
  lookalikes.U8(6).Blob(multiSz("acpi\\Int3392"));
  fuzz::SaveSeed(dir, "firmware-lookalikes", lookalikes);
}

}  // namespace

FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return fuzz::RunOnFreshPc<DetailPc>(data, size, Run);
}

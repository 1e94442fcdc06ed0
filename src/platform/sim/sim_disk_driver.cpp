// The simulated PC's disk driver: device opens, device I/O control and the
// volume interface enumeration, answered from the SimDisks description.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/sim/sim_disk.h"
#include "platform/sim/sim_disk_driver.h"

namespace {

// Control codes (winioctl.h), kept apart from the program's own constants.
constexpr uint32_t kGetDeviceNumber = 0x002D1080;
constexpr uint32_t kQueryProperty = 0x002D1400;
constexpr uint32_t kGetGeometryEx = 0x000700A0;
constexpr uint32_t kGetLayoutEx = 0x00070050;
constexpr uint32_t kSetPartitionInfoEx = 0x0007C04C;
constexpr uint32_t kSetLayoutEx = 0x0007C054;

constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorNoSuchDevice = 433;
constexpr uint32_t kErrorNoAccess = 998;
constexpr uint32_t kErrorInvalidUserBuffer = 1784;

constexpr uint32_t kFileDeviceDisk = 0x07;
using os::kStyleGpt, os::kStyleMbr, os::kStyleRaw;
constexpr uint32_t kSectorBytes = 512;
constexpr uint8_t kUnreturnedBytePattern = 0xA5;

// Record sizes and member offsets as winioctl.h declares them.
constexpr uint32_t kLayoutHeaderBytes = 48;
constexpr uint32_t kEntryBytes = 144;
constexpr uint32_t kGeometryExFixedBytes = 32;  // DISK_GEOMETRY and DiskSize, before Data
constexpr uint32_t kPartitionInfoBytes = 24;    // DISK_PARTITION_INFO
constexpr uint32_t kDetectionInfoBytes = 56;    // DISK_DETECTION_INFO
constexpr uint32_t kSetPartitionInfoBytes = 120;
constexpr uint32_t kPropertyQueryBytes = 12;
constexpr uint32_t kDescriptorHeaderBytes = 8;  // STORAGE_DESCRIPTOR_HEADER
constexpr uint32_t kDescriptorFixedBytes = 40;  // sizeof(STORAGE_DEVICE_DESCRIPTOR)
constexpr uint32_t kSeekPenaltyProperty = 7;    // StorageDeviceSeekPenaltyProperty
constexpr uint32_t kTrimProperty = 8;           // StorageDeviceTrimProperty
constexpr uint32_t kFlagDescriptorBytes = 12;   // DEVICE_SEEK_PENALTY_DESCRIPTOR, DEVICE_TRIM_DESCRIPTOR
// SP_DEVICE_INTERFACE_DETAIL_DATA_A and SP_DEVICE_INTERFACE_DATA of the
// calling process's bitness: SetupAPI refuses any other cbSize.
constexpr uint32_t kInterfaceDetailCbSize = sizeof(void*) == 4 ? 5 : 8;
constexpr uint32_t kInterfaceDataCbSize = sizeof(os::SpDeviceInterfaceData);

// Little-endian field access at byte offsets.
template <class T>
void Put(uint8_t* p, std::size_t offset, T v) {
  for (std::size_t i = 0; i < sizeof(T); ++i) p[offset + i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
}
template <class T>
T Get(const uint8_t* p, std::size_t offset) {
  uint64_t v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) v |= static_cast<uint64_t>(p[offset + i]) << (8 * i);
  return static_cast<T>(v);
}
void PutGuid(uint8_t* p, std::size_t offset, const os::Guid& g) {
  Put<uint32_t>(p, offset, g.Data1);
  Put<uint16_t>(p, offset + 4, g.Data2);
  Put<uint16_t>(p, offset + 6, g.Data3);
  std::memcpy(p + offset + 8, g.Data4, 8);
}
os::Guid GetGuid(const uint8_t* p, std::size_t offset) {
  os::Guid g{};
  g.Data1 = Get<uint32_t>(p, offset);
  g.Data2 = Get<uint16_t>(p, offset + 4);
  g.Data3 = Get<uint16_t>(p, offset + 6);
  std::memcpy(g.Data4, p + offset + 8, 8);
  return g;
}
bool IsZero(const os::Guid& g) { return g == os::Guid{}; }

bool IsContainer(uint8_t mbrType) { return mbrType == 0x05 || mbrType == 0x0F || mbrType == 0x85; }

// PARTITION_INFORMATION_EX at p.
void PutEntry(uint8_t* p, const SimPartition& e) {
  Put<uint32_t>(p, 0, e.Style);
  Put<uint64_t>(p, 8, e.Offset);
  Put<uint64_t>(p, 16, e.Length);
  Put<uint32_t>(p, 24, e.Number);
  if (e.Style == kStyleMbr) {
    p[32] = e.MbrType;
    p[33] = e.Active ? 1 : 0;
    p[34] = e.Recognized ? 1 : 0;
    Put<uint32_t>(p, 36, e.HiddenSectors);
  } else {
    PutGuid(p, 32, e.GptType);
    PutGuid(p, 48, e.GptId);
    Put<uint64_t>(p, 64, e.Attributes);
    for (std::size_t i = 0; i < e.Name.size() && i < 36; ++i) Put<uint16_t>(p, 72 + 2 * i, e.Name[i]);
  }
}

// PARTITION_INFORMATION_GPT at m: type, id, attributes, 36 UTF-16 name units.
void GetGptMember(const uint8_t* m, SimPartition& e) {
  e.GptType = GetGuid(m, 0);
  e.GptId = GetGuid(m, 16);
  e.Attributes = Get<uint64_t>(m, 32);
  for (std::size_t i = 0; i < 36; ++i) {
    const char16_t c = Get<uint16_t>(m, 40 + 2 * i);
    if (c == 0) break;
    e.Name.push_back(c);
  }
}

SimPartition GetEntry(const uint8_t* p, uint32_t layoutStyle) {
  SimPartition e;
  e.Style = Get<uint32_t>(p, 0);
  e.Offset = Get<uint64_t>(p, 8);
  e.Length = Get<uint64_t>(p, 16);
  e.Number = Get<uint32_t>(p, 24);
  // In a GPT layout an all-zero (MBR-styled) entry is read by its GPT member:
  // a zero type GUID, an unused entry.
  if (layoutStyle == kStyleGpt) {
    GetGptMember(p + 32, e);
  } else {
    e.MbrType = p[32];
    e.Active = p[33] != 0;
    e.Recognized = p[34] != 0;
    e.HiddenSectors = Get<uint32_t>(p, 36);
  }
  return e;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool Fail(uint32_t& error, uint32_t code) {
  error = code;
  return false;
}

// A reply larger than the caller's buffer: the part that fits.
void CopyOut(const std::vector<uint8_t>& reply, uint8_t* out, uint32_t outSize, uint32_t& bytes) {
  bytes = static_cast<uint32_t>(std::min<std::size_t>(reply.size(), outSize));
  std::memcpy(out, reply.data(), bytes);
}

std::vector<uint8_t> GeometryReply(const SimDrive& d) {
  std::vector<uint8_t> r(kGeometryExFixedBytes + kPartitionInfoBytes + kDetectionInfoBytes, 0);
  const uint32_t tracks = 255, sectors = 63;
  Put<int64_t>(r.data(), 0, static_cast<int64_t>(d.SizeBytes / (uint64_t(tracks) * sectors * kSectorBytes)));
  Put<uint32_t>(r.data(), 8, d.MediaType);
  Put<uint32_t>(r.data(), 12, tracks);
  Put<uint32_t>(r.data(), 16, sectors);
  Put<uint32_t>(r.data(), 20, kSectorBytes);
  Put<int64_t>(r.data(), 24, static_cast<int64_t>(d.SizeBytes));
  // assumed: the partition record follows, and an empty detection record
  // (DetectNone) after it.
  Put<uint32_t>(r.data(), 32, kPartitionInfoBytes);
  Put<uint32_t>(r.data(), 36, d.Style);
  if (d.Style == kStyleMbr) Put<uint32_t>(r.data(), 40, d.MbrSignature);
  if (d.Style == kStyleGpt) PutGuid(r.data(), 40, d.DiskId);
  Put<uint32_t>(r.data(), 56, kDetectionInfoBytes);
  return r;
}

std::vector<uint8_t> LayoutReply(const SimDrive& d) {
  const std::vector<SimPartition> none;
  const std::vector<SimPartition>& entries = d.Style == kStyleRaw ? none : d.Layout;
  std::vector<uint8_t> r(kLayoutHeaderBytes + kEntryBytes * entries.size(), 0);
  Put<uint32_t>(r.data(), 0, d.Style);
  const uint32_t count = static_cast<uint32_t>(entries.size());
  Put<uint32_t>(r.data(), 4, d.ClaimedPartitionCount >= 0 ? static_cast<uint32_t>(d.ClaimedPartitionCount) : count);
  if (d.Style == kStyleMbr) Put<uint32_t>(r.data(), 8, d.MbrSignature);
  if (d.Style == kStyleGpt) {
    const uint64_t firstUsable = 34 * kSectorBytes, backupArea = 33 * kSectorBytes;
    PutGuid(r.data(), 8, d.DiskId);
    Put<uint64_t>(r.data(), 24, firstUsable);
    Put<uint64_t>(r.data(), 32, d.SizeBytes - firstUsable - backupArea);
    Put<uint32_t>(r.data(), 40, d.GptMaxEntries);
  }
  for (std::size_t i = 0; i < entries.size(); ++i)
    PutEntry(r.data() + kLayoutHeaderBytes + kEntryBytes * i, entries[i]);
  return r;
}

// DEVICE_SEEK_PENALTY_DESCRIPTOR and DEVICE_TRIM_DESCRIPTOR alike: Version
// and Size (both 12), the BOOLEAN at 8, three bytes of padding the driver
// does not write.
// assumed: a drive that does not know the property refuses it with
// ERROR_NOT_SUPPORTED, like any other unknown property here; a buffer
// smaller than the descriptor header is refused with
// ERROR_INSUFFICIENT_BUFFER, and one that holds the header but not the
// whole record gets the header alone (8 bytes), as Windows does for
// descriptors that do not fit.
bool FlagPropertyReply(const SimMediaKind& media, bool seekPenalty, uint32_t query, uint8_t* out, uint32_t outSize,
                       uint32_t& bytes, uint32_t& error) {
  const SimAnswer answer = seekPenalty ? media.SeekPenalty : media.Trim;
  if (answer == SimAnswer::NotSupported) return Fail(error, os::kErrorNotSupported);
  if (query == 1) return true;  // PropertyExistsQuery
  if (query != 0) return Fail(error, os::kErrorInvalidParameter);
  if (outSize < kDescriptorHeaderBytes) return Fail(error, os::kErrorInsufficientBuffer);
  Put<uint32_t>(out, 0, media.ClaimedSize);
  Put<uint32_t>(out, 4, media.ClaimedSize);
  bytes = kDescriptorHeaderBytes;
  if (outSize >= kFlagDescriptorBytes) {
    out[8] = answer == SimAnswer::Yes ? 1 : 0;
    bytes = kFlagDescriptorBytes;
  }
  bytes = std::min(bytes, seekPenalty ? media.SeekPenaltyReplyBytes : media.TrimReplyBytes);
  return true;
}

std::vector<uint8_t> DescriptorReply(const SimDescriptor& s, uint32_t deviceType) {
  std::vector<uint8_t> r(std::max(kDescriptorFixedBytes, 36 + s.RawPropertiesLength), 0);
  auto place = [&r](const std::string& text, std::size_t at) {
    if (r.size() < at + text.size() + 1) r.resize(at + text.size() + 1, 0);
    std::memcpy(r.data() + at, text.data(), text.size());
    return static_cast<uint32_t>(at);
  };
  const uint32_t vendor = s.Vendor.empty() ? 0 : place(s.Vendor, r.size());
  uint32_t product = 0;
  if (s.ProductOffset > 0)
    product = place(s.Product, static_cast<std::size_t>(s.ProductOffset));
  else if (s.ProductOffset < 0)
    product = place(s.Product, r.size());
  const uint32_t revision = s.Revision.empty() ? 0 : place(s.Revision, r.size());
  const uint32_t serial = s.Serial.empty() ? 0 : place(s.Serial, r.size());
  Put<uint32_t>(r.data(), 0, kDescriptorFixedBytes);  // Version
  Put<uint32_t>(r.data(), 4, static_cast<uint32_t>(r.size()));
  r[8] = deviceType == kFileDeviceDisk ? 0x00 : 0x05;  // SCSI direct-access or CD/DVD
  r[10] = s.Removable ? 1 : 0;
  Put<uint32_t>(r.data(), 12, vendor);
  Put<uint32_t>(r.data(), 16, product);
  Put<uint32_t>(r.data(), 20, revision);
  Put<uint32_t>(r.data(), 24, serial);
  Put<uint32_t>(r.data(), 28, s.BusType);
  Put<uint32_t>(r.data(), 32, s.RawPropertiesLength);
  return r;
}

}  // namespace

SimDisks::Target SimDisks::Resolve(const std::string& path) {
  Target t;
  const std::string drivePrefix = "\\\\.\\PhysicalDrive";
  if (path.size() > drivePrefix.size() && EqualNoCase(path.substr(0, drivePrefix.size()), drivePrefix)) {
    const std::string digits = path.substr(drivePrefix.size());
    const bool decimal = digits.size() <= 3 && std::all_of(digits.begin(), digits.end(), ::isdigit) &&
                         (digits.size() == 1 || digits[0] != '0');
    if (decimal) t.drive = FindDrive(std::stoi(digits));
    return t;
  }
  // "\\?\X:" and "\\.\X:" name the volume of a drive letter.
  if (path.size() == 6 && (path.compare(0, 4, "\\\\?\\") == 0 || path.compare(0, 4, "\\\\.\\") == 0) &&
      path[5] == ':') {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[4])));
    for (SimVolume& v : Volumes)
      if (v.Letter == letter) t.volume = &v;
    return t;
  }
  for (SimVolume& v : Volumes)
    if (EqualNoCase(v.InterfacePath, path)) t.volume = &v;
  return t;
}

bool SimDisks::Open(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition, uint32_t flags,
                    uint32_t& error) {
  error = 0;
  const Target t = Resolve(path);
  if (!t.drive && !t.volume)
    error = os::kErrorFileNotFound;
  else if (!Elevated && (access & (os::kGenericRead | os::kGenericWrite)))
    error = os::kErrorAccessDenied;
  // assumed: the system holds every disk and volume open for reading and
  // writing, so an open that does not share both is refused.
  else if ((share & (os::kFileShareRead | os::kFileShareWrite)) != (os::kFileShareRead | os::kFileShareWrite))
    error = kErrorSharingViolation;
  if (KeepRecords) Opens.push_back({path, access, share, disposition, flags, error});
  return error == 0;
}

bool SimDisks::Control(const std::string& path, uint32_t access, uint32_t code, const void* in, uint32_t inSize,
                       void* out, uint32_t outSize, uint32_t& bytesReturned, uint32_t& error) {
  SimIoRequest record;
  record.Path = path;
  record.Code = code;
  if (in && inSize) record.Input.assign(static_cast<const uint8_t*>(in), static_cast<const uint8_t*>(in) + inSize);
  record.OutSize = outSize;

  bytesReturned = 0;
  error = 0;
  bool ok = false;
  // The access a code needs sits in its bits 14-15: 1 read, 2 write.
  const uint32_t needs = (code >> 14) & 3;
  const Target t = Resolve(path);
  if ((in == nullptr && inSize != 0) || (out == nullptr && outSize != 0))
    error = kErrorNoAccess;
  else if (((needs & 1) && !(access & os::kGenericRead)) || ((needs & 2) && !(access & os::kGenericWrite)))
    error = os::kErrorAccessDenied;
  else if (t.drive)
    ok = DriveControl(*t.drive, code, static_cast<const uint8_t*>(in), inSize, static_cast<uint8_t*>(out), outSize,
                      bytesReturned, error);
  else if (t.volume)
    ok = VolumeControl(*t.volume, code, static_cast<const uint8_t*>(in), inSize, static_cast<uint8_t*>(out),
                       outSize, bytesReturned, error);
  else
    error = kErrorNoSuchDevice;  // the volume went away while the handle was open
  if (!ok) bytesReturned = 0;
  // assumed: a driver leaves whatever it does not return as it finds it, and
  // that need not be the zeros a caller put there: the rest of the buffer is
  // filled with a pattern, so a reader that goes past the bytes returned
  // reads nonsense rather than harmless zeros.
  if (out && outSize > bytesReturned)
    std::memset(static_cast<uint8_t*>(out) + bytesReturned, kUnreturnedBytePattern, outSize - bytesReturned);
  record.Ok = ok;
  record.Error = error;
  record.BytesReturned = bytesReturned;
  if (ok && out) record.Output.assign(static_cast<const uint8_t*>(out), static_cast<const uint8_t*>(out) + bytesReturned);
  if (KeepRecords) Requests.push_back(std::move(record));
  return ok;
}

bool SimDisks::DriveControl(SimDrive& d, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out,
                            uint32_t outSize, uint32_t& bytes, uint32_t& error) {
  switch (code) {
    case kGetDeviceNumber: {
      if (outSize < 12) return Fail(error, os::kErrorInsufficientBuffer);
      Put<uint32_t>(out, 0, d.DeviceType);
      Put<uint32_t>(out, 4, static_cast<uint32_t>(d.Number));
      // The whole disk is partition 0; a device that cannot be partitioned says -1.
      Put<uint32_t>(out, 8, d.DeviceType == kFileDeviceDisk ? 0u : 0xFFFFFFFFu);
      bytes = 12;
      return true;
    }
    case kGetGeometryEx: {
      if (d.GeometryError) return Fail(error, d.GeometryError);
      if (outSize < kGeometryExFixedBytes) return Fail(error, os::kErrorInsufficientBuffer);
      CopyOut(GeometryReply(d), out, outSize, bytes);
      return true;
    }
    case kGetLayoutEx: {
      if (d.LayoutError) return Fail(error, d.LayoutError);
      const std::vector<uint8_t> reply = LayoutReply(d);
      // A layout is returned whole or not at all.
      if (outSize < reply.size()) return Fail(error, os::kErrorInsufficientBuffer);
      CopyOut(reply, out, outSize, bytes);
      return true;
    }
    case kSetLayoutEx:
      return SetLayout(d, in, inSize, error);
    case kQueryProperty: {
      // assumed: a short query or one for another property is refused with
      // these codes; a descriptor larger than the buffer is cut off, its Size
      // member still telling the whole size.
      if (inSize < kPropertyQueryBytes) return Fail(error, os::kErrorInvalidParameter);
      const uint32_t property = Get<uint32_t>(in, 0), query = Get<uint32_t>(in, 4);
      if (property == kSeekPenaltyProperty || property == kTrimProperty)
        return FlagPropertyReply(d.Media, property == kSeekPenaltyProperty, query, out, outSize, bytes, error);
      if (property != 0) return Fail(error, os::kErrorNotSupported);
      if (d.DescriptorError != 0) return Fail(error, d.DescriptorError);
      if (query == 1) return true;  // PropertyExistsQuery
      if (query != 0) return Fail(error, os::kErrorInvalidParameter);
      if (outSize < kDescriptorHeaderBytes) return Fail(error, os::kErrorInsufficientBuffer);
      CopyOut(DescriptorReply(d.Descriptor, d.DeviceType), out, outSize, bytes);
      return true;
    }
    default:
      // assumed: IOCTL_DISK_SET_PARTITION_INFO_EX on the whole disk (partition
      // 0) is not a valid request, like any unknown code.
      return Fail(error, os::kErrorInvalidFunction);
  }
}

namespace {

// IOCTL_DISK_SET_PARTITION_INFO_EX and IOCTL_DISK_SET_DRIVE_LAYOUT_EX
// (learn.microsoft.com/windows/win32/api/winioctl/ni-winioctl-
// ioctl_disk_set_partition_info_ex) say nothing of the volume. assumed: a
// partition given the Rapid Start type is no longer mounted, as after
// diskpart's "set id": it loses its drive letter and counts among the hidden
// volumes. The volume device itself stays, under the same interface path: a
// direct delete later reaches an MBR partition only through it.
void HideRapidStartVolumes(SimDisks& disks, int diskNum) {
  SimDrive* d = disks.FindDrive(diskNum);
  if (!d) return;
  for (SimVolume& v : disks.Volumes) {
    const SimPartition* p = v.Disk == diskNum ? d->FindPartition(v.PartNum) : nullptr;
    if (p && p->Used() && (p->Style == kStyleGpt ? p->GptType == kSimRapidStartGptType : p->MbrType == kSimRapidStartMbrType)) {
      v.Hidden = true;
      v.Letter = 0;
    }
  }
}
}  // namespace

bool SimDisks::VolumeControl(SimVolume& v, uint32_t code, const uint8_t* in, uint32_t inSize, uint8_t* out,
                             uint32_t outSize, uint32_t& bytes, uint32_t& error) {
  SimDrive* d = FindDrive(v.Disk);
  if (!d) return Fail(error, kErrorNoSuchDevice);
  switch (code) {
    case kGetDeviceNumber:
      if (v.DeviceNumberFails) return Fail(error, os::kErrorInvalidFunction);
      if (outSize < 12) return Fail(error, os::kErrorInsufficientBuffer);
      Put<uint32_t>(out, 0, kFileDeviceDisk);
      Put<uint32_t>(out, 4, static_cast<uint32_t>(v.Disk));
      Put<uint32_t>(out, 8, v.PartNum);
      bytes = 12;
      return true;
    case kGetGeometryEx:
    case kQueryProperty:
      // assumed: a basic volume passes these to its disk
      return DriveControl(*d, code, in, inSize, out, outSize, bytes, error);
    case kSetPartitionInfoEx: {
      // assumed: a record shorter than SET_PARTITION_INFORMATION_EX is refused
      if (inSize < kSetPartitionInfoBytes) return Fail(error, os::kErrorInsufficientBuffer);
      SimPartition* p = d->FindPartition(v.PartNum);
      if (!p) return Fail(error, kErrorNoSuchDevice);
      const uint32_t style = Get<uint32_t>(in, 0);
      if (style != d->Style || style == kStyleRaw) return Fail(error, os::kErrorInvalidParameter);
      if (style == kStyleMbr) {
        const uint8_t type = in[8];
        if (type != 0) {
          p->MbrType = type;
          HideRapidStartVolumes(*this, d->Number);
          return true;
        }
        // assumed: type 0 frees the entry; the next layout shows an empty slot
        // and the partition's volume goes away.
        *p = SimPartition{};
      } else {
        SimPartition g;
        GetGptMember(in + 8, g);
        if (IsZero(g.GptType)) {
          *p = SimPartition{};
          p->Style = kStyleGpt;
        } else {
          p->GptType = g.GptType;
          p->GptId = g.GptId;
          p->Attributes = g.Attributes;
          p->Name = g.Name;
          HideRapidStartVolumes(*this, d->Number);
          return true;
        }
      }
      DropOrphanVolumes();  // v may be gone after this
      d->RenumberMbr();
      if (d->Style == kStyleGpt)
        d->Layout.erase(std::remove_if(d->Layout.begin(), d->Layout.end(),
                                       [](const SimPartition& e) { return !e.Used(); }),
                        d->Layout.end());
      return true;
    }
    default:
      // assumed: layout requests go to the physical drive, not to a volume
      return Fail(error, os::kErrorInvalidFunction);
  }
}

bool SimDisks::SetLayout(SimDrive& d, const uint8_t* in, uint32_t inSize, uint32_t& error) {
  // assumed: a short buffer is refused with ERROR_INSUFFICIENT_BUFFER, a
  // layout the disk cannot take with ERROR_INVALID_PARAMETER.
  if (inSize < kLayoutHeaderBytes) return Fail(error, os::kErrorInsufficientBuffer);
  const uint32_t style = Get<uint32_t>(in, 0), count = Get<uint32_t>(in, 4);
  if (inSize < kLayoutHeaderBytes + uint64_t(kEntryBytes) * count) return Fail(error, os::kErrorInsufficientBuffer);
  // A change of style, or partitioning a RAW disk, needs IOCTL_DISK_CREATE_DISK first.
  if (style != d.Style || style == kStyleRaw) return Fail(error, os::kErrorInvalidParameter);
  if (style == kStyleGpt && count > d.GptMaxEntries) return Fail(error, os::kErrorInvalidParameter);
  if (style == kStyleMbr && count % 4 != 0) return Fail(error, os::kErrorInvalidParameter);

  std::vector<SimPartition> entries;
  for (uint32_t i = 0; i < count; ++i) entries.push_back(GetEntry(in + kLayoutHeaderBytes + kEntryBytes * i, style));
  // Every partition must lie on the disk and apart from the others.
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const SimPartition& a = entries[i];
    if (!a.Used()) continue;
    if (a.Style != style || a.Length == 0 || a.Offset + a.Length > d.SizeBytes)
      return Fail(error, os::kErrorInvalidParameter);
    if (style == kStyleMbr && IsContainer(a.MbrType)) continue;
    for (std::size_t j = i + 1; j < entries.size(); ++j) {
      const SimPartition& b = entries[j];
      if (!b.Used() || (style == kStyleMbr && IsContainer(b.MbrType))) continue;
      if (a.Offset < b.Offset + b.Length && b.Offset < a.Offset + a.Length)
        return Fail(error, os::kErrorInvalidParameter);
    }
  }

  // assumed: partitions that still exist keep their numbers; a GPT layout
  // reads back with its used entries only, an MBR layout keeps its slots.
  std::vector<SimPartition> layout;
  for (SimPartition e : entries) {
    if (!e.Used()) {
      if (style == kStyleMbr) layout.push_back(SimPartition{});
      continue;
    }
    const bool container = style == kStyleMbr && IsContainer(e.MbrType);
    e.Recognized = style == kStyleMbr && !container;
    if (container) e.Number = 0;
    layout.push_back(e);
  }
  for (SimPartition& e : layout) {
    if (!e.Used() || (style == kStyleMbr && IsContainer(e.MbrType))) continue;
    const bool duplicate =
        std::count_if(layout.begin(), layout.end(), [&e](const SimPartition& o) { return o.Number == e.Number; }) > 1;
    if (e.Number == 0 || duplicate) {
      e.Number = 0;
      e.Number = SimDrive::LowestFreeNumber(layout);
    }
  }
  d.Layout = layout;
  DropOrphanVolumes();
  d.RenumberMbr();
  HideRapidStartVolumes(*this, d.Number);
  return true;
}

// ------------------------------------------------------- the Os calls --

bool SimDiskDriver::IsDevicePath(const std::string& path) {
  return path.rfind("\\\\.\\", 0) == 0 || path.rfind("\\\\?\\", 0) == 0;
}

os::Handle SimDiskDriver::CreateFileA(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
                                      uint32_t flags) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::CreateFileA, path)) return os::kInvalid;
  uint32_t error = 0;
  if (!disks_.Open(path, access, share, disposition, flags, error)) {
    core_.LastError() = error;
    return os::kInvalid;
  }
  return core_.NewHandle(SimCore::Kind::Device, path, access);
}

bool SimDiskDriver::DeviceIoControl(os::Handle device, uint32_t code, const void* in, uint32_t inSize, void* out,
                            uint32_t outSize, uint32_t& bytesReturned) {
  const auto lock = core_.Lock();
  bytesReturned = 0;
  if (core_.Enter(Call::DeviceIoControl, std::to_string(code))) return false;
  const SimCore::Object* object = core_.Find(device, SimCore::Kind::Device);
  if (!object) {
    core_.LastError() = os::kErrorInvalidHandle;
    return false;
  }
  uint32_t error = 0;
  const bool ok = disks_.Control(object->name, object->access, code, in, inSize, out, outSize, bytesReturned, error);
  if (!ok) core_.LastError() = error;
  return ok;
}

uint32_t SimDiskDriver::GetLogicalDrives() {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::GetLogicalDrives)) return 0;
  return disks_.LogicalDriveMask();
}

os::Handle SimDiskDriver::SetupDiGetClassDevsA(const os::Guid& cls, uint32_t flags) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::SetupDiGetClassDevsA, std::to_string(flags))) return os::kInvalid;
  const os::Handle set = core_.NewHandle(SimCore::Kind::DeviceSet, "devices");
  // assumed: without DIGCF_DEVICEINTERFACE the class is a setup class, of
  // which the volume interface classes have no members.
  interfaceSets_[set] = (flags & 0x10) ? disks_.InterfacePaths(cls) : std::vector<std::string>{};
  return set;
}

bool SimDiskDriver::SetupDiEnumDeviceInterfaces(os::Handle set, const os::Guid& cls, uint32_t index,
                                        os::SpDeviceInterfaceData& data) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::SetupDiEnumDeviceInterfaces, std::to_string(index))) return false;
  auto it = interfaceSets_.find(set);
  if (!core_.Find(set, SimCore::Kind::DeviceSet) || it == interfaceSets_.end()) {
    core_.LastError() = os::kErrorInvalidHandle;
    return false;
  }
  if (data.cbSize != kInterfaceDataCbSize) {
    core_.LastError() = kErrorInvalidUserBuffer;
    return false;
  }
  if (index >= it->second.size()) {
    core_.LastError() = os::kErrorNoMoreItems;
    return false;
  }
  data.InterfaceClassGuid = cls;
  data.Flags = 1;  // SPINT_ACTIVE
  data.Reserved = index + 1;  // which member of the set; 0 is never valid
  return true;
}

bool SimDiskDriver::SetupDiGetDeviceInterfaceDetailA(os::Handle set, const os::SpDeviceInterfaceData& data, void* detail,
                                             uint32_t detailSize) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::SetupDiGetDeviceInterfaceDetailA)) return false;
  auto it = interfaceSets_.find(set);
  if (!core_.Find(set, SimCore::Kind::DeviceSet) || it == interfaceSets_.end()) {
    core_.LastError() = os::kErrorInvalidHandle;
    return false;
  }
  if (data.cbSize != kInterfaceDataCbSize || data.Reserved == 0 || data.Reserved > it->second.size()) {
    core_.LastError() = os::kErrorInvalidParameter;
    return false;
  }
  uint8_t* bytes = static_cast<uint8_t*>(detail);
  if (!bytes || detailSize < 4 || Get<uint32_t>(bytes, 0) != kInterfaceDetailCbSize) {
    core_.LastError() = kErrorInvalidUserBuffer;
    return false;
  }
  const std::string& path = it->second[data.Reserved - 1];
  if (detailSize < 4 + path.size() + 1) {
    core_.LastError() = os::kErrorInsufficientBuffer;
    return false;
  }
  std::memcpy(bytes + 4, path.c_str(), path.size() + 1);
  std::memset(bytes + 4 + path.size() + 1, kUnreturnedBytePattern, detailSize - 4 - path.size() - 1);
  return true;
}

bool SimDiskDriver::SetupDiDestroyDeviceInfoList(os::Handle set) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::SetupDiDestroyDeviceInfoList)) return false;
  if (!core_.Find(set, SimCore::Kind::DeviceSet)) {
    core_.LastError() = os::kErrorInvalidHandle;
    return false;
  }
  core_.ForgetHandle(set);
  interfaceSets_.erase(set);
  deviceSets_.erase(set);
  return true;
}

bool SimDiskDriver::CoCreateGuid(os::Guid& guid) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::CoCreateGuid)) return false;
  // Distinct, version-4 shaped values; deterministic so tests can repeat.
  ++guidCounter_;
  guid = os::Guid{0x5A1E0000u + guidCounter_, 0x1234, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, uint8_t(guidCounter_)}};
  return true;
}

// fuzz_descriptor: the storage-device descriptor (IOCTL_STORAGE_QUERY_PROPERTY)
// and its product text, as TDisk::GetProductId and GetDiskProductId read it,
// with any Size, any offsets and any byte count.
//
// Input: flags (bit 0: the request fails; bit 1: a failing driver writes the
// bytes anyway; bit 2: describe the device through the simulated driver's own
// descriptor instead of raw bytes), a drive number, then
//   raw bytes:  the byte count returned (16 bits) and the reply bytes;
//   simulated:  vendor, product, revision and serial texts, where the product
//               text goes, the raw-properties length and the bus type.
// Properties: the request asks for a whole descriptor buffer with the
// standard query; a failed request gives the empty text; any product text
// lies inside the bytes returned, starts at the descriptor's ProductIdOffset
// and runs to its terminator or the end of those bytes, and is found whenever
// one is there; the simulated driver's product text comes back unchanged
// when it fits; no handle is left open.
#include "fuzz_common.h"

namespace {

using fuzz::Input;
using fuzz::Le32;
using fuzz::Request;
using fuzz::Seed;

constexpr uint32_t kQueryProperty = 0x002D1400;
constexpr uint32_t kProductOffsetField = 16;

// What the bytes returned say the product text is; nothing when they hold none.
std::optional<std::string> TextInReply(const Request& r) {
  const uint32_t valid = std::min<uint32_t>(r.bytes, r.outSize);
  if (valid < kProductOffsetField + 4) return std::nullopt;
  const uint32_t offset = Le32(r.output.data() + kProductOffsetField);
  if (offset == 0 || offset >= valid) return std::nullopt;
  std::string text;
  for (uint32_t i = offset; i < valid && r.output[i] != 0; ++i) text.push_back(static_cast<char>(r.output[i]));
  return text;
}

void CheckRequest(const fuzz::FuzzPc& pc, const std::string& path) {
  const std::vector<const Request*> queries = pc.RequestsFor(kQueryProperty);
  FUZZ_CHECK(queries.size() == 1);
  const Request& q = *queries[0];
  FUZZ_CHECK(q.path == path);
  // The standard query for the device property, into a buffer larger than
  // the fixed part of the descriptor.
  FUZZ_CHECK(q.input.size() >= 12 && Le32(q.input.data()) == 0 && Le32(q.input.data() + 4) == 0);
  FUZZ_CHECK(q.outSize >= 40);
}

void RunRaw(fuzz::FuzzPc& pc, Input& in, uint8_t flags, int32_t diskNum) {
  const uint16_t claimed = in.U16();
  const std::vector<uint8_t> body = in.Bytes(in.Left());
  pc.answer = [&](const std::string&, uint32_t code, const uint8_t*, uint32_t, uint8_t* out, uint32_t outSize,
                  uint32_t& bytes) -> std::optional<bool> {
    if (code != kQueryProperty) return std::nullopt;
    fuzz::PutReply(body, out, outSize);
    if (flags & 1) {
      if (!(flags & 2)) fuzz::PutReply({}, out, outSize);
      bytes = 0;
      return false;
    }
    // A driver may report fewer bytes than it wrote, or more: the unwritten
    // rest then holds whatever the buffer held.
    bytes = std::min<uint32_t>(claimed, outSize);
    return true;
  };
  const std::string text = GetDisk().GetDiskProductId(diskNum);
  const std::string path = PhysicalDrivePath(diskNum);
  if (path.empty() || !pc.Disks.FindDrive(diskNum)) {
    FUZZ_CHECK(text.empty());
    FUZZ_CHECK(pc.RequestsFor(kQueryProperty).empty());
    return;
  }
  CheckRequest(pc, path);
  const Request& q = *pc.RequestsFor(kQueryProperty)[0];
  if (!q.ok) {
    FUZZ_CHECK(text.empty());
    return;
  }
  const std::optional<std::string> want = TextInReply(q);
  FUZZ_CHECK(text == want.value_or(""));
  if (!text.empty()) {
    const uint32_t offset = Le32(q.output.data() + kProductOffsetField);
    FUZZ_CHECK(offset + text.size() <= q.bytes);
    FUZZ_CHECK(text.find('\0') == std::string::npos);
  }
}

std::string Printable(Input& in, std::size_t max) {
  std::string s = in.Text(max);
  for (char& c : s)
    if (c == 0) c = ' ';
  return s;
}

void RunSimulated(fuzz::FuzzPc& pc, Input& in, int32_t diskNum) {
  SimDrive& d = pc.Disks.AddMbrDisk(diskNum & 63);
  SimDescriptor& s = d.Descriptor;
  s.Vendor = Printable(in, 64);
  s.Product = Printable(in, 128);
  s.Revision = Printable(in, 16);
  s.Serial = Printable(in, 64);
  const uint16_t where = in.U16();
  s.ProductOffset = where == 0xFFFF ? -1 : where % 1024;
  s.RawPropertiesLength = in.U16() % 1024;
  s.BusType = in.U8();
  const std::string text = GetDisk().GetDiskProductId(diskNum);
  const std::string path = PhysicalDrivePath(diskNum);
  if (path.empty()) {
    FUZZ_CHECK(text.empty());
    return;
  }
  CheckRequest(pc, path);
  const Request& q = *pc.RequestsFor(kQueryProperty)[0];
  FUZZ_CHECK(q.ok);
  FUZZ_CHECK(text == TextInReply(q).value_or(""));
  // A product text that ends inside the buffer comes back whole: exactly,
  // when the driver put it after the vendor text; as the start of what is
  // read, when it put it at a chosen offset past the fixed part (another
  // text may then run on behind it).
  const uint32_t at = Le32(q.output.data() + kProductOffsetField);
  if (at >= 40 && at + s.Product.size() < q.outSize) {
    if (s.ProductOffset < 0) FUZZ_CHECK(text == s.Product);
    FUZZ_CHECK(text.compare(0, s.Product.size(), s.Product) == 0);
  }
  if (s.ProductOffset == 0) FUZZ_CHECK(text.empty());
}

// ---- seeds: the simulated driver's descriptors ----

std::vector<uint8_t> SimDescriptorReply(const SimDescriptor& descriptor) {
  SimPc pc;
  pc.Disks.AddMbrDisk(0).Descriptor = descriptor;
  ScopedOs seam(pc);
  std::vector<uint8_t> out(4096);
  const uint32_t size = 4096;
  std::memcpy(out.data() + 4, &size, 4);
  uint32_t bytes = 0;
  if (!GetDisk().GetDeviceDescriptor(PhysicalDrivePath(0), out.data(), size, bytes)) bytes = 0;
  ReleaseDisk();
  out.resize(bytes);
  return out;
}

void WriteSeeds(const std::string& dir) {
  SimDescriptor plain;
  SimDescriptor full;
  full.Vendor = "ORTAVEL";
  full.Product = "ORV NVMe 1TB";
  full.Revision = "2.10";
  full.Serial = "S4EWNX0R123456";
  full.BusType = 17;
  SimDescriptor usb;
  usb.Vendor = "ORV";
  usb.Product = "USB Flash Disk";
  usb.BusType = 7;
  usb.Removable = true;
  SimDescriptor late;  // the text beyond a 551-byte buffer
  late.ProductOffset = 600;
  SimDescriptor none;
  none.ProductOffset = 0;
  SimDescriptor raw;
  raw.RawPropertiesLength = 300;
  raw.Product = std::string(200, 'P');

  int n = 0;
  for (const SimDescriptor* d : {&plain, &full, &usb, &late, &none, &raw}) {
    const std::vector<uint8_t> reply = SimDescriptorReply(*d);
    Seed s;
    s.U8(0).U8(static_cast<uint8_t>(n)).U16(static_cast<uint16_t>(reply.size())).Bytes(reply);
    fuzz::SaveSeed(dir, "raw-" + std::to_string(n), s);
    Seed cut;  // fewer bytes reported than written: the text is cut off
    cut.U8(0).U8(1).U16(static_cast<uint16_t>(reply.size() / 2)).Bytes(reply);
    fuzz::SaveSeed(dir, "raw-cut-" + std::to_string(n), cut);
    Seed sim;
    sim.U8(4).U8(static_cast<uint8_t>(n)).Text(d->Vendor).Text(d->Product).Text(d->Revision).Text(d->Serial);
    sim.U16(d->ProductOffset < 0 ? 0xFFFF : static_cast<uint16_t>(d->ProductOffset));
    sim.U16(static_cast<uint16_t>(d->RawPropertiesLength)).U8(d->BusType);
    fuzz::SaveSeed(dir, "sim-" + std::to_string(n), sim);
    ++n;
  }
  Seed failed;
  failed.U8(3).U8(0).U16(100).Bytes(SimDescriptorReply(full));
  fuzz::SaveSeed(dir, "raw-fails", failed);
}

}  // namespace

FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return fuzz::RunOnFreshPc<fuzz::FuzzPc>(data, size, [](fuzz::FuzzPc& pc, Input& in) {
    const uint8_t flags = in.U8();
    const int32_t diskNum = static_cast<int8_t>(in.U8());
    if (flags & 4) {
      RunSimulated(pc, in, diskNum);
    } else {
      pc.Disks.AddGptDisk(diskNum & 63);
      RunRaw(pc, in, flags, diskNum);
    }
    FUZZ_CHECK(pc.OpenHandles() == 0);
  });
}

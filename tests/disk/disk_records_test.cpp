// GUID text, the partition-type identities, and byte-exact round trips of the
// layout records against replies the simulated driver builds at the SDK's
// offsets.
#include <cstring>

#include "disk_test_util.h"

namespace {

using namespace disktest;

struct GuidRow {
  const char* text;
  bool parses;
  uint8_t bytes[16];      // the GUID in memory, as a driver record holds it
  const char* formatted;  // FormatGuidText of the parsed value
};

TEST(GuidText, ParsesMixedByteOrderAndFormatsUpperCase) {
  const GuidRow rows[] = {
      {"{D3BFE2DE-3DAF-11DF-BA40-E3A556D89593}", true,
       {0xDE, 0xE2, 0xBF, 0xD3, 0xAF, 0x3D, 0xDF, 0x11, 0xBA, 0x40, 0xE3, 0xA5, 0x56, 0xD8, 0x95, 0x93},
       "{D3BFE2DE-3DAF-11DF-BA40-E3A556D89593}"},
      {"{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}", true,
       {0x0D, 0x63, 0xF5, 0x53, 0xBF, 0xB6, 0xD0, 0x11, 0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B},
       "{53F5630D-B6BF-11D0-94F2-00A0C91EFB8B}"},
      {"{00000000-0000-0000-0000-000000000000}", true, {}, "{00000000-0000-0000-0000-000000000000}"},
      {"{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}", true,
       {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"},
      {"D3BFE2DE-3DAF-11DF-BA40-E3A556D89593", false, {}, nullptr},     // no braces
      {"{D3BFE2DE-3DAF-11DF-BA40-E3A556D89593", false, {}, nullptr},    // no closing brace
      {"{D3BFE2DE-3DAF-11DF-BA40E3A556D89593-}", false, {}, nullptr},   // dash misplaced
      {"{D3BFE2DG-3DAF-11DF-BA40-E3A556D89593}", false, {}, nullptr},   // not hex
      {"{ 3BFE2DE-3DAF-11DF-BA40-E3A556D89593}", false, {}, nullptr},   // blank
      {"{D3BFE2DE-3DAF-11DF-BA40-E3A556D895930}", false, {}, nullptr},  // too long
      {"", false, {}, nullptr},
  };
  for (const GuidRow& r : rows) {
    const os::Guid sentinel = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    os::Guid g = sentinel;
    ASSERT_EQ(disk::ParseGuidText(r.text, g), r.parses) << r.text;
    if (!r.parses) {
      EXPECT_EQ(g, sentinel) << "a failed parse leaves the value alone: " << r.text;
      continue;
    }
    uint8_t bytes[16];
    std::memcpy(bytes, &g, sizeof bytes);
    EXPECT_EQ(0, std::memcmp(bytes, r.bytes, sizeof bytes)) << r.text;
    EXPECT_EQ(disk::FormatGuidText(g), r.formatted);
  }
}

TEST(PartTypeIdentity, TableRowsRoundTripAndLookupsAnswerNoneForUnknown) {
  // Every GPT text in the table parses and formats back to itself.
  for (uint8_t mbr : {0x84, 0x07, 0xEF, 0x27}) {
    const disk::PartTypeIdentity* t = disk::PartTypeByMbr(mbr);
    ASSERT_NE(t, nullptr) << int(mbr);
    os::Guid g{};
    ASSERT_TRUE(disk::ParseGuidText(t->GptTypeText, g));
    EXPECT_EQ(disk::FormatGuidText(g), t->GptTypeText);
    EXPECT_NE(disk::PartTypeByGpt(g), nullptr);
  }
  EXPECT_EQ(disk::PartTypeByMbr(0x84), disk::PartTypeByGpt(RapidType()));
  EXPECT_EQ(disk::PartTypeByMbr(0x84), &disk::RapidStartIdentity());
  EXPECT_EQ(disk::RapidStartGptType(), RapidType());
  EXPECT_EQ(disk::PartTypeByMbr(0x83), nullptr);
  EXPECT_EQ(disk::PartTypeByMbr(disk::kMbrTypeNone), nullptr);
  EXPECT_EQ(disk::PartTypeByGpt(os::Guid{}), nullptr);
  EXPECT_EQ(disk::PartTypeByGpt(MsrType())->MbrType, disk::kMbrTypeNone);
  // The interface classes are the documented ones.
  EXPECT_EQ(disk::FormatGuidText(kGuidDevInterfaceVolume), "{53F5630D-B6BF-11D0-94F2-00A0C91EFB8B}");
  EXPECT_EQ(disk::FormatGuidText(kGuidDevInterfaceHiddenVolume), "{7F108A28-9833-4B3B-B780-2C6B5FA5C062}");
}

TEST(PartTypeIdentity, RapidStartTestFollowsTheDiskStyleOnly) {
  struct Row {
    int32_t style;
    uint8_t mbrType;
    os::Guid gptType;
    bool expected;
  };
  const Row rows[] = {
      {1, 0x00, RapidType(), true},
      {1, 0x84, DataType(), false},  // on GPT disks only the type GUID counts
      {0, 0x84, DataType(), true},
      {0, 0x07, RapidType(), false},  // on MBR disks only the type byte counts
      {2, 0x84, os::Guid{}, true},    // RAW and any other value use the MBR test
      {kPartitionStyleUnknown, 0x84, os::Guid{}, true},
  };
  for (const Row& r : rows) {
    _PartInfo p{};
    p.Mbr.PartitionType = r.mbrType;
    p.Gpt.PartitionType = r.gptType;
    EXPECT_EQ(IsRapidStartPart(r.style, p), r.expected) << r.style << " " << int(r.mbrType);
  }
}

class RecordRoundTrip : public DiskTest {};

TEST_F(RecordRoundTrip, GptLayoutReadsBackFieldForField) {
  SimDrive& d = pc.Disks.AddGptDisk(3, 500 * kGiB);
  d.AddGptPartition(EfiType(), 1 * kMiB, 100 * kMiB, u"EFI system partition");
  d.AddGptPartition(DataType(), 117 * kMiB, 200 * kGiB, u"Basic data partition").Attributes = 0x8000000000000001ull;
  // A name of exactly 36 units has no terminator.
  d.AddGptPartition(RapidType(), 300 * kGiB, 8 * kGiB, u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");

  disk::DriveLayoutBuffer buffer{};
  uint32_t bytes = 0;
  ASSERT_TRUE(GetDisk().GetDriveLayout(PhysicalDrivePath(3), &buffer, sizeof buffer, &bytes));
  EXPECT_EQ(bytes, 48u + 3 * 144u);
  EXPECT_EQ(buffer.Header.PartitionStyle, disk::kStyleGpt);
  EXPECT_EQ(buffer.Header.PartitionCount, 3u);
  EXPECT_EQ(buffer.Header.Gpt.DiskId, d.DiskId);
  EXPECT_EQ(buffer.Header.Gpt.StartingUsableOffset, 34u * 512);
  EXPECT_EQ(buffer.Header.Gpt.UsableLength, 500 * kGiB - 67 * 512);
  EXPECT_EQ(buffer.Header.Gpt.MaxPartitionCount, 128u);
  for (uint32_t i = 0; i < 3; ++i) {
    const disk::PartitionInformationEx& e = buffer.Entries[i];
    const SimPartition& s = d.Layout[i];
    EXPECT_EQ(e.PartitionStyle, disk::kStyleGpt);
    EXPECT_EQ(e.StartingOffset, s.Offset);
    EXPECT_EQ(e.PartitionLength, s.Length);
    EXPECT_EQ(e.PartitionNumber, i + 1);
    EXPECT_EQ(e.Gpt.PartitionType, s.GptType);
    EXPECT_EQ(e.Gpt.PartitionId, s.GptId);
    EXPECT_EQ(e.Gpt.Attributes, s.Attributes);
    std::u16string name;
    for (int c = 0; c < disk::kGptNameChars && e.Gpt.Name[c] != 0; ++c) name.push_back(e.Gpt.Name[c]);
    EXPECT_EQ(name, s.Name);
  }
  EXPECT_EQ(buffer.Entries[3].PartitionNumber, 0xA5A5A5A5u) << "past the reply: what the driver left, not zeros";
}

TEST_F(RecordRoundTrip, MbrLayoutWithExtendedChainReadsBackSlotForSlot) {
  SimDrive& d = pc.Disks.AddMbrDisk(0);
  d.AddPrimary(0x07, 1 * kMiB, 50 * kGiB, true);
  d.AddExtended(60 * kGiB, 100 * kGiB, 2);  // slot 1 stays empty
  d.AddLogical(0x07, 60 * kGiB + 1 * kMiB, 10 * kGiB);
  d.AddLogical(0x84, 80 * kGiB, 8 * kGiB);

  disk::DriveLayoutBuffer buffer{};
  uint32_t bytes = 0;
  ASSERT_TRUE(GetDisk().GetDriveLayout(PhysicalDrivePath(0), &buffer, sizeof buffer, &bytes));
  ASSERT_EQ(buffer.Header.PartitionCount, 12u);  // the table and two extended boot records, four slots each
  EXPECT_EQ(bytes, 48u + 12 * 144u);
  EXPECT_EQ(buffer.Header.PartitionStyle, disk::kStyleMbr);
  EXPECT_EQ(buffer.Header.Mbr.Signature, d.MbrSignature);
  struct Slot {
    uint32_t number;
    uint8_t type;
    uint8_t boot;
    uint8_t recognized;
  };
  const Slot expected[12] = {{1, 0x07, 1, 1}, {0, 0, 0, 0}, {0, 0x0F, 0, 0}, {0, 0, 0, 0},
                             {2, 0x07, 0, 1}, {0, 0x05, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
                             {3, 0x84, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
  for (int i = 0; i < 12; ++i) {
    const disk::PartitionInformationEx& e = buffer.Entries[i];
    EXPECT_EQ(e.PartitionStyle, disk::kStyleMbr) << i;
    EXPECT_EQ(e.PartitionNumber, expected[i].number) << i;
    EXPECT_EQ(e.Mbr.PartitionType, expected[i].type) << i;
    EXPECT_EQ(e.Mbr.BootIndicator, expected[i].boot) << i;
    EXPECT_EQ(e.Mbr.RecognizedPartition, expected[i].recognized) << i;
    EXPECT_EQ(e.StartingOffset, d.Layout[i].Offset) << i;
    EXPECT_EQ(e.PartitionLength, d.Layout[i].Length) << i;
    EXPECT_EQ(e.Mbr.HiddenSectors, d.Layout[i].HiddenSectors) << i;
  }
  EXPECT_EQ(buffer.Entries[0].Mbr.HiddenSectors, 2048u);
  EXPECT_EQ(buffer.Entries[5].StartingOffset, 80 * kGiB - 1 * kMiB) << "the link names the next boot record";
}

}  // namespace

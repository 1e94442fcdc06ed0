// Partition-type identities and GUID text.
//
// One table names the partition types the program knows, each with its MBR
// type byte and its GPT type GUID; the Rapid Start partition is one of them.
// GUID text is parsed and formatted here and nowhere else: the text's first
// three groups are the little-endian Data1/Data2/Data3 fields, its last two
// the Data4 bytes in order, which is where raw-byte handling goes wrong.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os_types.h"

namespace disk {

constexpr uint8_t kMbrTypeNone = 0x00;  // a type with no MBR byte of its own

struct PartTypeIdentity {
  uint8_t MbrType;          // kMbrTypeNone: GPT only
  const char* GptTypeText;  // braced, upper-case
  const char* Name;
};

// The known types, one a line. Lookups answer nullptr for anything else.
const PartTypeIdentity* PartTypeByMbr(uint8_t mbrType);
const PartTypeIdentity* PartTypeByGpt(const os::Guid& gptType);
const PartTypeIdentity& RapidStartIdentity();

constexpr uint8_t kRapidStartMbrType = 0x84;
constexpr const char* kRapidStartGptTypeText = "{D3BFE2DE-3DAF-11DF-BA40-E3A556D89593}";
// GPT basic data: the type of every NTFS or FAT data partition.
constexpr const char* kBasicDataGptTypeText = "{EBD0A0A2-B9E5-4433-87C0-68B6B72699C7}";
// The Rapid Start type GUID, converted from its text.
const os::Guid& RapidStartGptType();

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits of either case,
// braces required). Returns false, leaving guid unchanged, on any other text.
bool ParseGuidText(const std::string& text, os::Guid& guid);
// The braced, upper-case text form.
std::string FormatGuidText(const os::Guid& guid);

}  // namespace disk

#include "disk/part_identity.h"

#include <cstdio>

namespace disk {

namespace {

constexpr PartTypeIdentity kPartTypes[] = {
    {kRapidStartMbrType, kRapidStartGptTypeText, "Intel Rapid Start hibernation"},
    {0x07, kBasicDataGptTypeText, "Basic data (NTFS)"},
    {0x0C, kBasicDataGptTypeText, "Basic data (FAT32 LBA)"},
    {0xEF, "{C12A7328-F81F-11D2-BA4B-00A0C93EC93B}", "EFI system"},
    {0x27, "{DE94BBA4-06D1-4D40-A16A-BFD50179D6AC}", "Windows recovery"},
    {kMbrTypeNone, "{E3C9E316-0B5C-4DB8-817D-F92DF00215AE}", "Reserved (MSR)"},
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[pos]; false on any non-digit.
bool ReadHex(const std::string& text, std::size_t pos, int digits, uint32_t& value) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int d = HexDigit(text[pos + i]);
    if (d < 0) return false;
    value = value << 4 | static_cast<uint32_t>(d);
  }
  return true;
}

}  // namespace

bool ParseGuidText(const std::string& text, os::Guid& guid) {
  // {8-4-4-4-12}: 38 characters with braces and dashes in fixed places.
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
      text[19] != '-' || text[24] != '-')
    return false;
  os::Guid g{};
  uint32_t v = 0;
  if (!ReadHex(text, 1, 8, v)) return false;
  g.Data1 = v;
  if (!ReadHex(text, 10, 4, v)) return false;
  g.Data2 = static_cast<uint16_t>(v);
  if (!ReadHex(text, 15, 4, v)) return false;
  g.Data3 = static_cast<uint16_t>(v);
  // Data4: two bytes before the last dash, six after it, in text order.
  const std::size_t bytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, bytePos[i], 2, v)) return false;
    g.Data4[i] = static_cast<uint8_t>(v);
  }
  guid = g;
  return true;
}

std::string FormatGuidText(const os::Guid& g) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), static_cast<unsigned>(g.Data2), static_cast<unsigned>(g.Data3),
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

const os::Guid& RapidStartGptType() {
  static const os::Guid type = [] {
    os::Guid g{};
    ParseGuidText(kRapidStartGptTypeText, g);
    return g;
  }();
  return type;
}

const PartTypeIdentity* PartTypeByMbr(uint8_t mbrType) {
  if (mbrType == kMbrTypeNone) return nullptr;
  for (const PartTypeIdentity& t : kPartTypes)
    if (t.MbrType == mbrType) return &t;
  return nullptr;
}

const PartTypeIdentity* PartTypeByGpt(const os::Guid& gptType) {
  for (const PartTypeIdentity& t : kPartTypes) {
    os::Guid g{};
    if (ParseGuidText(t.GptTypeText, g) && g == gptType) return &t;
  }
  return nullptr;
}

const PartTypeIdentity& RapidStartIdentity() { return kPartTypes[0]; }

}  // namespace disk

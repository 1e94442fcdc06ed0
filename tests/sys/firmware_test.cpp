// The firmware check against the simulated PC's ACPI devices: which hardware
// ids count, how the multi-strings are read, and what a failing call makes of
// the answer. Every path destroys the device list it made.
#include <functional>
#include <new>
#include <string>

#include "sim_fixture.h"
#include "sys/firmware.h"

namespace {

class Firmware : public SimTest {
 protected:
  void ExpectListDestroyed() {
    EXPECT_EQ(pc.Count(Call::SetupDiGetClassDevsByEnumeratorA), pc.Count(Call::SetupDiDestroyDeviceInfoList));
    EXPECT_EQ(pc.OpenHandles(), 0);
  }
  // A new machine, so no failure left waiting from an earlier case fires.
  void FreshPc() {
    pc.~SimPc();
    new (&pc) SimPc();
  }
};

// A device whose hardware-id property holds exactly these bytes.
SimPnpDevice& Raw(SimPc& pc, const std::string& bytes) {
  SimPnpDevice& d = pc.AddAcpiDevice({});
  d.HardwareIds = bytes;
  return d;
}

std::string Bytes(const char* text, std::size_t size) { return std::string(text, size); }

TEST_F(Firmware, WhichHardwareIdsCount) {
  struct Row {
    const char* name;
    std::function<void(SimPc&)> build;
    TFirmwareState expected;
  } rows[] = {
      {"no ACPI device", [](SimPc&) {}, TFirmwareState::Absent},
      {"as Windows lists it", [](SimPc& p) { p.AddAcpiDevice({"ACPI\\INT3392", "*INT3392"}); },
       TFirmwareState::Present},
      {"among other devices",
       [](SimPc& p) {
         p.AddAcpiDevice({"ACPI\\PNP0C0C", "*PNP0C0C"});
         p.AddAcpiDevice({"ACPI\\PNP0A08", "*PNP0A08"});
         p.AddAcpiDevice({"ACPI\\INT3392", "*INT3392"});
       },
       TFirmwareState::Present},
      {"second id of a device", [](SimPc& p) { p.AddAcpiDevice({"ACPI\\VEN_INT&DEV_3392", "ACPI\\INT3392"}); },
       TFirmwareState::Present},
      {"other letter case", [](SimPc& p) { p.AddAcpiDevice({"acpi\\Int3392"}); }, TFirmwareState::Present},
      {"other devices only", [](SimPc& p) { p.AddAcpiDevice({"ACPI\\PNP0C0C", "*PNP0C0C"}); },
       TFirmwareState::Absent},
      {"a longer id", [](SimPc& p) { p.AddAcpiDevice({"ACPI\\INT33920"}); }, TFirmwareState::Absent},
      {"a shorter id", [](SimPc& p) { p.AddAcpiDevice({"ACPI\\INT339"}); }, TFirmwareState::Absent},
      {"the compatible form only", [](SimPc& p) { p.AddAcpiDevice({"*INT3392"}); }, TFirmwareState::Absent},
      {"behind the closing empty string", [](SimPc& p) { Raw(p, Bytes("ACPI\\PNP0C0C\0\0ACPI\\INT3392\0\0", 28)); },
       TFirmwareState::Absent},
      {"last id without its NUL", [](SimPc& p) { Raw(p, Bytes("*INT3392\0ACPI\\INT3392", 21)); },
       TFirmwareState::Present},
      {"cut inside the id", [](SimPc& p) { Raw(p, Bytes("ACPI\\INT339", 11)); }, TFirmwareState::Absent},
      {"zero-length property", [](SimPc& p) { Raw(p, ""); }, TFirmwareState::Absent},
      {"a device without hardware ids",
       [](SimPc& p) { p.AddAcpiDevice({"ACPI\\INT3392"}).HasHardwareIds = false; }, TFirmwareState::Absent},
      {"not a string value",
       [](SimPc& p) { p.AddAcpiDevice({"ACPI\\INT3392"}).HardwareIdType = 3; /* REG_BINARY */ },
       TFirmwareState::Absent},
      {"a single string value",
       [](SimPc& p) {
         SimPnpDevice& d = Raw(p, Bytes("ACPI\\INT3392\0", 13));
         d.HardwareIdType = os::kRegSz;
       },
       TFirmwareState::Present},
      {"known but not attached", [](SimPc& p) { p.AddAcpiDevice({"ACPI\\INT3392"}).Present = false; },
       TFirmwareState::Absent},
      {"another enumerator's device",
       [](SimPc& p) { p.AddAcpiDevice({"ACPI\\INT3392"}).Enumerator = "ROOT"; }, TFirmwareState::Absent},
      {"a list larger than the first buffer",
       [](SimPc& p) {
         std::vector<std::string> ids(400, "ACPI\\PNP0C0C");
         ids.push_back("ACPI\\INT3392");
         p.AddAcpiDevice(ids);
       },
       TFirmwareState::Present},
      {"a list larger than any device has, and no match",
       [](SimPc& p) {
         p.AddAcpiDevice(std::vector<std::string>(8000, "ACPI\\PNP0C0C"));
         p.AddAcpiDevice({"ACPI\\PNP0A08"});
       },
       TFirmwareState::Unknown},
      {"a list larger than any device has, and a match elsewhere",
       [](SimPc& p) {
         p.AddAcpiDevice(std::vector<std::string>(8000, "ACPI\\PNP0C0C"));
         p.AddAcpiDevice({"ACPI\\INT3392"});
       },
       TFirmwareState::Present},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    pc.PnpDevices.clear();
    r.build(pc);
    EXPECT_EQ(DetectRapidStartFirmware(), r.expected);
    ExpectListDestroyed();
  }
  // The list asked for: the present ACPI devices of every class.
  for (const SimCall& c : pc.Calls) {
    if (c.kind == Call::SetupDiGetClassDevsByEnumeratorA) {
      EXPECT_EQ(c.detail, "ACPI/6");
    }
  }
}

TEST_F(Firmware, FailingCallsMakeTheAnswerUnknownUnlessTheDeviceWasFound) {
  constexpr int kNone = -1, kFirst = 0, kLast = 2;
  struct Row {
    const char* name;
    Call kind;
    int nth;
    uint32_t error;
    int firmwareAt;  // where the firmware device sits among three, if anywhere
    TFirmwareState expected;
  } rows[] = {
      {"no list", Call::SetupDiGetClassDevsByEnumeratorA, 1, os::kErrorInvalidParameter, kFirst,
       TFirmwareState::Unknown},
      {"walk fails on the first", Call::SetupDiEnumDeviceInfo, 1, os::kErrorInvalidHandle, kFirst,
       TFirmwareState::Unknown},
      {"walk fails before the device", Call::SetupDiEnumDeviceInfo, 2, os::kErrorGenFailure, kLast,
       TFirmwareState::Unknown},
      {"walk fails after the device", Call::SetupDiEnumDeviceInfo, 2, os::kErrorGenFailure, kFirst,
       TFirmwareState::Present},
      {"walk fails at its end", Call::SetupDiEnumDeviceInfo, 4, os::kErrorGenFailure, kNone,
       TFirmwareState::Unknown},
      {"the system ends the walk early", Call::SetupDiEnumDeviceInfo, 2, os::kErrorNoMoreItems, kLast,
       TFirmwareState::Absent},
      {"the device's ids cannot be read", Call::SetupDiGetDeviceRegistryPropertyA, 3, os::kErrorGenFailure, kLast,
       TFirmwareState::Unknown},
      {"another device's ids cannot be read, no match", Call::SetupDiGetDeviceRegistryPropertyA, 1,
       os::kErrorGenFailure, kNone, TFirmwareState::Unknown},
      {"another device's ids cannot be read, the device's can", Call::SetupDiGetDeviceRegistryPropertyA, 1,
       os::kErrorGenFailure, kLast, TFirmwareState::Present},
      {"a device turns out to have no ids", Call::SetupDiGetDeviceRegistryPropertyA, 1, os::kErrorInvalidData, kNone,
       TFirmwareState::Absent},
      {"the device turns out to have no ids", Call::SetupDiGetDeviceRegistryPropertyA, 3, os::kErrorInvalidData,
       kLast, TFirmwareState::Absent},
      {"the list cannot be destroyed", Call::SetupDiDestroyDeviceInfoList, 1, os::kErrorInvalidHandle, kLast,
       TFirmwareState::Present},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    FreshPc();
    const char* others[] = {"PNP0C0C", "PNP0A08", "PNP0C02"};
    for (int i = 0; i < 3; ++i) {
      const std::string id = i == r.firmwareAt ? "INT3392" : others[i];
      pc.AddAcpiDevice({"ACPI\\" + id, "*" + id});
    }
    pc.FailNth(r.kind, r.nth, r.error);
    EXPECT_EQ(DetectRapidStartFirmware(), r.expected);
    if (r.kind == Call::SetupDiGetClassDevsByEnumeratorA) {
      EXPECT_EQ(pc.Count(Call::SetupDiDestroyDeviceInfoList), 0) << "nothing to destroy";
    } else {
      EXPECT_EQ(pc.Count(Call::SetupDiDestroyDeviceInfoList), 1);
    }
    if (r.kind != Call::SetupDiDestroyDeviceInfoList) {
      EXPECT_EQ(pc.OpenHandles(), 0);
    }
  }
}

// The walk asks every device in order and reads each one's ids, until the
// end of the list says ERROR_NO_MORE_ITEMS.
TEST_F(Firmware, AbsentMeansEveryDeviceWasRead) {
  for (int i = 0; i < 5; ++i) pc.AddAcpiDevice({"ACPI\\PNP0C0" + std::to_string(i)});
  pc.AddAcpiDevice({"ACPI\\INT3392"}).Present = false;
  EXPECT_EQ(DetectRapidStartFirmware(), TFirmwareState::Absent);
  EXPECT_EQ(pc.Count(Call::SetupDiEnumDeviceInfo), 6);
  EXPECT_EQ(pc.Count(Call::SetupDiGetDeviceRegistryPropertyA), 5);
  EXPECT_EQ(pc.Count(Call::SetupDiDestroyDeviceInfoList), 1);
}

}  // namespace

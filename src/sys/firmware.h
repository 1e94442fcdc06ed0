// Whether this PC's firmware offers Intel Rapid Start: such firmware reports
// an ACPI device with the hardware id INT3392, which Windows lists among the
// present devices as "ACPI\INT3392".
#pragma once

enum class TFirmwareState { Present, Absent, Unknown };

// Present or Absent from the present devices' hardware ids; Unknown when the
// device list could not be read.
TFirmwareState DetectRapidStartFirmware();
// "Present", "Absent" or "Unknown".
const char* FirmwareStateText(TFirmwareState state);

#include "sys/firmware.h"

TFirmwareState DetectRapidStartFirmware() { return TFirmwareState::Unknown; }

const char* FirmwareStateText(TFirmwareState state) {
  switch (state) {
    case TFirmwareState::Present: return "Present";
    case TFirmwareState::Absent: return "Absent";
    default: return "Unknown";
  }
}

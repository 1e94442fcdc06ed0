// TMainForm: the program's only window. It owns the disk model, the workflows
// and the widgets; every handler is a plain method so native tests can drive it.
#pragma once

#include "disk/disk.h"
#include "widgets/widgets.h"

class TMainForm : public TForm {
 public:
  static constexpr int kClientWidth = 700;
  static constexpr int kClientHeight = 349;

  TMainForm();
  ~TMainForm() override;
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  void FormCreate() {}
  void FormClose() {}
  void FormDestroy();
  // Releases the process-wide services in a fixed order.
  void ReleaseServices();

  bool DebugMode = false;
  bool UseIo = false;
  bool CanResize = false;

  // ---- disk model ----
  // Rebuilds DiskInfo/DiskCount from the drivers and logs the disk block; always true.
  bool ScanDisks();
  // Sets the Rapid Start indices to the first Rapid Start partition in disk,
  // then partition, order; true when one was found.
  bool FindRapidStartPart();
  _DiskInfo DiskInfo[kMaxDisks] = {};
  int32_t DiskCount = 0;
  int32_t DiskIndex = 0;  // positions in DiskInfo, never drive numbers; -1: none
  int32_t PartIndex = -1;
  int32_t RapidStartDiskIndex = -1;
  int32_t RapidStartPartIndex = -1;

  // ---- direct partition operations ----
  void SetRapidStartPartIdUseIo(int32_t diskNum, int32_t partNum);
  void DeletePartitionUseIo(int32_t diskNum, int32_t partNum);
  // The number the next partition made on DiskInfo[diskIndex] will get; -1
  // when that disk is not in the model or its layout is unknown.
  int32_t GetNewPartitionNumber(int32_t diskIndex);
};

// The one main window while it exists.
extern TMainForm* MainForm;

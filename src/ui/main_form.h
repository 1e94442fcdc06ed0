// TMainForm: the program's only window. It owns the disk model, the widgets
// and the two workflows, and wires them together; every handler is a plain
// method so native tests can drive it.
//
//   main_form.cpp         start-up and teardown
//   main_form_layout.cpp  the controls, their places and looks; HighlightDisk, SelectPartSizeItem
//   status_line.cpp       RefreshWindow, the status line and the restart question
//   disk_strip.cpp        FormShow, the disk tiles, their paging and the arrow keys
//   create_workflow.cpp   what happens on "Create"
//   delete_workflow.cpp   what happens on "Delete"
#pragma once

#include <string>
#include <vector>

#include "disk/disk_model.h"
#include "partops/disk_part.h"
#include "partops/run_owner.h"
#include "sys/firmware.h"
#include "ui/create_workflow.h"
#include "ui/delete_workflow.h"
#include "widgets/widgets.h"
// The smallest size item that holds memoryMb of installed memory, with no
// tolerance (what the firmware needs); 0 when none is large enough.
uint32_t SmallestSizeHolding(uint32_t memoryMb);
// A size for the user: "4 GB", "7.8 GB" (tenths, truncated), "512 MB" below 1 GB.
std::string GbText(uint64_t mb);


class TMainForm : public TForm, public TDiskModel {
 public:
  static constexpr char kNoSpaceNote[] =
      "Please make sure the hard disk have enough space to create the hidden partition.";
  static constexpr int kClientWidth = 700;
  static constexpr int kClientHeight = 349;
  static constexpr char kTitle[] = "Ortavel - Intel Rapid Start";
  static constexpr uint32_t kTempPathChars = 260;
  static constexpr int kEmptyTileTag = 999;
  static constexpr int kTiles = 3;

  TMainForm();
  ~TMainForm() override;

  // ---- start-up and teardown ----
  void FormCreate() {}
  // While a Create or Delete runs, asks whether to close all the same
  // (No is the default); true when the window may close.
  bool FormCloseQuery();
  void FormClose() {}
  void FormDestroy();
  // Releases the process-wide services in a fixed order.
  void ReleaseServices();

  bool DebugMode = false;
  bool UseIo = false;
  bool CanResize = false;
  int32_t OsFamily = -1;
  std::string ExePath;         // the executable's directory, with its trailing backslash
  std::string TempDir;         // as GetTempPathA returned it
  uint32_t PhysicalMemorySize = 0;  // MB
  TFirmwareState Firmware = TFirmwareState::Unknown;  // whether the firmware offers Rapid Start, read at start-up
  // Driven from the command line, with no one to answer: the restart
  // question is not asked (RestartPending stays set for the caller).
  bool Unattended = false;
  int32_t DiskIndex = 0;            // the selected disk, a position in DiskInfo; -1: none

  // ---- layout ----
  // Gives every tile the normal look, then the selected look to the tile
  // showing disk index diskIndex, if one does.
  void HighlightDisk(int32_t diskIndex);
  // Selects the size item that fits sizeInMB (100 MB of tolerance above each).
  void SelectPartSizeItem(uint32_t sizeInMB);

  // ---- status line and restart question ----
  void RefreshWindow();
  void StatusTimerTimer();
  // A Create or Delete is under way (its timer runs, or it is finishing).
  bool WorkflowRunning() const;
  std::string StatusPrefix;
  std::string StatusText;
  int32_t StatusAnimStep = 0;
  bool RestartPending = false;

  // ---- disk strip ----
  void FormShow();
  void FillDiskPanel();
  void ShowTileFacts();
  void LeftButtonClick();
  void RightButtonClick();
  void Disk0ImageClick(TControl& sender);
  // Left (-1) and Right (+1): the disk beside the selected one.
  void MoveSelection(int step);
  // The keyboard focus to the selected disk's tile, when it is in view.
  void FocusSelectedTile();
  int32_t FirstVisibleDisk = 0;

  // ---- workflows ----
  // What the user is asked before a Create of sizeTag MB on the selected
  // disk, in order: only the questions whose answer can matter.
  std::vector<std::string> CreateQuestions(int sizeTag) const;
  void CreateButtonClick();
  void CreateTimerTimer() { CreateFlow.CreateTimerTimer(); }
  void DeleteButtonClick();
  void DeleteTimerTimer() { DeleteFlow.DeleteTimerTimer(); }

  // ---- the controls, parents before children ----
  TImage MainImage{"MainImage", this};
  TImage Image1{"Image1", this};
  TPanel Panel1{"Panel1", this};
  TPanel TopPanel{"TopPanel", &Panel1};
  TGradientLabel StatusLabel{"StatusLabel", &TopPanel};
  TLabel NoteLabel{"NoteLabel", &TopPanel};
  TPanel DiskPanel{"DiskPanel", &Panel1};
  // The tiles before the arrows: Tab reaches them in this order.
  TPanel Disk0Panel{"Disk0Panel", &DiskPanel};
  TPanel SubDisk0Panel{"SubDisk0Panel", &Disk0Panel};
  TImage Disk0Image{"Disk0Image", &SubDisk0Panel};
  TGradientLabel Disk0Label{"Disk0Label", &Disk0Panel};
  TPanel Disk1Panel{"Disk1Panel", &DiskPanel};
  TPanel SubDisk1Panel{"SubDisk1Panel", &Disk1Panel};
  TImage Disk1Image{"Disk1Image", &SubDisk1Panel};
  TGradientLabel Disk1Label{"Disk1Label", &Disk1Panel};
  TPanel Disk2Panel{"Disk2Panel", &DiskPanel};
  TPanel SubDisk2Panel{"SubDisk2Panel", &Disk2Panel};
  TImage Disk2Image{"Disk2Image", &SubDisk2Panel};
  TGradientLabel Disk2Label{"Disk2Label", &Disk2Panel};
  TPanel LeftPanel{"LeftPanel", &DiskPanel};
  TGlassButton LeftButton{"LeftButton", &LeftPanel};
  TPanel RightPanel{"RightPanel", &DiskPanel};
  TGlassButton RightButton{"RightButton", &RightPanel};
  TPanel PartSizePanel{"PartSizePanel", this};
  TGradientLabel GradientLabel1{"GradientLabel1", &PartSizePanel};
  TSmoothComboBox PartSizeComboBox{"PartSizeComboBox", &PartSizePanel};
  TSmoothListBox DescriptionListBox{"DescriptionListBox", this};
  TGlassButton CreateButton{"CreateButton", this};
  TGlassButton DeleteButton{"DeleteButton", this};
  TRichEdit ConsoleRichEdit{"ConsoleRichEdit", this};
  TTimer CreateTimer{*this, "CreateTimer"};
  TTimer DeleteTimer{*this, "DeleteTimer"};
  TTimer StatusTimer{*this, "StatusTimer"};
  // Ends the pauses between workflow steps, so the window keeps answering.
  TTimer PauseTimer{*this, "PauseTimer", kStepPauseMs};

  // The tiles by position, left to right.
  TPanel* const SubDiskPanels[kTiles] = {&SubDisk0Panel, &SubDisk1Panel, &SubDisk2Panel};
  TImage* const DiskImages[kTiles] = {&Disk0Image, &Disk1Image, &Disk2Image};
  TGradientLabel* const DiskLabels[kTiles] = {&Disk0Label, &Disk1Label, &Disk2Label};

  // ---- runs, scripts and workflows ----
  TRunOwner Runs;
  TDiskPart DiskPart;
  TCreateWorkflow CreateFlow;
  TDeleteWorkflow DeleteFlow;

 private:
  void BuildControls();
  TWorkflowContext Context();
  // The click found another run changing disks: the user is told.
  void TellLockRefused(const std::string& why);
};

// The one main window while it exists.
extern TMainForm* MainForm;

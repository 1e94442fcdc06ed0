// TMainForm: the program's only window, a view of one disk session. It owns
// the widgets and the session, shows the session's model and status, and
// hands the user's clicks to it; every handler is a plain method so native
// tests can drive it.
//
//   main_form.cpp          start-up and teardown; the Create and Delete clicks
//   main_form_layout.cpp   the controls, their places and looks; HighlightDisk, SelectPartSizeItem
//   main_form_status.cpp   RefreshWindow, the status line and the restart question
//   main_form_disks.cpp    FormShow, the disk tiles, their paging and the arrow keys
//   session.cpp            the disk session: start-up values, model, runs, workflows
//   create_workflow.cpp    what happens on "Create"
//   delete_workflow.cpp    what happens on "Delete"
#pragma once

#include <string>
#include <vector>

#include "ui/session.h"
#include "widgets/widgets.h"
// A size for the user: "4 GB", "7.8 GB" (tenths, truncated), "512 MB" below 1 GB.
std::string GbText(uint64_t mb);

class TMainForm : public TForm {
 public:
  static constexpr char kNoSpaceNote[] =
      "Please make sure the hard disk have enough space to create the hidden partition.";
  static constexpr int kClientWidth = 700;
  static constexpr int kClientHeight = 349;
  static constexpr char kTitle[] = "Ortavel - Intel Rapid Start";
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
  std::string StatusPrefix;
  int32_t StatusAnimStep = 0;

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
  void DeleteButtonClick();

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

  // The tiles by position, left to right.
  TPanel* const SubDiskPanels[kTiles] = {&SubDisk0Panel, &SubDisk1Panel, &SubDisk2Panel};
  TImage* const DiskImages[kTiles] = {&Disk0Image, &Disk1Image, &Disk2Image};
  TGradientLabel* const DiskLabels[kTiles] = {&Disk0Label, &Disk1Label, &Disk2Label};

  // What the window shows; its timers run on the window.
  TDiskSession Session{*this};

 private:
  void BuildControls();
  // The click found another run changing disks: the user is told.
  void TellLockRefused(const std::string& why);
};

// The one main window while it exists.
extern TMainForm* MainForm;

// The window's controls as they are built: parents, places, start states,
// fonts, colours, the size items and the help text; and the two view
// operations on them, HighlightDisk and SelectPartSizeItem.
#include "ui/main_form.h"

#include "shell/log_kv.h"
#include "ui/part_sizes.h"

namespace {

struct HelpLine {
  const char* Text;
  TColor Color;
  bool Bold;
};
const HelpLine kHelpLines[] = {
    {"Intel Rapid Start", clBlue, true},
    {"By creating a hidden partition and save", clBlack, false},
    {"data to the hidden partition when system", clBlack, false},
    {"goes into standby, Rapid Start allows", clBlack, false},
    {"system returning to where you left off", clBlack, false},
    {"with a PC that goes from deep-sleep to", clBlack, false},
    {"full awake in a flash.", clBlack, false},
    {" ", clGray, false},
    {"How to activate?", clWindowText, true},
    {"Step 1: Select the disk for the hidden", clBlack, false},
    {"           partition. (SSD is recommended)", clBlack, false},
    {"Step 2: Set the hidden partition size.", clBlack, false},
    {"Step 3: Press \"Create\" to create", clBlack, false},
    {"           the hidden partition.", clBlack, false},
};

// The status line's own colours; the tile captions use the looks below.
constexpr TColor kStatusStart = Rgb(0, 40, 85);
constexpr TColor kStatusEnd = Rgb(40, 110, 170);
constexpr TColor kTileNormalStart = clMedGray, kTileNormalEnd = clGray;
constexpr TColor kTileSelectedStart = clGray, kTileSelectedEnd = clBlack;

TFont Tahoma(int sizePt, TColor color = clWindowText, bool bold = false) {
  TFont f;
  f.SizePt = sizePt;
  f.Color = color;
  f.Bold = bold;
  return f;
}

void Dock(TControl& c, TAlign align, int width, int height) {
  c.SetBounds(0, 0, width, height);
  c.SetAlign(align);
}

}  // namespace

void TMainForm::BuildControls() {
  SetCaption(kTitle);
  SetClientSize(kClientWidth, kClientHeight);

  MainImage.SetBounds(0, 8, 700, 350);
  MainImage.SetPicture("BACKGROUND");
  Image1.SetBounds(472, 73, 220, 177);
  Image1.SetPicture("COMPUTER");

  Panel1.SetBounds(8, 83, 460, 220);
  Dock(TopPanel, TAlign::Top, 460, 40);
  Dock(StatusLabel, TAlign::Top, 460, 27);
  StatusLabel.SetFont(Tahoma(14));
  StatusLabel.SetGradient(kStatusStart, kStatusEnd);
  StatusLabel.TextPlace = TTextPlace::BottomLeft;
  Dock(NoteLabel, TAlign::Bottom, 460, 13);
  NoteLabel.SetFont(Tahoma(8, clRed));
  NoteLabel.SetCaption(kNoSpaceNote);
  NoteLabel.SetVisible(false);
  Dock(DiskPanel, TAlign::Client, 460, 180);

  const int tileLeft[kTiles] = {20, 160, 300};
  TPanel* tilePanels[kTiles] = {&Disk0Panel, &Disk1Panel, &Disk2Panel};
  for (int p = 0; p < kTiles; ++p) {
    tilePanels[p]->SetBounds(tileLeft[p], 0, 140, 180);
    Dock(*SubDiskPanels[p], TAlign::Top, 140, 150);
    Dock(*DiskImages[p], TAlign::Client, 140, 150);
    DiskImages[p]->SetPicture("DISK");
    DiskImages[p]->SetTag(p);
    DiskImages[p]->TabStop = true;
    DiskImages[p]->OnClick = [this](TControl& sender) { Disk0ImageClick(sender); };
    Dock(*DiskLabels[p], TAlign::Bottom, 140, 30);
    DiskLabels[p]->SetFont(Tahoma(14));
    DiskLabels[p]->SetGradient(kTileNormalStart, kTileNormalEnd);
  }
  Dock(LeftPanel, TAlign::Left, 20, 180);
  Dock(RightPanel, TAlign::Right, 20, 180);
  for (TGlassButton* arrow : {&LeftButton, &RightButton}) {
    arrow->SetBounds(4, 158, 16, 16);
    arrow->Color = clWhite;
    arrow->SymbolColor = clBlack;
    arrow->CornerRadius = 3;
    arrow->SetVisible(false);
  }
  LeftButton.Arrow = TArrow::Left;
  LeftButton.AccessibleName = "Previous disk";
  LeftButton.SetHint("Show the disks to the left");
  LeftButton.OnClick = [this](TControl&) { LeftButtonClick(); };
  RightButton.Arrow = TArrow::Right;
  RightButton.AccessibleName = "Next disk";
  RightButton.SetHint("Show the disks to the right");
  RightButton.OnClick = [this](TControl&) { RightButtonClick(); };
  // Left and Right move the selection from a tile, an arrow, or the form,
  // which holds the focus once a hidden arrow or a disabled button gave it up.
  TControl* const keyed[] = {&Disk0Image, &Disk1Image, &Disk2Image, &LeftButton, &RightButton, this};
  for (TControl* c : keyed) c->OnKeyDown = [this](TControl&, TKey key) { MoveSelection(key == TKey::Left ? -1 : 1); };

  PartSizePanel.SetBounds(0, 311, 273, 30);
  GradientLabel1.SetBounds(13, 2, 127, 21);
  GradientLabel1.SetFont(Tahoma(14));
  GradientLabel1.SetGradient(clGray, clGray);
  GradientLabel1.TextPlace = TTextPlace::Left;
  GradientLabel1.SetCaption("Partition Size:");
  PartSizeComboBox.SetBounds(136, 2, 80, 25);
  PartSizeComboBox.SetFont(Tahoma(12, clBlack));
  PartSizeComboBox.DropDownWidth = 60;
  // Tall enough for every item, no scrolling.
  PartSizeComboBox.DropDownHeight =
      static_cast<int>(kPartSizeCount) * PartSizeComboBox.ItemHeight + 2;
  for (const TPartSize& size : kPartSizes) PartSizeComboBox.AddItem({size.Caption, size.SizeInMB, clBlack});
  PartSizeComboBox.SetHint("The size of the partition; it should hold the installed memory");

  DescriptionListBox.SetBounds(472, 243, 220, 56);
  for (const HelpLine& line : kHelpLines) DescriptionListBox.Items.push_back({line.Text, Tahoma(8, line.Color, line.Bold)});

  CreateButton.SetBounds(496, 311, 80, 30);
  CreateButton.SetCaption("Create");
  CreateButton.SetHint("Make the Rapid Start partition on the selected disk");
  CreateButton.OnClick = [this](TControl&) { CreateButtonClick(); };
  DeleteButton.SetBounds(582, 311, 80, 30);
  DeleteButton.SetCaption("Delete");
  DeleteButton.SetHint("Remove the Rapid Start partition and give its space back");
  DeleteButton.OnClick = [this](TControl&) { DeleteButtonClick(); };

  ConsoleRichEdit.SetBounds(344, 307, 98, 30);
  ConsoleRichEdit.SetVisible(false);
}

void TMainForm::HighlightDisk(int32_t diskIndex) {
  LogHeading("DiskPanelCtrl");
  LogKv("DiskIndex", diskIndex);
  int32_t pos = -1;
  for (int p = 0; p < kTiles && pos < 0; ++p)
    if (DiskLabels[p]->Tag() == diskIndex) pos = p;
  // Each tile goes straight to its look: a marked tile that stays marked is
  // not unmarked and marked again, which would paint it twice.
  for (int p = 0; p < kTiles; ++p) {
    const bool marked = p == pos;
    SubDiskPanels[p]->SetBevelOuter(marked ? TBevel::Raised : TBevel::None);
    DiskLabels[p]->SetGradient(marked ? kTileSelectedStart : kTileNormalStart,
                               marked ? kTileSelectedEnd : kTileNormalEnd);
  }
  LogKv("PosIndex", pos);
}

// The box holds the size items in their order.
void TMainForm::SelectPartSizeItem(uint32_t sizeInMB) {
  PartSizeComboBox.SetItemIndex(static_cast<int>(PartSizeIndexFor(sizeInMB)));
}

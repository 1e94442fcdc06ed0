// The main window: its controls as built, the disk strip and its paging, the
// status line, the enabling rules and the restart question, driven through
// the handlers a renderer calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "form_fixture.h"

namespace {

constexpr uint64_t kMiB = kBytesPerMb;
constexpr uint64_t kGiB = SimDisks::kGiB;

// A tile's hint names its disk on the first line, as the status line does.
std::string FirstLine(const std::string& hint) { return hint.substr(0, hint.find("\r\n")); }

class MainWindow : public FormTest {
 protected:
  // n fixed MBR disks with one data partition each; products "Disk product k".
  void Disks(int n) {
    for (int k = 0; k < n; ++k) {
      SimDrive& d = pc.Disks.AddMbrDisk(k, 64 * kGiB);
      d.Descriptor.Product = "Disk product " + std::to_string(k);
      d.AddPrimary(0x07, kMiB, 32 * kGiB);
    }
  }
  TMainForm& Shown() {
    Form().Shown();
    return Form();
  }
  std::vector<std::string> Captions() {
    std::vector<std::string> out;
    for (TGradientLabel* l : Form().DiskLabels) out.push_back(l->Visible() ? l->Caption() : "-");
    return out;
  }
  std::vector<int> Tags() {
    std::vector<int> out;
    for (TGradientLabel* l : Form().DiskLabels) out.push_back(l->Tag());
    return out;
  }
  // Which tile has the selected look: -1 for none; -2 when the looks disagree.
  int MarkedTile() {
    int marked = -1;
    for (int p = 0; p < TMainForm::kTiles; ++p) {
      const bool bevel = Form().SubDiskPanels[p]->BevelOuter() == TBevel::Raised;
      const bool dark = Form().DiskLabels[p]->ColorEnd() == clBlack;
      if (bevel != dark) return -2;
      if (bevel) marked = marked == -1 ? p : -2;
    }
    return marked;
  }
};

TEST_F(MainWindow, ControlsAreBuiltInTheirPlaces) {
  struct Row {
    const char* name;
    TRect formPlace;
  };
  // Places in the window's client area; docked controls as docking lays them out.
  const Row rows[] = {
      {"MainImage", {0, 8, 700, 350}},        {"Image1", {472, 73, 220, 177}},
      {"Panel1", {8, 83, 460, 220}},          {"TopPanel", {8, 83, 460, 40}},
      {"StatusLabel", {8, 83, 460, 27}},      {"NoteLabel", {8, 110, 460, 13}},
      {"DiskPanel", {8, 123, 460, 180}},      {"LeftPanel", {8, 123, 20, 180}},
      {"LeftButton", {12, 281, 16, 16}},      {"Disk0Panel", {28, 123, 140, 180}},
      {"SubDisk1Panel", {168, 123, 140, 150}}, {"Disk2Image", {308, 123, 140, 150}},
      {"Disk2Label", {308, 273, 140, 30}},    {"RightPanel", {448, 123, 20, 180}},
      {"RightButton", {452, 281, 16, 16}},    {"PartSizePanel", {0, 311, 273, 30}},
      {"GradientLabel1", {13, 313, 127, 21}}, {"PartSizeComboBox", {136, 313, 80, 25}},
      {"DescriptionListBox", {472, 243, 220, 56}}, {"CreateButton", {496, 311, 80, 30}},
      {"DeleteButton", {582, 311, 80, 30}},   {"ConsoleRichEdit", {344, 307, 98, 30}},
  };
  TMainForm& f = Form();
  EXPECT_EQ(f.Caption(), "Ortavel - Intel Rapid Start");
  EXPECT_EQ(f.ClientWidth(), 700);
  EXPECT_EQ(f.ClientHeight(), 349);
  for (const Row& r : rows) {
    TControl* c = f.FindControl(r.name);
    ASSERT_NE(c, nullptr) << r.name;
    EXPECT_EQ(c->FormBounds(), r.formPlace) << r.name;
  }
  // A raised bevel narrows the picture inside the tile, as docking does.
  f.SubDisk0Panel.SetBevelOuter(TBevel::Raised);
  EXPECT_EQ(f.Disk0Image.FormBounds(), (TRect{30, 125, 136, 146}));
}

TEST_F(MainWindow, StartStates) {
  TMainForm& f = Form();
  EXPECT_FALSE(f.LeftButton.Visible());
  EXPECT_FALSE(f.RightButton.Visible());
  EXPECT_FALSE(f.NoteLabel.Visible());
  EXPECT_FALSE(f.ConsoleRichEdit.Visible());
  for (TTimer* t : {&f.Session.CreateTimer, &f.Session.DeleteTimer, &f.Session.StatusTimer}) {
    EXPECT_FALSE(t->Enabled()) << t->Name();
    EXPECT_EQ(t->Interval(), 1000u) << t->Name();
  }
  EXPECT_EQ(f.NoteLabel.Caption(), "Please make sure the hard disk have enough space to create the hidden partition.");
  EXPECT_EQ(f.NoteLabel.Font().Color, clRed);
  EXPECT_EQ(f.GradientLabel1.Caption(), "Partition Size:");
  EXPECT_EQ(f.CreateButton.Caption(), "Create");
  EXPECT_EQ(f.DeleteButton.Caption(), "Delete");
  EXPECT_EQ(f.CreateButton.CornerRadius, 5);
  EXPECT_EQ(f.LeftButton.Arrow, TArrow::Left);
  EXPECT_EQ(f.RightButton.CornerRadius, 3);
  for (int p = 0; p < TMainForm::kTiles; ++p) EXPECT_EQ(f.DiskImages[p]->Tag(), p);

  std::vector<std::pair<std::string, int>> items;
  for (const TComboItem& i : f.PartSizeComboBox.Items()) items.emplace_back(i.Caption, i.Tag);
  EXPECT_EQ(items, (std::vector<std::pair<std::string, int>>{
                       {"2 GB", 2048}, {"4 GB", 4096}, {"8 GB", 8192}, {"16 GB", 16384}, {"32 GB", 32768},
                       {"64 GB", 65536}}));
  EXPECT_GE(f.PartSizeComboBox.DropDownHeight, 6 * f.PartSizeComboBox.ItemHeight) << "six items without scrolling";

  const std::vector<std::string> help = {
      "Intel Rapid Start",
      "By creating a hidden partition and save",
      "data to the hidden partition when system",
      "goes into standby, Rapid Start allows",
      "system returning to where you left off",
      "with a PC that goes from deep-sleep to",
      "full awake in a flash.",
      " ",
      "How to activate?",
      "Step 1: Select the disk for the hidden",
      "           partition. (SSD is recommended)",
      "Step 2: Set the hidden partition size.",
      "Step 3: Press \"Create\" to create",
      "           the hidden partition.",
  };
  ASSERT_EQ(f.DescriptionListBox.Items.size(), help.size());
  for (std::size_t i = 0; i < help.size(); ++i) EXPECT_EQ(f.DescriptionListBox.Items[i].Caption, help[i]) << i;
  EXPECT_TRUE(f.DescriptionListBox.Items[0].Font.Bold);
  EXPECT_EQ(f.DescriptionListBox.Items[0].Font.Color, clBlue);
  EXPECT_EQ(f.DescriptionListBox.Items[7].Font.Color, clGray);
  EXPECT_EQ(f.DescriptionListBox.Items[8].Font.Color, clWindowText);
  EXPECT_EQ(f.DescriptionListBox.ItemHeight, 14);
}

TEST_F(MainWindow, SizeIsPreselectedFromMemory) {
  struct Row {
    uint32_t mb;
    const char* item;
  };
  const Row rows[] = {{0, "2 GB"},       {2148, "2 GB"},     {2149, "4 GB"},  {8292, "8 GB"},
                      {8293, "16 GB"},   {16384, "16 GB"},   {16484, "16 GB"}, {16485, "32 GB"},
                      {32868, "32 GB"},  {32869, "64 GB"},   {65636, "64 GB"}, {4294967295u, "64 GB"}};
  for (const Row& r : rows) {
    Form().SelectPartSizeItem(r.mb);
    const int i = Form().PartSizeComboBox.ItemIndex();
    ASSERT_GE(i, 0);
    EXPECT_EQ(Form().PartSizeComboBox.Items()[i].Caption, r.item) << r.mb;
  }
}

TEST(SizeTexts, WholeGbTenthsAndMb) {
  const std::pair<uint64_t, const char*> rows[] = {
      {0, "0 MB"}, {1023, "1023 MB"}, {1024, "1 GB"}, {4096, "4 GB"}, {4197, "4 GB"},
      {7987, "7.7 GB"}, {8300, "8.1 GB"}, {65536, "64 GB"}, {1048576, "1024 GB"},
  };
  for (const auto& [mb, text] : rows) EXPECT_EQ(GbText(mb), text) << mb;
}

// What the strip shows at start for 0 to 64 disks, and as it pages.
TEST_F(MainWindow, StripFillsAndPagesOneDiskAtATime) {
  struct Row {
    int disks;
    std::vector<std::string> captions;
    std::vector<int> tags;
    bool right;
  };
  const Row rows[] = {
      {0, {"-", "-", "-"}, {999, 999, 999}, false},
      {1, {"Disk0", "-", "-"}, {0, 999, 999}, false},
      {2, {"Disk0", "Disk1", "-"}, {0, 1, 999}, false},
      {3, {"Disk0", "Disk1", "Disk2"}, {0, 1, 2}, false},
      {4, {"Disk0", "Disk1", "Disk2"}, {0, 1, 2}, true},
      {64, {"Disk0", "Disk1", "Disk2"}, {0, 1, 2}, true},
  };
  for (const Row& r : rows) {
    CloseWindow();
    ResetServices();
    pc.Disks.Drives.clear();
    Disks(r.disks);
    TMainForm& f = Shown();
    EXPECT_EQ(Captions(), r.captions) << r.disks;
    EXPECT_EQ(Tags(), r.tags) << r.disks;
    EXPECT_FALSE(f.LeftButton.Visible()) << r.disks;
    EXPECT_EQ(f.RightButton.Visible(), r.right) << r.disks;
    // No fixed disk: nothing to act on, and the status line says why.
    EXPECT_EQ(f.StatusLabel.Caption() == "No fixed disk found.", r.disks == 0) << f.StatusLabel.Caption();
    EXPECT_EQ(f.CreateButton.Enabled(), r.disks > 0) << r.disks;
    EXPECT_EQ(f.PartSizeComboBox.Enabled(), r.disks > 0) << r.disks;
    for (int p = 0; p < TMainForm::kTiles; ++p) {
      EXPECT_EQ(f.DiskImages[p]->Visible(), p < r.disks) << r.disks;
      if (p < r.disks) {
        EXPECT_EQ(FirstLine(f.DiskImages[p]->Hint()), "Disk " + std::to_string(p) + ": Disk product " + std::to_string(p));
      }
    }
    if (!r.right) continue;
    // Right until the last disk sits in tile 2, then left back to the start.
    int clicks = 0;
    while (f.RightButton.Visible()) {
      f.RightButtonClick();
      ++clicks;
      EXPECT_TRUE(f.LeftButton.Visible());
    }
    EXPECT_EQ(clicks, r.disks - 3);
    EXPECT_EQ(Captions().back(), "Disk" + std::to_string(r.disks - 1));
    EXPECT_EQ(FirstLine(f.DiskImages[2]->Hint()),
              "Disk " + std::to_string(r.disks - 1) + ": Disk product " + std::to_string(r.disks - 1));
    EXPECT_EQ(MarkedTile(), -1) << "disk 0 is out of view";
    while (f.LeftButton.Visible()) f.LeftButtonClick();
    EXPECT_EQ(f.FirstVisibleDisk, 0);
    EXPECT_EQ(MarkedTile(), 0) << "the mark follows the selected disk";
    EXPECT_EQ(f.DiskIndex, 0) << "paging never selects";
  }
}

TEST_F(MainWindow, MarkFollowsTheSelectedDiskWhenPaging) {
  Disks(5);
  TMainForm& f = Shown();
  f.Disk0ImageClick(*f.DiskImages[2]);
  EXPECT_EQ(f.DiskIndex, 2);
  EXPECT_EQ(MarkedTile(), 2);
  f.RightButtonClick();
  EXPECT_EQ(MarkedTile(), 1);
  f.RightButtonClick();
  EXPECT_EQ(MarkedTile(), 0);
  EXPECT_FALSE(f.RightButton.Visible());
  f.LeftButtonClick();
  f.LeftButtonClick();  // no further left than the first disk
  EXPECT_EQ(f.FirstVisibleDisk, 0);
  EXPECT_EQ(MarkedTile(), 2);
}

// Each tile shows its disk's kind and says, in its hint, what the scan found.
TEST_F(MainWindow, TilesShowWhatEachDiskIs) {
  SimDrive& ssd = pc.Disks.AddGptDisk(0, 256 * kGiB);
  ssd.Descriptor.Product = "Fast";
  ssd.AddGptPartition({0xEBD0A0A2, 0xB9E5, 0x4433, {0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}}, kMiB, 200 * kGiB);
  SimDrive& hdd = pc.Disks.AddMbrDisk(2, 500 * kGiB);
  hdd.Descriptor.Product = "Spinning";
  hdd.Media = kSimHdd;
  hdd.AddPrimary(0x07, kMiB, 300 * kGiB);
  hdd.AddPrimary(0x84, 300 * kGiB + kMiB, 8192 * kMiB);
  SimDrive& blank = pc.Disks.AddRawDisk(5, 128 * kGiB);
  blank.Descriptor.Product = "Blank";
  blank.Media = kSimMediaUnknown;
  TMainForm& f = Shown();
  const struct {
    const char* picture;
    const char* hint;
  } tiles[] = {
      {"SSD", "Disk 0: Fast\r\nWindows disk 0 \xB7 256 GB \xB7 GPT \xB7 SSD \xB7 56 GB free"},
      {"DISK",
       "Disk 1: Spinning\r\nWindows disk 2 \xB7 500 GB \xB7 MBR \xB7 HDD \xB7 192 GB free \xB7 Rapid Start partition: 8 GB"},
      {"DISK", "Disk 2: Blank\r\nWindows disk 5 \xB7 128 GB \xB7 RAW \xB7 128 GB free"},
  };
  for (int p = 0; p < TMainForm::kTiles; ++p) {
    EXPECT_EQ(f.DiskImages[p]->Picture(), tiles[p].picture) << p;
    EXPECT_EQ(f.DiskImages[p]->Hint(), tiles[p].hint) << p;
  }
}

// A rescan reaches the tiles at the next RefreshWindow, as a workflow's last
// one does: a new Rapid Start partition shows in its disk's hint, and a disk
// no longer found leaves its tile empty rather than showing what it was.
TEST_F(MainWindow, TilesFollowARescan) {
  Disks(3);
  TMainForm& f = Shown();
  pc.Disks.FindDrive(1)->AddPrimary(0x84, 40 * kGiB, 4096 * kMiB);
  pc.Disks.Drives.pop_back();
  f.Session.Model.ScanDisks();
  f.Session.Model.FindRapidStartPart();
  f.RefreshWindow();
  EXPECT_EQ(f.DiskImages[0]->Hint().find("Rapid Start"), std::string::npos);
  const std::string hint = f.DiskImages[1]->Hint();
  EXPECT_EQ(hint.substr(hint.rfind(" \xB7 ") + 3), "Rapid Start partition: 4 GB");
  EXPECT_FALSE(f.DiskImages[2]->Visible());
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Disk0", "Disk1", "-"}));
  EXPECT_EQ(Tags()[2], TMainForm::kEmptyTileTag);
}

// Left and Right from the focused control, on a strip of five disks: the
// selection moves one disk, the strip pages to keep it in view, the focus
// and the mark stay on its tile, and nothing moves past either end.
TEST_F(MainWindow, LeftAndRightMoveTheSelectionAndPage) {
  Disks(5);
  TMainForm& f = Shown();
  ASSERT_EQ(focused, f.DiskImages[0]) << "the selected tile has the focus from the start";
  const struct {
    TKey key;
    int32_t disk, first;  // DiskIndex, FirstVisibleDisk after the key
    const char* arrows;   // left and right arrow shown
  } steps[] = {
      {TKey::Right, 1, 0, "01"}, {TKey::Right, 2, 0, "01"}, {TKey::Right, 3, 1, "11"}, {TKey::Right, 4, 2, "10"},
      {TKey::Right, 4, 2, "10"}, {TKey::Left, 3, 2, "10"},  {TKey::Left, 2, 2, "10"},  {TKey::Left, 1, 1, "11"},
      {TKey::Left, 0, 0, "01"},  {TKey::Left, 0, 0, "01"},
  };
  for (const auto& s : steps) {
    const std::string where = std::to_string(s.disk) + "/" + std::to_string(s.first);
    ASSERT_TRUE(focused->KeyDown(s.key)) << where;
    EXPECT_EQ(f.DiskIndex, s.disk) << where;
    EXPECT_EQ(f.FirstVisibleDisk, s.first) << where;
    EXPECT_EQ(std::string(1, "01"[f.LeftButton.Visible()]) + "01"[f.RightButton.Visible()], s.arrows) << where;
    EXPECT_EQ(focused, f.DiskImages[s.disk - s.first]) << where;
    EXPECT_EQ(MarkedTile(), s.disk - s.first) << where;
    EXPECT_EQ(f.StatusLabel.Caption(), "Disk " + std::to_string(s.disk) + ": Disk product " + std::to_string(s.disk));
  }
}

// From the form, which a hidden arrow gave the focus, with the selected disk
// paged out of view: the disk beside it comes into view, chosen as a click
// on its tile would choose it.
TEST_F(MainWindow, AKeyBringsTheNextDiskIntoView) {
  Disks(5);
  TMainForm& f = Shown();
  f.RightButtonClick();
  f.RightButtonClick();
  ASSERT_EQ(MarkedTile(), -1);
  ASSERT_FALSE(f.RightButton.Visible());
  f.Session.StatusText = "Creating.....Failed.";
  ASSERT_TRUE(f.KeyDown(TKey::Right));
  EXPECT_EQ(f.DiskIndex, 1);
  EXPECT_EQ(f.FirstVisibleDisk, 1);
  EXPECT_EQ(focused, f.DiskImages[0]);
  EXPECT_EQ(f.Session.StatusText, "") << "a new choice starts afresh";
  EXPECT_TRUE(f.KeyDown(TKey::Left));
  EXPECT_EQ(f.DiskIndex, 0);
  EXPECT_EQ(f.FirstVisibleDisk, 0);
}

// The keys are ignored where a tile click is: while a workflow runs, and
// while a Rapid Start partition exists. No disk: nothing to select or focus.
TEST_F(MainWindow, KeysAreIgnoredWhereAClickIs) {
  Disks(3);
  pc.Processes.HoldChildren = true;
  TMainForm& f = Shown();
  ClickCreate(f, pc);
  AdvanceMs(1000);
  ASSERT_TRUE(f.Session.WorkflowRunning());
  f.Disk0Image.KeyDown(TKey::Right);
  EXPECT_EQ(f.DiskIndex, 0) << "while a Create runs";
  pc.Processes.HoldChildren = false;
  pc.ReleaseChildren();
  ASSERT_TRUE(RunWorkflow());
  ASSERT_GE(f.Session.Model.RapidStartDiskIndex, 0);
  f.Session.StatusText = "Creating.....Done.";
  f.Disk0Image.KeyDown(TKey::Right);
  EXPECT_EQ(f.DiskIndex, 0) << "with a Rapid Start partition";
  EXPECT_EQ(f.Session.StatusText, "Creating.....Done.");
  EXPECT_EQ(focused, f.DiskImages[0]);

  FreshPc();
  focused = nullptr;
  TMainForm& empty = Shown();
  empty.KeyDown(TKey::Right);
  EXPECT_EQ(empty.DiskIndex, 0);
  EXPECT_EQ(focused, nullptr);
}

TEST_F(MainWindow, HighlightDiskLogsThreeLines) {
  Disks(2);
  TMainForm& f = Shown();
  GetDebugConsole(true);
  pc.ConsoleWrites.clear();
  f.HighlightDisk(5);
  EXPECT_EQ(pc.ConsoleText(), "\r\nDiskPanelCtrl\r\nDiskIndex=5\r\nPosIndex=-1");
  EXPECT_EQ(pc.ConsoleWrites[0].attr, kAttrHeading);
  EXPECT_EQ(MarkedTile(), -1);
  pc.ConsoleWrites.clear();
  f.HighlightDisk(1);
  EXPECT_EQ(pc.ConsoleText(), "\r\nDiskPanelCtrl\r\nDiskIndex=1\r\nPosIndex=1");
  EXPECT_EQ(MarkedTile(), 1);
  EXPECT_EQ(f.DiskLabels[1]->ColorStart(), clGray);
  EXPECT_EQ(f.DiskLabels[0]->ColorStart(), clMedGray);
  EXPECT_EQ(f.DiskLabels[0]->ColorEnd(), clGray);
}

// A refresh that leaves the selection where it is changes no tile's look, so
// the renderer repaints nothing of the strip (the end of every workflow
// refreshes the window).
TEST_F(MainWindow, RefreshWithTheSameSelectionRepaintsNoTile) {
  struct Counter : TWidgetObserver {
    int looks = 0;
    void Changed(TControl&, TChange what) override { looks += what == TChange::Look; }
    void TimerChanged(TTimer&) override {}
  } counter;
  Disks(3);
  TMainForm& f = Shown();
  f.Observer = &counter;
  f.HighlightDisk(f.DiskIndex);
  EXPECT_EQ(counter.looks, 0);
  f.HighlightDisk(2);
  EXPECT_EQ(counter.looks, 4) << "the old tile's bevel and caption, the new one's";
  f.Observer = nullptr;
  EXPECT_EQ(MarkedTile(), 2);
}

TEST_F(MainWindow, StartWithoutRapidStartPartition) {
  Disks(1);
  pc.System.MemoryModules = {SimMemoryModule::Make(4 * kGiB, 8, L"A")};
  TMainForm& f = Shown();
  EXPECT_EQ(f.StatusLabel.Caption(), "Disk 0: Disk product 0");
  EXPECT_FALSE(f.NoteLabel.Visible());
  EXPECT_TRUE(f.CreateButton.Enabled());
  EXPECT_FALSE(f.DeleteButton.Enabled());
  EXPECT_TRUE(f.PartSizeComboBox.Enabled());
  EXPECT_EQ(f.PartSizeComboBox.Items()[f.PartSizeComboBox.ItemIndex()].Caption, "4 GB");
  EXPECT_EQ(f.PartSizeComboBox.Items()[f.PartSizeComboBox.ItemIndex()].FontColor, clBlack);
  EXPECT_EQ(MarkedTile(), 0);
}

TEST_F(MainWindow, StartWithA4GbRapidStartPartitionOnDiskIndex1) {
  Disks(1);
  SimDrive& d = pc.Disks.AddGptDisk(3, 128 * kGiB);
  d.Descriptor.Product = "Second";
  d.AddGptPartition({0xEBD0A0A2, 0xB9E5, 0x4433, {0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}}, kMiB, 60 * kGiB);
  d.AddGptPartition({0xD3BFE2DE, 0x3DAF, 0x11DF, {0xBA, 0x40, 0xE3, 0xA5, 0x56, 0xD8, 0x95, 0x93}}, 61 * kGiB,
                    4096 * kMiB);
  TMainForm& f = Shown();
  EXPECT_EQ(f.DiskIndex, 1);
  EXPECT_EQ(MarkedTile(), 1);
  EXPECT_FALSE(f.PartSizeComboBox.Enabled());
  const TComboItem& shown = f.PartSizeComboBox.Items()[f.PartSizeComboBox.ItemIndex()];
  EXPECT_EQ(shown.Caption, "4 GB");
  EXPECT_EQ(shown.FontColor, clGray);
  EXPECT_FALSE(f.CreateButton.Enabled());
  EXPECT_TRUE(f.DeleteButton.Enabled());
  EXPECT_EQ(f.StatusLabel.Caption(), "Disk 1: Second");
  EXPECT_TRUE(f.NoteLabel.Visible()) << "the partition is named";
  EXPECT_EQ(f.NoteLabel.Caption(), "Rapid Start partition: 4 GB on disk 1.");
  EXPECT_EQ(f.NoteLabel.Font().Color, clWindowText);
  // The tiles ignore clicks while it exists: not even the status text changes.
  f.Session.StatusText = "Deleting.....Done.";
  f.Disk0ImageClick(*f.DiskImages[0]);
  EXPECT_EQ(f.DiskIndex, 1);
  EXPECT_EQ(f.Session.StatusText, "Deleting.....Done.");
}

TEST_F(MainWindow, StatusTextsAndNoteThroughAnOperation) {
  Disks(1);
  TMainForm& f = Shown();
  struct Row {
    const char* statusText;
    const char* shown;
    bool note;
  };
  const Row rows[] = {
      {"", "Disk 0: Disk product 0", false},
      {"Creating", "Disk 0: Disk product 0, Creating", false},
      {"Creating.....Failed.", "Disk 0: Disk product 0, Creating.....Failed.", true},
      {"Creating.....Done.", "Disk 0: Disk product 0, Creating.....Done.", false},
      {"Deleting", "Disk 0: Disk product 0, Deleting", false},
      {"Deleting.....Done.", "Disk 0: Disk product 0, Deleting.....Done.", false},
      {"Deleting.....Failed.", "Disk 0: Disk product 0, Deleting.....Failed.", false},
  };
  for (const Row& r : rows) {
    f.Session.StatusText = r.statusText;
    f.RefreshWindow();
    EXPECT_EQ(f.StatusLabel.Caption(), r.shown);
    EXPECT_EQ(f.NoteLabel.Visible(), r.note) << r.statusText;
  }
  f.Session.StatusText = "Creating.....Failed.";
  f.RefreshWindow();
  EXPECT_TRUE(f.CreateButton.Enabled()) << "a failed Create can be tried again";
  f.Disk0ImageClick(*f.DiskImages[0]);  // the same disk again
  EXPECT_EQ(f.Session.StatusText, "");
  EXPECT_EQ(f.StatusLabel.Caption(), "Disk 0: Disk product 0");
  EXPECT_FALSE(f.NoteLabel.Visible());

  f.DiskIndex = -1;
  f.RefreshWindow();
  EXPECT_EQ(f.StatusLabel.Caption(), "");
  EXPECT_FALSE(f.CreateButton.Enabled());
  EXPECT_TRUE(f.PartSizeComboBox.Enabled());
}

TEST_F(MainWindow, SixStatusTicksMoveTheDotsAndWrap) {
  Disks(1);
  TMainForm& f = Shown();
  f.Session.StatusText = "Creating";
  f.RefreshWindow();
  const char* expected[] = {".....", " .....", "  .....", "   .....", "    .....", "....."};
  for (const char* dots : expected) {
    f.StatusTimerTimer();
    EXPECT_EQ(f.StatusLabel.Caption(), std::string("Disk 0: Disk product 0, Creating") + dots);
  }
  EXPECT_EQ(f.StatusAnimStep, 1) << "a later operation starts where this one stopped";
}

TEST_F(MainWindow, RestartQuestion) {
  Disks(1);
  TMainForm& f = Shown();
  struct Row {
    const char* name;
    std::vector<int> answers;
    bool privilege;
    int questions;     // after two refreshes
    int restarts;      // accepted shutdown requests
    bool stillPending;
  };
  const Row rows[] = {
      {"No", {os::kIdNo}, true, 1, 0, false},
      {"Yes, and the restart is under way", {os::kIdYes, os::kIdYes}, true, 2, 1, true},
      {"Yes, but the restart is refused", {os::kIdYes, os::kIdNo}, false, 2, 0, false},
  };
  for (const Row& r : rows) {
    pc.MessageBoxes.clear();
    pc.MessageBoxTypes.clear();
    pc.System.Shutdowns.clear();
    ReleasePowerMan();
    pc.System.TokenPrivileges = {{"SeChangeNotifyPrivilege", true}};
    if (r.privilege) pc.System.TokenPrivileges["SeShutdownPrivilege"] = false;
    pc.MessageBoxAnswers.assign(r.answers.begin(), r.answers.end());
    f.Session.RestartPending = true;
    f.RefreshWindow();
    f.RefreshWindow();
    ASSERT_EQ(static_cast<int>(pc.MessageBoxes.size()), r.questions) << r.name;
    EXPECT_EQ(pc.MessageBoxes[0].first, "Reboot");
    EXPECT_EQ(pc.MessageBoxes[0].second, "You need to restart the system, Would you like to restart now?");
    EXPECT_EQ(pc.MessageBoxTypes[0], os::kMbSystemModal | os::kMbIconWarning | os::kMbYesNo);
    EXPECT_EQ(static_cast<int>(pc.System.Shutdowns.size()), r.restarts) << r.name;
    if (r.restarts) {
      EXPECT_EQ(pc.System.Shutdowns[0].TimeoutSeconds, 0u);
      EXPECT_TRUE(pc.System.Shutdowns[0].Reboot);
      EXPECT_FALSE(pc.System.Shutdowns[0].ForceAppsClosed);
    }
    EXPECT_EQ(f.Session.RestartPending, r.stillPending) << r.name;
    pc.MessageBoxAnswers.clear();
    f.Session.RestartPending = false;
  }
}

// Product texts are shown as the device gives them, whatever they hold.
TEST_F(MainWindow, ProductTextsAreShownAsGiven) {
  const std::string texts[] = {std::string(200, 'W'), "R&D &Co", "PADDED   ", ""};
  for (const std::string& text : texts) {
    CloseWindow();
    ResetServices();
    pc.Disks.Drives.clear();
    SimDrive& d = pc.Disks.AddMbrDisk(0, 64 * kGiB);
    d.Descriptor.Product = text;
    d.Descriptor.ProductOffset = text.empty() ? 0 : -1;
    TMainForm& f = Shown();
    EXPECT_EQ(FirstLine(f.DiskImages[0]->Hint()), "Disk 0: " + text);
    EXPECT_EQ(f.StatusLabel.Caption(), "Disk 0: " + text);
    f.Session.StatusText = "Creating";
    f.RefreshWindow();
    EXPECT_EQ(f.StatusLabel.Caption(), "Disk 0: " + text + ", Creating");
  }
}

}  // namespace

namespace {

// Closing the window while a Create or a Delete runs asks first, with No as
// the default; an idle window closes without a question.
TEST_F(MainWindow, CloseDuringAWorkflowAsksFirst) {
  for (bool create : {true, false}) {
    SCOPED_TRACE(create ? "Create" : "Delete");
    FreshPc();
    Disks(1);
    if (!create) {
      pc.Disks.FindDrive(0)->AddPrimary(0x84, 32 * kGiB + kMiB, 4096 * kMiB);
      pc.Disks.AddHiddenVolume(0, 2);
    }
    pc.Processes.HoldChildren = true;
    TMainForm& f = Shown();
    EXPECT_TRUE(f.OnCloseQuery());
    EXPECT_TRUE(pc.MessageBoxes.empty()) << "no question while idle";
    ASSERT_EQ(f.DeleteButton.Enabled(), !create);
    create ? ClickCreate(f, pc) : f.DeleteButtonClick();
    AdvanceMs(1000);  // the run goes on
    ASSERT_EQ(pc.RunningChildren(), 1);
    pc.MessageBoxAnswers = {os::kIdNo, os::kIdYes};
    EXPECT_FALSE(f.OnCloseQuery());
    ASSERT_EQ(pc.MessageBoxes.size(), 1u);
    EXPECT_EQ(pc.MessageBoxes[0].second,
              "A partition change is in progress. Closing now can leave the disk half changed. Close anyway?");
    EXPECT_EQ(pc.MessageBoxTypes[0], os::kMbYesNo | os::kMbIconWarning | 0x100u);  // MB_DEFBUTTON2
    EXPECT_TRUE(f.OnCloseQuery());
    pc.Processes.HoldChildren = false;
    pc.ReleaseChildren();
    ASSERT_TRUE(RunWorkflow());
  }
}

}  // namespace

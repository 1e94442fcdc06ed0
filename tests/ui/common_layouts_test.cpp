// Create and Delete on the system disks of common PCs, on each system
// family and size: either exactly what the user asked (the Rapid Start
// partition of the size, one NTFS data partition shrunk by exactly that, and
// nothing else changed) or ".....Failed." with the disk as it was at the
// click. A Delete of what Create made gives the click's layout back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/sim/sim_layouts.h"
#include "workflow_fixture.h"

namespace {

using namespace flowtest;

struct Case {
  const SimLayout* layout;
  int family;
  int sizeItem;  // 0: 2 GB, 2: 8 GB
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.layout->Name << " family " << c.family; }

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (const SimLayout& l : CommonLayouts())
    for (int family : {4, 6, 1})
      for (int item : {0, 2}) cases.push_back({&l, family, item});
  return cases;
}

bool SameLayout(const std::vector<Part>& a, const std::vector<Part>& b) {
  if (a.size() != b.size()) return false;
  for (const Part& p : a) {
    const Part* q = Find(b, p.Disk, p.Offset);
    if (!q || q->Length != p.Length || !q->SameType(p)) return false;
  }
  return true;
}

class CommonLayout : public WorkflowTest, public ::testing::WithParamInterface<Case> {};

TEST_P(CommonLayout, CreateThenDeleteDoWhatWasAskedOrNothing) {
  const Case& c = GetParam();
  UseFamily(c.family);
  c.layout->Build(pc, 0);
  pc.Processes.RunMs = 2000;
  const uint64_t sizeMb = c.sizeItem == 0 ? 2048 : 8192;
  Create(0, c.sizeItem);
  const std::vector<Part> click = before;
  const std::vector<Part> created = Partitions(pc);
  const bool canShrink = !IoFamily(c.family) && !c.layout->NoRoom;
  if (!canShrink) {
    EXPECT_EQ(Session().StatusText, "Creating.....Failed.");
    EXPECT_TRUE(SameLayout(created, click)) << "a failed Create leaves the click's layout";
    return;
  }
  ASSERT_EQ(Session().StatusText, "Creating.....Done.");
  int rapid = 0, shrunk = 0;
  for (const Part& p : created) {
    const Part* was = Find(click, p.Disk, p.Offset);
    if (!was) {
      EXPECT_TRUE(p.RapidStart()) << "the one new partition is the Rapid Start partition";
      EXPECT_EQ(p.Length, sizeMb * kMiB);
      ++rapid;
    } else if (was->Length != p.Length) {
      EXPECT_EQ(was->Length - p.Length, sizeMb * kMiB) << "shrunk by exactly the size";
      EXPECT_TRUE(p.Gpt ? p.GptType == kData : p.MbrType == 0x07) << "only an NTFS data partition shrinks";
      ++shrunk;
    } else {
      EXPECT_TRUE(was->SameType(p));
    }
  }
  EXPECT_EQ(rapid, 1);
  EXPECT_EQ(shrunk, 1);
  EXPECT_EQ(created.size(), click.size() + 1);

  Delete();
  EXPECT_EQ(Session().StatusText, "Deleting.....Done.");
  EXPECT_TRUE(SameLayout(Partitions(pc), click)) << "the space went back to the partition that gave it";
}

INSTANTIATE_TEST_SUITE_P(Layouts, CommonLayout, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.layout->Name) + "_Family" +
                                  (info.param.family < 0 ? std::string("M1") : std::to_string(info.param.family)) +
                                  (info.param.sizeItem == 0 ? "_2GB" : "_8GB");
                         });

// ---- the figures: what Create and Delete do on each layout ----
// Printed only with ORV_FIGURES=1 (scripts/figures.sh): one table row per
// layout on Windows 7 x64 (family 6) with 8 GB, each diskpart run taking
// 3 s and the workflows' own 2 s pauses.

std::string Label(SimPc& pc, const Part& p) {
  auto lock = pc.Lock();
  for (const SimDrive& d : pc.Disks.Drives)
    for (const SimPartition& e : d.Layout)
      if (d.Number == p.Disk && e.Offset == p.Offset && e.Used() && e.Number != 0)
        if (const SimVolume* v = pc.Disks.FindVolume(d.Number, e.Number); v && v->Letter)
          return std::string(1, v->Letter) + ":";
  if (!p.Gpt) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", p.MbrType);
    return std::string("type ") + hex;
  }
  if (p.GptType == kSimRecoveryType) return "Recovery";
  if (p.GptType == kSimEfiType) return "EFI";
  if (p.GptType == kSimLinuxDataType || p.GptType == kSimLinuxSwapType) return "Linux";
  return "data";
}

class Figures : public WorkflowTest {};

TEST_F(Figures, CommonLayouts) {
  if (!std::getenv("ORV_FIGURES")) GTEST_SKIP() << "set ORV_FIGURES=1 to print the table";
  std::printf("figures: | Layout | Create | Shrunk | Runs | Wall time | Delete | Space went to |\n");
  std::printf("figures: |---|---|---|---|---|---|---|\n");
  for (const SimLayout& l : CommonLayouts()) {
    FreshPc();
    UseFamily(6);
    l.Build(pc, 0);
    pc.Processes.RunMs = 3000;
    const uint64_t start = NowMs();
    Create(0, 2);  // 8 GB
    const uint64_t createMs = NowMs() - start;
    const std::size_t runs = pc.Processes.Scripts.size();
    const bool created = Session().StatusText == "Creating.....Done.";
    const std::vector<Part> click = before, made = Partitions(pc);
    std::string shrunk = "none";
    for (const Part& p : made)
      if (const Part* was = Find(click, p.Disk, p.Offset); was && was->Length > p.Length)
        shrunk = Label(pc, p) + " by " + std::to_string((was->Length - p.Length) / kMiB) + " MB";
    std::string deleted = "-", went = "-";
    if (created) {
      Delete();
      deleted = Session().StatusText == "Deleting.....Done." ? "Done" : "Failed";
      went = "free";
      for (const Part& p : Partitions(pc))
        if (const Part* was = Find(made, p.Disk, p.Offset); was && p.Length > was->Length) went = Label(pc, p);
    }
    std::printf("figures: | %s | %s | %s | %zu | %.0f s | %s | %s |\n", l.Name, created ? "Done" : "Failed",
                shrunk.c_str(), runs, static_cast<double>(createMs) / 1000, deleted.c_str(), went.c_str());
  }
}

}  // namespace

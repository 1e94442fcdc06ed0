// Create and Delete on the system disks of common PCs, on each system
// family and size: either exactly what the user asked (the Rapid Start
// partition of the size, one NTFS data partition shrunk by exactly that, and
// nothing else changed) or ".....Failed." with the disk as it was at the
// click. A Delete of what Create made gives the click's layout back.
#include <gtest/gtest.h>

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
    EXPECT_EQ(Form().StatusText, "Creating.....Failed.");
    EXPECT_TRUE(SameLayout(created, click)) << "a failed Create leaves the click's layout";
    return;
  }
  ASSERT_EQ(Form().StatusText, "Creating.....Done.");
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

  Form().DeleteButtonClick();
  ASSERT_TRUE(RunWorkflow());
  EXPECT_EQ(Form().StatusText, "Deleting.....Done.");
  EXPECT_TRUE(SameLayout(Partitions(pc), click)) << "the space went back to the partition that gave it";
}

INSTANTIATE_TEST_SUITE_P(Layouts, CommonLayout, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.layout->Name) + "_Family" +
                                  (info.param.family < 0 ? std::string("M1") : std::to_string(info.param.family)) +
                                  (info.param.sizeItem == 0 ? "_2GB" : "_8GB");
                         });

}  // namespace

#include <gtest/gtest.h>

#include "sim_fixture.h"

namespace {

using Strings = std::vector<std::string>;

class DebugConsole : public SimTest {};

struct HeldRow {
  const char* name;
  std::vector<std::pair<std::string, bool>> writes;  // text, newLine
  Strings held;
};

TEST_F(DebugConsole, HeldLinesTable) {
  const HeldRow rows[] = {
      {"lines", {{"a", true}, {"b", true}}, {"a", "b"}},
      {"continuation with nothing held starts a line", {{"x", false}}, {"x"}},
      {"continuations merge into the last line", {{"a", true}, {"b", false}, {"c", false}}, {"abc"}},
      {"a new line after a continuation", {{"a", false}, {"b", true}}, {"a", "b"}},
      {"empty lines are held too", {{"", true}, {"", true}}, {"", ""}},
  };
  for (const HeldRow& r : rows) {
    ReleaseDebugConsole();
    TDebugConsole& log = GetDebugConsole(false);
    for (const auto& w : r.writes) log.Write(w.first, kAttrHeading, w.second);
    EXPECT_EQ(log.PendingLines(), r.held) << r.name;
  }
  EXPECT_EQ(pc.Count(Call::AllocConsole), 0) << "a closed log opens no console";
  EXPECT_TRUE(pc.ConsoleWrites.empty());
}

TEST_F(DebugConsole, SwitchingOnReplaysHeldLinesInAttribute7) {
  TDebugConsole& log = GetDebugConsole(false);
  log.Write("head", kAttrHeading, true);
  log.Write("part", kAttrPartition, true);
  log.Write(" more", kAttrHeading, false);

  EXPECT_EQ(&GetDebugConsole(true), &log);
  EXPECT_TRUE(log.Enabled());
  EXPECT_TRUE(log.PendingLines().empty());
  ASSERT_EQ(pc.ConsoleWrites.size(), 2u);
  EXPECT_EQ(pc.ConsoleWrites[0].text, "\r\nhead");
  EXPECT_EQ(pc.ConsoleWrites[0].attr, 7);
  EXPECT_EQ(pc.ConsoleWrites[1].text, "\r\npart more");
  EXPECT_EQ(pc.ConsoleWrites[1].attr, 7);
}

TEST_F(DebugConsole, OpenConsoleWritesEachLineInItsAttributeThenRestores7) {
  pc.ConsoleAttr = 12;  // whatever was set before, the log returns to 7
  TDebugConsole& log = GetDebugConsole(true);
  log.Write("DiskIndex=0", kAttrHeading, true);
  log.Write(" tail", kAttrPartition, false);
  log.WriteLine("DiskNum=0");

  ASSERT_EQ(pc.ConsoleWrites.size(), 3u);
  EXPECT_EQ(pc.ConsoleWrites[0].text, "\r\nDiskIndex=0");
  EXPECT_EQ(pc.ConsoleWrites[0].attr, kAttrHeading);
  EXPECT_EQ(pc.ConsoleWrites[1].text, " tail");
  EXPECT_EQ(pc.ConsoleWrites[1].attr, kAttrPartition);
  EXPECT_EQ(pc.ConsoleWrites[2].text, "\r\nDiskNum=0");
  EXPECT_EQ(pc.ConsoleWrites[2].attr, kAttrNormal);
  EXPECT_EQ(pc.ConsoleAttr, kAttrNormal);
  // The line break starts a line: the screen shows an empty first line and
  // the last line stays open.
  EXPECT_EQ(pc.ConsoleText(), "\r\nDiskIndex=0 tail\r\nDiskNum=0");
}

TEST_F(DebugConsole, NeverSwitchedOffAndNeverReplayedTwice) {
  TDebugConsole& log = GetDebugConsole(true);
  log.WriteLine("one");
  GetDebugConsole(false).WriteLine("two");
  GetDebugConsole(true).WriteLine("three");
  EXPECT_TRUE(log.Enabled());
  EXPECT_EQ(pc.Count(Call::AllocConsole), 1);
  EXPECT_EQ(pc.ConsoleText(), "\r\none\r\ntwo\r\nthree");
  EXPECT_TRUE(log.PendingLines().empty());
}

TEST_F(DebugConsole, FailingAttributeQueryStillWritesAndRestores7) {
  TDebugConsole& log = GetDebugConsole(true);
  pc.FailNth(Call::GetConsoleScreenBufferInfo, 1, os::kErrorInvalidHandle);
  log.Write("x", kAttrHeading, true);
  ASSERT_EQ(pc.ConsoleWrites.size(), 1u);
  EXPECT_EQ(pc.ConsoleWrites[0].attr, kAttrHeading);
  EXPECT_EQ(pc.ConsoleAttr, kAttrNormal);
}

TEST_F(DebugConsole, InheritedConsoleIsUsedWhenAllocationFails) {
  pc.HasInheritedConsole = true;
  GetDebugConsole(true).WriteLine("line");
  EXPECT_FALSE(pc.ConsoleAllocated);
  EXPECT_EQ(pc.ConsoleText(), "\r\nline");
}

TEST_F(DebugConsole, ReleaseClosesTheConsoleAndForgetsTheInstance) {
  GetDebugConsole(true).WriteLine("a");
  ReleaseDebugConsole();
  EXPECT_EQ(pc.Count(Call::FreeConsole), 1);
  EXPECT_EQ(pc.OpenHandles(), 0);
  // A new instance starts closed and empty.
  EXPECT_FALSE(GetDebugConsole(false).Enabled());
  EXPECT_TRUE(GetDebugConsole(false).PendingLines().empty());
}

TEST_F(DebugConsole, ClosedLogNeverTouchesTheConsole) {
  GetDebugConsole(false).WriteLine("a");
  ReleaseDebugConsole();
  EXPECT_EQ(pc.Count(Call::FreeConsole), 0);
  EXPECT_EQ(pc.Count(Call::CloseHandle), 0);
}

}  // namespace

#include <gtest/gtest.h>

#include "platform/sim/sim_pc.h"
#include "shell/global.h"

namespace {

struct TextAfterRow {
  const char* source;
  const char* marker;
  const char* def;
  const char* expected;
};

TEST(TextAfter, Table) {
  SimPc pc;
  ScopedOs seam(pc);
  const TextAfterRow rows[] = {
      {"C:\\A\\B.EXE /debug", "c:\\a\\b.exe", "-", " /debug"},  // case-insensitive, source unchanged
      {"abc", "abc", "-", ""},                                    // empty remainder is not the default
      {"abc", "x", "-", "-"},                                     // absent marker gives the default
      {"abc", "", "-", "-"},                                      // an empty marker occurs nowhere
      {"", "a", "", ""},
      {"xAyA", "a", "-", "yA"},                                   // the first occurrence counts
      {"\"C:\\\xE9t\xE9\\p.exe\" /X", "C:\\\xC9T\xC9\\P.EXE", "-", "\" /X"},  // ANSI letters fold too
  };
  for (const TextAfterRow& r : rows)
    EXPECT_EQ(TextAfter(r.source, r.marker, r.def), r.expected) << r.source << " | " << r.marker;
}

TEST(AnsiUpperCase, KeepsLengthAndFoldsLatin1) {
  SimPc pc;
  ScopedOs seam(pc);
  EXPECT_EQ(AnsiUpperCase("/debug \xE4\xF7\xDF"), "/DEBUG \xC4\xF7\xDF");
}

}  // namespace

// fuzz_command_line: the command line and the executable's path at start-up,
// as CanStart reads its switches from them, and the marker searches it rests
// on (TextAfter, TextBefore, TextBetween, ExtractFilePath/ExtractFileName).
//
// Input: flags (bit 0: another instance holds the mutex; bit 1: its window
// exists; bit 2: GetModuleFileNameA fails; bit 3: creating the mutex is
// denied; bit 4: another copy creates the mutex first; bit 5: the command
// line is the quoted path followed by the text given), the executable's
// path, the command line (or its tail), then a source text and three markers
// for the searches.
// Properties: the mutex is named after the executable's file name, which
// holds no path delimiter; a switch counts only after the full executable
// path (any case), so a command line without that path, or without the
// switch, never uninstalls, posts or opens the log's console; the log's first
// line is the upper-cased text after the path; the instance rule follows from
// the mutex alone (another instance or a lost race stops this one, an
// /UNINSTALL run never creates the mutex, the winner keeps exactly its
// mutex handle); the searches cut their results from the source at the first
// case-insensitive match and agree with each other.
#include "fuzz_common.h"
#include "app/entry.h"
#include "app/switches.h"
#include "shell/global.h"

namespace {

using fuzz::Input;
using fuzz::Seed;

// The first case-insensitive occurrence of marker in source, upper-casing
// with the machine's own CharUpperBuffA; npos for an empty marker.
std::size_t FirstMatch(Os& os, const std::string& source, const std::string& marker, std::size_t from = 0) {
  if (marker.empty() || marker.size() > source.size()) return std::string::npos;
  const std::string s = os.CharUpperBuffA(source), m = os.CharUpperBuffA(marker);
  for (std::size_t p = from; p + m.size() <= s.size(); ++p)
    if (s.compare(p, m.size(), m) == 0) return p;
  return std::string::npos;
}

void CheckSearches(Os& os, const std::string& source, const std::string& a, const std::string& b,
                   const std::string& def) {
  const std::size_t p = FirstMatch(os, source, a);
  const std::string after = TextAfter(source, a, def);
  const std::string before = TextBefore(source, a, def);
  if (p == std::string::npos) {
    FUZZ_CHECK(after == def && before == def);
  } else {
    FUZZ_CHECK(after == source.substr(p + a.size()));
    FUZZ_CHECK(before == source.substr(0, p));
  }
  const std::string between = TextBetween(source, a, b, def);
  const std::size_t q = p == std::string::npos ? p : FirstMatch(os, source, b, p + a.size());
  if (q == std::string::npos)
    FUZZ_CHECK(between == def);
  else
    FUZZ_CHECK(between == source.substr(p + a.size(), q - p - a.size()));

  const std::string folder = ExtractFilePath(source), name = ExtractFileName(source);
  FUZZ_CHECK(folder + name == source);
  FUZZ_CHECK(name.find_first_of("\\/:") == std::string::npos);
  FUZZ_CHECK(folder.empty() || std::string("\\/:").find(folder.back()) != std::string::npos);
  const std::string slashed = IncludeTrailingBackslash(source);
  FUZZ_CHECK(!slashed.empty() && slashed.back() == '\\' && slashed.compare(0, source.size(), source) == 0);
  FUZZ_CHECK(slashed.size() <= source.size() + 1);
  FUZZ_CHECK(AnsiUpperCase(source).size() == source.size());
}

// The unattended switches: an error only with an action, and an action only
// when one of its words is there; /? or /HELP anywhere asks for help and
// nothing else; numbers never past the cap; the log path is what followed
// the last /LOG word.
void CheckSwitches(const std::string& args) {
  const TSwitches s = ReadSwitches(args);
  FUZZ_CHECK(s.Error.empty() || s.Action != TAction::Window);
  FUZZ_CHECK(s.SizeMb <= kMaxSwitchNumber && s.DiskNum <= kMaxSwitchNumber);
  bool actionWord = false, help = false;
  std::string log;
  for (const std::string& w : SplitCommandWords(!args.empty() && args[0] == '"' ? args.substr(1) : args)) {
    const std::string u = UpperAscii(w);
    actionWord = actionWord || u == "/STATUS" || u == "/DELETE" || u.rfind("/STATUS:", 0) == 0 ||
                 u.rfind("/DELETE:", 0) == 0 || u == "/CREATE" || u.rfind("/CREATE:", 0) == 0;
    help = help || u == "/?" || u == "/HELP";
    if (u.substr(0, u.find(':')) == "/LOG") log = u.size() > 4 ? w.substr(5) : "";
  }
  FUZZ_CHECK(actionWord == (s.Action != TAction::Window) || help);
  FUZZ_CHECK(help == (s.Action == TAction::Help));
  FUZZ_CHECK(!help || s.Error.empty());
  FUZZ_CHECK(s.LogPath == log);
  const TSwitches again = ReadSwitches(args);
  FUZZ_CHECK(again.Action == s.Action && again.Error == s.Error && again.LogPath == s.LogPath);
}

void Run(fuzz::FuzzPc& pc, Input& in) {
  const uint8_t flags = in.U8();
  pc.ModulePath = in.Text(300);
  const std::string tail = in.Text(600);
  pc.CommandLine = (flags & 32) ? "\"" + pc.ModulePath + "\"" + tail : tail;
  const std::string exePath = (flags & 4) ? std::string() : pc.ModulePath;
  const std::string name = ExtractFileName(exePath);
  if (flags & 1) pc.OtherMutexes.insert(name);
  const os::Handle window = 0x7700;
  if (flags & 2) pc.Windows.push_back({kApplicationWindowClass, kApplicationTitle, window});
  if (flags & 4) pc.FailNth(Call::GetModuleFileNameA, 1, os::kErrorInsufficientBuffer);
  if (flags & 8) pc.FailNth(Call::CreateMutexA, 1, os::kErrorAccessDenied);
  if (flags & 16) pc.BeforeNth(Call::CreateMutexA, 1, [&pc, name] { pc.OtherMutexes.insert(name); });

  const bool started = CanStart();

  // What the switches are: the text after the program's name, a tail of
  // the command line. Behind the full path in quotes it starts with the
  // closing quote, the first log line as it has always been.
  const std::string upper = pc.CharUpperBuffA(pc.CommandLine);
  const std::string args = ArgumentText(pc.CommandLine, exePath).empty()
                               ? ""
                               : upper.substr(pc.CommandLine.size() - ArgumentText(pc.CommandLine, exePath).size());
  if ((flags & 32) && !exePath.empty() && exePath.find('"') == std::string::npos)
    FUZZ_CHECK(args == upper.substr(exePath.size() + 1));
  const bool debug = args.find("/DEBUG") != std::string::npos;
  const bool uninstall = args.find("/UNINSTALL") != std::string::npos;
  if (FirstMatch(pc, pc.CommandLine, "/UNINSTALL") == std::string::npos) FUZZ_CHECK(!uninstall);

  FUZZ_CHECK(name.find_first_of("\\/:") == std::string::npos);
  FUZZ_CHECK(pc.Count(Call::OpenMutexA) == 1);
  for (const SimCall& c : pc.Calls)
    if (c.kind == Call::OpenMutexA || c.kind == Call::CreateMutexA) FUZZ_CHECK(c.detail == name);

  // The log: its console only with /DEBUG, its first line the switch text.
  FUZZ_CHECK(pc.ConsoleAllocated == debug);
  if (debug) {
    FUZZ_CHECK(!pc.ConsoleWrites.empty() && pc.ConsoleWrites[0].text == "\r\n" + args);
  } else {
    const std::vector<std::string>& lines = GetDebugConsole().PendingLines();
    FUZZ_CHECK(!lines.empty() && lines[0] == args);
  }

  const bool held = flags & 1;
  const bool posts = held && uninstall && (flags & 2);
  FUZZ_CHECK(pc.Posted.size() == (posts ? 1u : 0u));
  if (posts) FUZZ_CHECK(pc.Posted[0].window == window && pc.Posted[0].msg == kUninstallMessage);
  FUZZ_CHECK(pc.SleptMs == (posts ? kUninstallWaitMs : 0u));
  const int consoleHandles = debug ? 1 : 0;
  if (held || uninstall) {
    FUZZ_CHECK(!started);
    FUZZ_CHECK(pc.Count(Call::CreateMutexA) == 0);
    FUZZ_CHECK(pc.OpenHandles() == consoleHandles);
  } else {
    FUZZ_CHECK(pc.Count(Call::CreateMutexA) == 1);
    const bool lostRace = (flags & 16) && !(flags & 8);
    const bool denied = flags & 8;
    FUZZ_CHECK(started == !(lostRace || denied));
    FUZZ_CHECK(pc.OpenHandles() == consoleHandles + (started ? 1 : 0));
  }
  ReleaseDebugConsole();

  CheckSwitches(tail);

  const std::string source = in.Text(300), a = in.Text(40), b = in.Text(40), def = in.Text(8);
  CheckSearches(pc, source, a, b, def);
  CheckSearches(pc, pc.CommandLine, exePath, "/", def);
}

void WriteSeeds(const std::string& dir) {
  const std::string exe = "C:\\Program Files\\Ortavel\\OrvRapidStart.exe";
  auto seed = [&](const char* file, uint8_t flags, const std::string& path, const std::string& tail) {
    Seed s;
    s.U8(flags).Text(path).Text(tail);
    s.Text("\"" + exe + "\" /s \"C:\\T mp\\DPINPUT.TXT\"").Text("dpinput").Text(".TXT").Text("?");
    fuzz::SaveSeed(dir, file, s);
  };
  seed("plain", 32, exe, "");
  seed("debug", 32, exe, " /debug");
  seed("uninstall-running", 32 | 1 | 2, exe, " /UNINSTALL");
  seed("uninstall-alone", 32, exe, " /Uninstall /DEBUG");
  seed("second-instance", 32 | 1, exe, " /DEBUG");
  seed("unattended-create", 32, exe, " /create:8192 /DISK:auto \"/LOG:C:\\My Logs\\rs.log\" /force");
  seed("unattended-usage", 32, exe, " /STATUS /STATUS /CREATE:-1 /DISK:");
  seed("lost-race", 32 | 16, exe, "");
  seed("denied", 32 | 8, exe, "");
  seed("unquoted", 0, exe, exe + " /DEBUG");
  seed("short-name", 0, "C:\\PROGRA~1\\ORTAVEL\\ORVRAP~1.EXE", exe + " /DEBUG /UNINSTALL");
  seed("no-module-path", 32 | 4, exe, " /DEBUG /UNINSTALL");
  seed("switch-before-path", 0, exe, "/UNINSTALL \"" + exe + "\"");
  seed("accented", 32, "C:\\Programme\\\xe9t\xe9\\Orv.exe", " /d\xe9" "bug /DEBUG");
}

}  // namespace

FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  return fuzz::RunOnFreshPc<fuzz::FuzzPc>(data, size, Run);
}

// fuzz_helper_command: amd64.exe's own command line, as
// UnwrapHelperCommandLine takes the wrapped command from it and
// HelperTargetCommandLine decides which program that command starts.
//
// Input: the helper's command line, a command, the system folder, the
// program's folder and the script's path.
// Properties: the unwrapped command is a piece of the helper's command line,
// and any command wrapped as the program wraps it comes back unchanged; a
// command whose program has a path is started as it is; a bare program name
// is taken from the system folder (or nothing is started when there is
// none), its arguments untouched, and never left bare; the diskpart command
// line the program hands the helper starts, through the helper, exactly what
// the program starts itself where it needs no helper.
#include "fuzz_common.h"
#include "partops/disk_part.h"
#include "platform/helper_command.h"
#include "shell/global.h"

namespace {

using fuzz::Input;
using fuzz::Seed;

// The program a command line starts, read as CreateProcess reads it: the
// quoted text, or the text up to the first blank or tab.
std::string ProgramOf(const std::string& commandLine, std::size_t* end = nullptr) {
  std::size_t stop;
  std::string program;
  if (!commandLine.empty() && commandLine[0] == '"') {
    const std::size_t close = commandLine.find('"', 1);
    program = commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    stop = close == std::string::npos ? commandLine.size() : close + 1;
  } else {
    stop = std::min(commandLine.find_first_of(" \t"), commandLine.size());
    program = commandLine.substr(0, stop);
  }
  if (end) *end = stop;
  return program;
}

bool HasPath(const std::string& program) { return program.find_first_of("\\/:") != std::string::npos; }

std::string WithoutQuotes(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), '"'), s.end());
  return s;
}

void CheckTarget(const std::string& command, const std::string& systemDirectory) {
  const std::string target = HelperTargetCommandLine(command, systemDirectory);
  std::size_t end = 0;
  const std::string program = ProgramOf(command, &end);
  if (program.empty() || HasPath(program)) {
    FUZZ_CHECK(target == command);  // the same program, the same arguments
    return;
  }
  if (systemDirectory.empty()) {
    FUZZ_CHECK(target.empty());
    return;
  }
  // A bare name: the system folder's program, quoted, then the same arguments.
  const std::string folder = IncludeTrailingBackslash(systemDirectory);
  const std::string started = ProgramOf(target);
  FUZZ_CHECK(!started.empty() && HasPath(started));
  if (program.find('"') == std::string::npos) FUZZ_CHECK(started == folder + program);
  FUZZ_CHECK(target.size() >= command.size() - end &&
             target.compare(target.size() - (command.size() - end), std::string::npos, command, end) == 0);
}

void Run(Input& in) {
  const std::string helperLine = in.Text(400);
  const std::string command = in.Text(400);
  // Windows paths hold no double quotes.
  const std::string systemDirectory = WithoutQuotes(in.Text(120));
  const std::string exeFolder = WithoutQuotes(in.Text(120));
  const std::string script = WithoutQuotes(in.Text(120));

  // Whatever the helper is given, what it runs comes from that text.
  const std::string unwrapped = UnwrapHelperCommandLine(helperLine);
  FUZZ_CHECK(helperLine.find(unwrapped) != std::string::npos);
  CheckTarget(unwrapped, systemDirectory);
  CheckTarget(command, systemDirectory);

  // Any command, wrapped as one quoted argument after the helper's quoted path
  // (with any blanks between), comes back as it was.
  const std::string helper = "\"" + IncludeTrailingBackslash(exeFolder) + "amd64.exe\"";
  FUZZ_CHECK(UnwrapHelperCommandLine(helper + " \"" + command + "\"") == command);
  FUZZ_CHECK(UnwrapHelperCommandLine(helper + " \t \"" + command + "\"") == command);

  // The program's own diskpart command line: through the helper on 64-bit
  // NT 5.2, directly elsewhere; both start the same diskpart on the same script.
  static TRunOwner runs;
  TDiskPartSetup setup;
  setup.ScriptFileName = script;
  setup.ExePath = exeFolder;
  setup.SystemDirectory = systemDirectory;
  setup.OsFamily = kOsNt52X64;
  const std::string throughHelper = TDiskPart(setup, runs).DiskPartCommandLine();
  setup.OsFamily = kOsNt6x32;
  const std::string direct = TDiskPart(setup, runs).DiskPartCommandLine();
  FUZZ_CHECK(ProgramOf(throughHelper) == IncludeTrailingBackslash(exeFolder) + "amd64.exe");
  const std::string inner = UnwrapHelperCommandLine(throughHelper);
  FUZZ_CHECK(inner == "diskpart.exe /S \"" + script + "\"");
  FUZZ_CHECK(HelperTargetCommandLine(inner, systemDirectory) == direct);
}

void WriteSeeds(const std::string& dir) {
  auto seed = [&](const char* file, const std::string& helperLine, const std::string& command,
                  const std::string& systemDirectory, const std::string& exe, const std::string& script) {
    Seed s;
    s.Text(helperLine).Text(command).Text(systemDirectory).Text(exe).Text(script);
    fuzz::SaveSeed(dir, file, s);
  };
  const std::string sys = "C:\\Windows\\system32", exe = "C:\\Program Files\\Ortavel\\",
                    script = "C:\\Users\\A B\\AppData\\Local\\Temp\\DPINPUT.TXT";
  seed("usual", "\"C:\\Orv\\amd64.exe\" \"diskpart.exe /S \"C:\\T mp\\DPINPUT.TXT\"\"", "diskpart.exe /S x", sys,
       exe, script);
  seed("unquoted-helper", "C:\\Orv\\amd64.exe   \"diskpart.exe /S x\"  ", "diskpart /s \"a b\"", sys + "\\", exe,
       script);
  seed("full-path", "amd64.exe \"C:\\Windows\\system32\\diskpart.exe\" /S x", "\"C:\\x y\\diskpart.exe\" /S z",
       sys, "C:\\Orv", "C:\\T\\DPINPUT.TXT");
  seed("no-system-folder", "\"amd64.exe\"\t\"notepad\"", "notepad a.txt", "", exe, script);
  seed("unclosed-quote", "\"C:\\Orv\\amd64.exe", "\"diskpart.exe /S x", sys, exe, script);
  seed("empty", "", "", sys, "", "");
  seed("relative", "amd64 \"..\\diskpart.exe\"", "..\\diskpart.exe", sys, "D:", "s.txt");
}

}  // namespace

FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Input in(data, size);
  Run(in);
  return 0;
}

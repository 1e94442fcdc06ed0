// The simulated PC's system services seen from the desktop: the command line
// and paths, mutexes, windows and messages, message boxes, the console, the
// clock's time and the version queries.
#include "platform/sim/sim_pc.h"

#include <chrono>
#include <cstring>

namespace {

// assumed: the ANSI code page is Windows-1252, whose CharUpperBuffA maps
// a-z, the Latin-1 lower-case letters (not 0xDF sharp s, not 0xF7 division
// sign), and 0x9A/0x9C/0x9E/0xFF to their upper-case forms.
unsigned char UpperCp1252(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
  }
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperCp1252(static_cast<unsigned char>(a[i])) != UpperCp1252(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Exported functions answer with a non-zero address of their own.
constexpr os::Proc kProcIsWow64Process = 0x7001;
constexpr os::Proc kProcGetNativeSystemInfo = 0x7002;
constexpr os::Proc kProcGetProductInfo = 0x7003;

}  // namespace

SimVersion SimVersion::Make(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t build,
                            const char* csd, uint8_t productType, uint16_t suite) {
  SimVersion v;
  v.record.dwMajorVersion = major;
  v.record.dwMinorVersion = minor;
  v.record.dwBuildNumber = build;
  v.record.dwPlatformId = platformId;
  std::strncpy(v.record.szCSDVersion, csd, sizeof v.record.szCSDVersion - 1);
  v.record.wSuiteMask = suite;
  v.record.wProductType = productType;
  return v;
}

std::string SimSystem::ConsoleText() const {
  const auto lock = core_.Lock();
  std::string text;
  for (const SimConsoleWrite& w : pc_.ConsoleWrites) text += w.text;
  return text;
}

std::string SimSystem::GetCommandLineA() {
  const auto lock = core_.Lock();
  core_.Enter(Call::GetCommandLineA);
  return pc_.CommandLine;
}

std::string SimSystem::GetModuleFileNameA() {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::GetModuleFileNameA)) return "";
  return pc_.ModulePath;
}

std::string SimSystem::GetTempPathA(uint32_t bufferChars) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::GetTempPathA)) return "";
  // Too small a buffer: the call returns the size it needs and fills nothing.
  if (pc_.TempPath.size() + 1 > bufferChars) return "";
  return pc_.TempPath;
}

void SimSystem::Sleep(uint32_t ms) {
  auto lock = core_.Lock();
  core_.Enter(Call::Sleep, std::to_string(ms));
  pc_.SleptMs += ms;
  if (core_.Clock.RealTime()) {
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return;
  }
  // The program's time passes for the machine as well.
  core_.AdvanceMs(ms);
}

void SimSystem::Closed(os::Handle h, const SimCore::Object& closed) {
  if (h == consoleOutput_) consoleOutput_ = os::kNull;
  if (h == stdOutFile_) stdOutFile_ = os::kNull;
  // "The mutex object is destroyed when its last handle has been closed"
  // (learn.microsoft.com/windows/win32/api/synchapi/nf-synchapi-createmutexa).
  if (closed.kind == SimCore::Kind::Mutex && pc_.CreatedMutexes.count(closed.name)) {
    bool open = false;
    for (const auto& [other, object] : core_.Handles())
      open = open || (object.kind == SimCore::Kind::Mutex && object.name == closed.name);
    if (!open) {
      pc_.CreatedMutexes.erase(closed.name);
      pc_.MutexSddl.erase(closed.name);
    }
  }
}

std::string SimSystem::CharUpperBuffA(const std::string& text) {
  const auto lock = core_.Lock();
  core_.Enter(Call::CharUpperBuffA);
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(UpperCp1252(static_cast<unsigned char>(c)));
  return upper;
}

// Object names are case-sensitive in Windows' object manager.
os::Handle SimSystem::OpenMutexA(uint32_t access, bool, const std::string& name) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::OpenMutexA, name)) return os::kNull;
  if (!pc_.OtherMutexes.count(name) && !pc_.CreatedMutexes.count(name)) {
    core_.LastError() = os::kErrorFileNotFound;
    return os::kNull;
  }
  return core_.NewHandle(SimCore::Kind::Mutex, name, access);
}

os::Handle SimSystem::CreateMutexA(const std::string& sddl, bool, const std::string& name) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::CreateMutexA, name)) return os::kNull;
  const bool existed = pc_.OtherMutexes.count(name) || pc_.CreatedMutexes.count(name);
  pc_.CreatedMutexes.insert(name);
  if (!existed) pc_.MutexSddl[name] = sddl;
  core_.LastError() = existed ? os::kErrorAlreadyExists : os::kErrorSuccess;
  return core_.NewHandle(SimCore::Kind::Mutex, name);
}

// FindWindowA compares class and window names without regard to case.
os::Handle SimSystem::FindWindowA(const std::string& className, const std::string& windowName) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::FindWindowA, className + "/" + windowName)) return os::kNull;
  for (const SimWindow& w : pc_.Windows)
    if (EqualNoCase(w.className, className) && EqualNoCase(w.windowName, windowName)) return w.handle;
  core_.LastError() = os::kErrorSuccess;
  return os::kNull;
}

bool SimSystem::PostMessageA(os::Handle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::PostMessageA, std::to_string(msg))) return false;
  for (const SimWindow& w : pc_.Windows) {
    if (w.handle == window) {
      pc_.Posted.push_back({window, msg, wParam, lParam});
      return true;
    }
  }
  core_.LastError() = 1400;  // ERROR_INVALID_WINDOW_HANDLE
  return false;
}

int SimSystem::MessageBoxA(const std::string& text, const std::string& caption, uint32_t type) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::MessageBoxA, text)) return 0;
  pc_.MessageBoxes.emplace_back(caption, text);
  pc_.MessageBoxTypes.push_back(type);
  if (pc_.MessageBoxAnswers.empty()) return 1;  // IDOK
  const int answer = pc_.MessageBoxAnswers.front();
  pc_.MessageBoxAnswers.pop_front();
  return answer;
}

bool SimSystem::AllocConsole() {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::AllocConsole)) return false;
  if (pc_.HasInheritedConsole || pc_.ConsoleAllocated) {
    core_.LastError() = os::kErrorAccessDenied;
    return false;
  }
  pc_.ConsoleAllocated = true;
  consoleOutput_ = core_.NewHandle(SimCore::Kind::Console, "CONOUT$");
  return true;
}

bool SimSystem::FreeConsole() {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::FreeConsole)) return false;
  pc_.ConsoleAllocated = false;
  pc_.HasInheritedConsole = false;
  return true;
}

// A GUI process without a console has no standard output handle (NULL),
// unless its parent redirected it. AllocConsole and AttachConsole set the
// standard handles to the console, redirected or not.
os::Handle SimSystem::GetStdHandle(uint32_t which) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::GetStdHandle)) return os::kInvalid;
  if (which != os::kStdOutputHandle) return os::kNull;
  if (consoleOutput_ == os::kNull && !pc_.ConsoleAllocated && !pc_.StdOutFile.empty()) {
    if (stdOutFile_ == os::kNull) {
      stdOutFile_ = pc_.Processes.OpenAtEnd(pc_.StdOutFile);
    }
    return stdOutFile_;
  }
  if (pc_.HasInheritedConsole && consoleOutput_ == os::kNull)
    consoleOutput_ = core_.NewHandle(SimCore::Kind::Console, "inherited");
  if (consoleOutput_ == os::kNull && !pc_.ConsoleAllocated && pc_.StdOutStale) return pc_.kStaleStdOut;
  return consoleOutput_;
}

bool SimSystem::AttachConsole(uint32_t processId) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::AttachConsole, std::to_string(processId))) return false;
  if (pc_.HasInheritedConsole || pc_.ConsoleAllocated || consoleOutput_ != os::kNull) {
    core_.LastError() = os::kErrorAccessDenied;  // already attached to one
    return false;
  }
  if (processId != os::kAttachParentProcess || !pc_.ParentConsole) {
    core_.LastError() = os::kErrorInvalidHandle;  // that process has no console
    return false;
  }
  consoleOutput_ = core_.NewHandle(SimCore::Kind::Console, "parent");
  return true;
}

uint32_t SimSystem::GetTickCount() {
  const auto lock = core_.Lock();
  core_.Enter(Call::GetTickCount);
  return static_cast<uint32_t>(core_.Clock.NowMs());
}

void SimSystem::GetLocalTime(os::SystemTime& time) {
  const auto lock = core_.Lock();
  core_.Enter(Call::GetLocalTime);
  // 2026-12-09 (a Wednesday) 09:00:00.000, plus the clock; days counted on
  // through the proleptic Gregorian calendar.
  const uint64_t ms = core_.Clock.NowMs() + 9ull * 3600 * 1000;
  uint64_t days = ms / 86400000;
  const uint64_t inDay = ms % 86400000;
  int year = 2026, month = 12, day = 9;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (; days > 0; --days) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int inMonth = month == 2 && leap ? 29 : kDays[month - 1];
    if (++day > inMonth) {
      day = 1;
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
  }
  const uint64_t elapsedDays = ms / 86400000;
  time.wYear = static_cast<uint16_t>(year);
  time.wMonth = static_cast<uint16_t>(month);
  time.wDay = static_cast<uint16_t>(day);
  time.wDayOfWeek = static_cast<uint16_t>((3 + elapsedDays) % 7);
  time.wHour = static_cast<uint16_t>(inDay / 3600000);
  time.wMinute = static_cast<uint16_t>(inDay / 60000 % 60);
  time.wSecond = static_cast<uint16_t>(inDay / 1000 % 60);
  time.wMilliseconds = static_cast<uint16_t>(inDay % 1000);
}

bool SimSystem::WriteConsoleA(os::Handle out, const std::string& bytes) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::WriteConsoleA, bytes)) return false;
  if (!core_.Find(out, SimCore::Kind::Console)) {
    core_.LastError() = os::kErrorInvalidHandle;
    return false;
  }
  pc_.ConsoleWrites.push_back({bytes, pc_.ConsoleAttr});
  return true;
}

bool SimSystem::GetConsoleScreenBufferInfo(os::Handle out, uint16_t& attributes) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::GetConsoleScreenBufferInfo)) return false;
  if (!core_.Find(out, SimCore::Kind::Console)) {
    core_.LastError() = os::kErrorInvalidHandle;
    return false;
  }
  attributes = pc_.ConsoleAttr;
  return true;
}

bool SimSystem::SetConsoleTextAttribute(os::Handle out, uint16_t attributes) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::SetConsoleTextAttribute, std::to_string(attributes))) return false;
  if (!core_.Find(out, SimCore::Kind::Console)) {
    core_.LastError() = os::kErrorInvalidHandle;
    return false;
  }
  pc_.ConsoleAttr = attributes;
  return true;
}

// Module names are matched without regard to case and with or without ".dll",
// as GetModuleHandleA does.
os::Proc SimSystem::GetProcAddress(const std::string& module, const std::string& name) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::GetProcAddress, module + "!" + name)) return 0;
  if (!EqualNoCase(module, "kernel32") && !EqualNoCase(module, "kernel32.dll")) {
    core_.LastError() = 126;  // ERROR_MOD_NOT_FOUND
    return 0;
  }
  os::Proc proc = 0;
  if (name == "IsWow64Process") proc = kProcIsWow64Process;
  if (name == "GetNativeSystemInfo") proc = kProcGetNativeSystemInfo;
  if (name == "GetProductInfo") proc = kProcGetProductInfo;
  if (proc == 0 || pc_.Version.missingExports.count(name)) {
    core_.LastError() = os::kErrorProcNotFound;
    return 0;
  }
  return proc;
}

bool SimSystem::IsWow64Process(os::Proc fn, bool& wow64) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::IsWow64Process)) return false;
  if (fn != kProcIsWow64Process) return false;
  wow64 = pc_.Version.wow64;
  return true;
}

void SimSystem::GetNativeSystemInfo(os::Proc fn, os::SystemInfo& info) {
  const auto lock = core_.Lock();
  core_.Enter(Call::GetNativeSystemInfo);
  if (fn != kProcGetNativeSystemInfo) return;
  info = os::SystemInfo{};
  info.wProcessorArchitecture = pc_.Version.nativeArchitecture;
  info.dwPageSize = 4096;
  info.dwNumberOfProcessors = 2;
}

// Under WOW64 GetSystemInfo describes the emulated 32-bit machine.
void SimSystem::GetSystemInfo(os::SystemInfo& info) {
  const auto lock = core_.Lock();
  core_.Enter(Call::GetSystemInfo);
  info = os::SystemInfo{};
  info.wProcessorArchitecture = pc_.Version.wow64 ? os::kProcessorArchitectureIntel : pc_.Version.nativeArchitecture;
  info.dwPageSize = 4096;
  info.dwNumberOfProcessors = 2;
}

bool SimSystem::GetProductInfo(os::Proc fn, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t& productType) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::GetProductInfo)) return false;
  if (fn != kProcGetProductInfo) return false;
  productType = pc_.Version.productType;
  return true;
}

bool SimSystem::GetVersionExA(os::OsVersionInfoExA& record) {
  const auto lock = core_.Lock();
  if (core_.Enter(Call::GetVersionExA, std::to_string(record.dwOSVersionInfoSize))) return false;
  const uint32_t size = record.dwOSVersionInfoSize;
  const bool extended = size == os::kOsVersionInfoExSize;
  if (pc_.Version.fails || (size != os::kOsVersionInfoSize && !extended) ||
      (extended && !pc_.Version.acceptsExtendedRecord)) {
    core_.LastError() = os::kErrorInsufficientBuffer;
    return false;
  }
  std::memcpy(&record, &pc_.Version.record, size);
  record.dwOSVersionInfoSize = size;
  return true;
}

int SimSystem::GetSystemMetrics(int index) {
  const auto lock = core_.Lock();
  core_.Enter(Call::GetSystemMetrics, std::to_string(index));
  if (index == os::kSmServerR2) return pc_.Version.serverR2 ? 1 : 0;
  if (index == os::kSmMediaCenter) return pc_.Version.mediaCenter ? 1 : 0;
  return 0;
}

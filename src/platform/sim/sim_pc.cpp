#include "platform/sim/sim_pc.h"

#include <chrono>
#include <cstring>

namespace {

constexpr const char* kCallNames[] = {
    "GetCommandLineA", "GetModuleFileNameA", "GetTempPathA", "Sleep", "CloseHandle", "CharUpperBuffA",
    "OpenMutexA", "CreateMutexA", "FindWindowA", "PostMessageA", "MessageBoxA", "AllocConsole",
    "FreeConsole", "GetStdHandle", "WriteConsoleA", "GetConsoleScreenBufferInfo",
    "SetConsoleTextAttribute", "GetProcAddress", "IsWow64Process", "GetNativeSystemInfo",
    "GetProductInfo", "GetSystemInfo", "GetVersionExA", "GetSystemMetrics", "CreateFileA",
    "DeviceIoControl", "GetLogicalDrives", "SetupDiGetClassDevsA", "SetupDiEnumDeviceInterfaces",
    "SetupDiGetDeviceInterfaceDetailA", "SetupDiDestroyDeviceInfoList", "CoCreateGuid", "WriteFile", "ReadFile", "DeleteFileA", "CreatePipe", "SetHandleInformation", "GetSystemDirectoryA", "CreateProcessA", "WaitForSingleObject", "PeekNamedPipe", "GetExitCodeProcess", "CoInitializeEx", "CoUninitialize", "CoInitializeSecurity", "CreateWbemLocator", "WbemConnectServer", "CoSetProxyBlanket", "WbemExecQuery", "WbemNext", "WbemGet", "ComRelease", "WriteStdOut", "WriteStdOutWide", "GetCurrentProcess", "OpenProcessToken", "LookupPrivilegeValueA", "AdjustTokenPrivileges", "InitiateSystemShutdownA",
    "GetTickCount", "GetLocalTime", "AttachConsole", "GetFileInformationByHandle",
    "SetupDiGetClassDevsByEnumeratorA", "SetupDiEnumDeviceInfo", "SetupDiGetDeviceRegistryPropertyA",
    "GetSystemWindowsDirectoryA", "CreateDirectoryA", "RemoveDirectoryA", "GetFileOwnerSid"};
static_assert(sizeof(kCallNames) / sizeof(kCallNames[0]) == static_cast<int>(Call::kCount),
              "one name per call kind");

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

const char* CallName(Call c) { return kCallNames[static_cast<int>(c)]; }

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

namespace {
int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

void SimClock::FollowRealTime() {
  realStartMs_ = SteadyMs() - static_cast<int64_t>(manualMs_);
  realTime_ = true;
}

uint64_t SimClock::NowMs() const {
  return realTime_ ? static_cast<uint64_t>(SteadyMs() - realStartMs_) : manualMs_;
}

SimPc::SimPc(os::Handle firstHandle) : nextHandle_(firstHandle) {}

uint32_t& SimPc::LastError() { return lastErrors_[std::this_thread::get_id()]; }

uint32_t SimPc::GetLastError() {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  return LastError();
}

void SimPc::SetLastError(uint32_t code) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  LastError() = code;
}

void SimPc::FailNth(Call kind, int n, uint32_t error) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  failures_[{static_cast<int>(kind), counts_[static_cast<int>(kind)] + n}] = error;
}

void SimPc::BeforeNth(Call kind, int n, std::function<void()> hook) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  hooks_[{static_cast<int>(kind), counts_[static_cast<int>(kind)] + n}] = std::move(hook);
}

int SimPc::Count(Call kind) const {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  return counts_[static_cast<int>(kind)];
}

bool SimPc::Owns(os::Handle h) const {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  return handles_.count(h) != 0;
}

std::vector<os::Handle> SimPc::InheritableHandles() const {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  std::vector<os::Handle> found;
  for (const auto& [h, object] : handles_)
    if (object.inheritable) found.push_back(h);
  return found;
}

bool SimPc::Enter(Call kind, const std::string& detail) {
  if (KeepRecords) Calls.push_back({kind, detail});
  Progress();
  const int n = ++counts_[static_cast<int>(kind)];
  auto hook = hooks_.find({static_cast<int>(kind), n});
  if (hook != hooks_.end()) {
    const std::function<void()> fn = std::move(hook->second);
    hooks_.erase(hook);
    fn();
  }
  auto it = failures_.find({static_cast<int>(kind), n});
  if (it == failures_.end()) return false;
  LastError() = it->second;
  failures_.erase(it);
  return true;
}

os::Handle SimPc::NewHandle(Kind kind, const std::string& name, uint32_t access) {
  const os::Handle h = nextHandle_;
  nextHandle_ += 4;  // Windows handles are multiples of four
  handles_[h] = Object{kind, name, access};
  return h;
}

const SimPc::Object* SimPc::Find(os::Handle h, Kind kind) const {
  auto it = handles_.find(h);
  return it != handles_.end() && it->second.kind == kind ? &it->second : nullptr;
}

std::string SimPc::ConsoleText() const {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  std::string text;
  for (const SimConsoleWrite& w : ConsoleWrites) text += w.text;
  return text;
}

std::string SimPc::GetCommandLineA() {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Enter(Call::GetCommandLineA);
  return CommandLine;
}

std::string SimPc::GetModuleFileNameA() {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::GetModuleFileNameA)) return "";
  return ModulePath;
}

std::string SimPc::GetTempPathA(uint32_t bufferChars) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::GetTempPathA)) return "";
  // Too small a buffer: the call returns the size it needs and fills nothing.
  if (TempPath.size() + 1 > bufferChars) return "";
  return TempPath;
}

void SimPc::Sleep(uint32_t ms) {
  std::unique_lock<std::recursive_mutex> lock(mutex_);
  Enter(Call::Sleep, std::to_string(ms));
  SleptMs += ms;
  if (Clock.RealTime()) {
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return;
  }
  // The program's time passes for the machine as well.
  Clock.Advance(ms);
  Progress();
  Notify();
}

bool SimPc::CloseHandle(os::Handle h) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::CloseHandle)) return false;
  auto it = handles_.find(h);
  if (it == handles_.end()) {
    LastError() = os::kErrorInvalidHandle;
    return false;
  }
  if (h == consoleOutput_) consoleOutput_ = os::kNull;
  if (h == stdOutFile_) stdOutFile_ = os::kNull;
  ForgetHandle(h, it->second.kind);
  const Object closed = it->second;
  handles_.erase(it);
  // "The mutex object is destroyed when its last handle has been closed"
  // (learn.microsoft.com/windows/win32/api/synchapi/nf-synchapi-createmutexa).
  if (closed.kind == Kind::Mutex && CreatedMutexes.count(closed.name)) {
    bool open = false;
    for (const auto& [other, object] : handles_) open = open || (object.kind == Kind::Mutex && object.name == closed.name);
    if (!open) {
      CreatedMutexes.erase(closed.name);
      MutexSddl.erase(closed.name);
    }
  }
  return true;
}

std::string SimPc::CharUpperBuffA(const std::string& text) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Enter(Call::CharUpperBuffA);
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(UpperCp1252(static_cast<unsigned char>(c)));
  return upper;
}

// Object names are case-sensitive in Windows' object manager.
os::Handle SimPc::OpenMutexA(uint32_t access, bool, const std::string& name) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::OpenMutexA, name)) return os::kNull;
  if (!OtherMutexes.count(name) && !CreatedMutexes.count(name)) {
    LastError() = os::kErrorFileNotFound;
    return os::kNull;
  }
  return NewHandle(Kind::Mutex, name, access);
}

os::Handle SimPc::CreateMutexA(const std::string& sddl, bool, const std::string& name) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::CreateMutexA, name)) return os::kNull;
  const bool existed = OtherMutexes.count(name) || CreatedMutexes.count(name);
  CreatedMutexes.insert(name);
  if (!existed) MutexSddl[name] = sddl;
  LastError() = existed ? os::kErrorAlreadyExists : os::kErrorSuccess;
  return NewHandle(Kind::Mutex, name);
}

// FindWindowA compares class and window names without regard to case.
os::Handle SimPc::FindWindowA(const std::string& className, const std::string& windowName) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::FindWindowA, className + "/" + windowName)) return os::kNull;
  for (const SimWindow& w : Windows)
    if (EqualNoCase(w.className, className) && EqualNoCase(w.windowName, windowName)) return w.handle;
  LastError() = os::kErrorSuccess;
  return os::kNull;
}

bool SimPc::PostMessageA(os::Handle window, uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::PostMessageA, std::to_string(msg))) return false;
  for (const SimWindow& w : Windows) {
    if (w.handle == window) {
      Posted.push_back({window, msg, wParam, lParam});
      return true;
    }
  }
  LastError() = 1400;  // ERROR_INVALID_WINDOW_HANDLE
  return false;
}

int SimPc::MessageBoxA(const std::string& text, const std::string& caption, uint32_t type) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::MessageBoxA, text)) return 0;
  MessageBoxes.emplace_back(caption, text);
  MessageBoxTypes.push_back(type);
  if (MessageBoxAnswers.empty()) return 1;  // IDOK
  const int answer = MessageBoxAnswers.front();
  MessageBoxAnswers.pop_front();
  return answer;
}

bool SimPc::AllocConsole() {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::AllocConsole)) return false;
  if (HasInheritedConsole || ConsoleAllocated) {
    LastError() = os::kErrorAccessDenied;
    return false;
  }
  ConsoleAllocated = true;
  consoleOutput_ = NewHandle(Kind::Console, "CONOUT$");
  return true;
}

bool SimPc::FreeConsole() {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::FreeConsole)) return false;
  ConsoleAllocated = false;
  HasInheritedConsole = false;
  return true;
}

// A GUI process without a console has no standard output handle (NULL),
// unless its parent redirected it. AllocConsole and AttachConsole set the
// standard handles to the console, redirected or not.
os::Handle SimPc::GetStdHandle(uint32_t which) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::GetStdHandle)) return os::kInvalid;
  if (which != os::kStdOutputHandle) return os::kNull;
  if (consoleOutput_ == os::kNull && !ConsoleAllocated && !StdOutFile.empty()) {
    if (stdOutFile_ == os::kNull) {
      stdOutFile_ = NewHandle(Kind::File, StdOutFile, os::kGenericWrite);
      std::string& bytes = Processes.Files[StdOutFile].Bytes;
      Processes.OpenFiles[stdOutFile_] = {StdOutFile, os::kGenericWrite, os::kFileShareRead | os::kFileShareWrite,
                                          bytes.size()};
    }
    return stdOutFile_;
  }
  if (HasInheritedConsole && consoleOutput_ == os::kNull)
    consoleOutput_ = NewHandle(Kind::Console, "inherited");
  if (consoleOutput_ == os::kNull && !ConsoleAllocated && StdOutStale) return kStaleStdOut;
  return consoleOutput_;
}

bool SimPc::AttachConsole(uint32_t processId) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::AttachConsole, std::to_string(processId))) return false;
  if (HasInheritedConsole || ConsoleAllocated || consoleOutput_ != os::kNull) {
    LastError() = os::kErrorAccessDenied;  // already attached to one
    return false;
  }
  if (processId != os::kAttachParentProcess || !ParentConsole) {
    LastError() = os::kErrorInvalidHandle;  // that process has no console
    return false;
  }
  consoleOutput_ = NewHandle(Kind::Console, "parent");
  return true;
}

uint32_t SimPc::GetTickCount() {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Enter(Call::GetTickCount);
  return static_cast<uint32_t>(Clock.NowMs());
}

void SimPc::GetLocalTime(os::SystemTime& time) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Enter(Call::GetLocalTime);
  // 2026-12-09 (a Wednesday) 09:00:00.000, plus the clock; days counted on
  // through the proleptic Gregorian calendar.
  const uint64_t ms = Clock.NowMs() + 9ull * 3600 * 1000;
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

bool SimPc::WriteConsoleA(os::Handle out, const std::string& bytes) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::WriteConsoleA, bytes)) return false;
  if (!Find(out, Kind::Console)) {
    LastError() = os::kErrorInvalidHandle;
    return false;
  }
  ConsoleWrites.push_back({bytes, ConsoleAttr});
  return true;
}

bool SimPc::GetConsoleScreenBufferInfo(os::Handle out, uint16_t& attributes) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::GetConsoleScreenBufferInfo)) return false;
  if (!Find(out, Kind::Console)) {
    LastError() = os::kErrorInvalidHandle;
    return false;
  }
  attributes = ConsoleAttr;
  return true;
}

bool SimPc::SetConsoleTextAttribute(os::Handle out, uint16_t attributes) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::SetConsoleTextAttribute, std::to_string(attributes))) return false;
  if (!Find(out, Kind::Console)) {
    LastError() = os::kErrorInvalidHandle;
    return false;
  }
  ConsoleAttr = attributes;
  return true;
}

// Module names are matched without regard to case and with or without ".dll",
// as GetModuleHandleA does.
os::Proc SimPc::GetProcAddress(const std::string& module, const std::string& name) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::GetProcAddress, module + "!" + name)) return 0;
  if (!EqualNoCase(module, "kernel32") && !EqualNoCase(module, "kernel32.dll")) {
    LastError() = 126;  // ERROR_MOD_NOT_FOUND
    return 0;
  }
  os::Proc proc = 0;
  if (name == "IsWow64Process") proc = kProcIsWow64Process;
  if (name == "GetNativeSystemInfo") proc = kProcGetNativeSystemInfo;
  if (name == "GetProductInfo") proc = kProcGetProductInfo;
  if (proc == 0 || Version.missingExports.count(name)) {
    LastError() = os::kErrorProcNotFound;
    return 0;
  }
  return proc;
}

bool SimPc::IsWow64Process(os::Proc fn, bool& wow64) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::IsWow64Process)) return false;
  if (fn != kProcIsWow64Process) return false;
  wow64 = Version.wow64;
  return true;
}

void SimPc::GetNativeSystemInfo(os::Proc fn, os::SystemInfo& info) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Enter(Call::GetNativeSystemInfo);
  if (fn != kProcGetNativeSystemInfo) return;
  info = os::SystemInfo{};
  info.wProcessorArchitecture = Version.nativeArchitecture;
  info.dwPageSize = 4096;
  info.dwNumberOfProcessors = 2;
}

// Under WOW64 GetSystemInfo describes the emulated 32-bit machine.
void SimPc::GetSystemInfo(os::SystemInfo& info) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Enter(Call::GetSystemInfo);
  info = os::SystemInfo{};
  info.wProcessorArchitecture = Version.wow64 ? os::kProcessorArchitectureIntel : Version.nativeArchitecture;
  info.dwPageSize = 4096;
  info.dwNumberOfProcessors = 2;
}

bool SimPc::GetProductInfo(os::Proc fn, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t& productType) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::GetProductInfo)) return false;
  if (fn != kProcGetProductInfo) return false;
  productType = Version.productType;
  return true;
}

bool SimPc::GetVersionExA(os::OsVersionInfoExA& record) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::GetVersionExA, std::to_string(record.dwOSVersionInfoSize))) return false;
  const uint32_t size = record.dwOSVersionInfoSize;
  const bool extended = size == os::kOsVersionInfoExSize;
  if (Version.fails || (size != os::kOsVersionInfoSize && !extended) ||
      (extended && !Version.acceptsExtendedRecord)) {
    LastError() = os::kErrorInsufficientBuffer;
    return false;
  }
  std::memcpy(&record, &Version.record, size);
  record.dwOSVersionInfoSize = size;
  return true;
}

int SimPc::GetSystemMetrics(int index) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  Enter(Call::GetSystemMetrics, std::to_string(index));
  if (index == os::kSmServerR2) return Version.serverR2 ? 1 : 0;
  if (index == os::kSmMediaCenter) return Version.mediaCenter ? 1 : 0;
  return 0;
}

bool SimPc::CoCreateGuid(os::Guid& guid) {
  const std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (Enter(Call::CoCreateGuid)) return false;
  // Distinct, version-4 shaped values; deterministic so tests can repeat.
  ++guidCounter_;
  guid = os::Guid{0x5A1E0000u + guidCounter_, 0x1234, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, uint8_t(guidCounter_)}};
  return true;
}

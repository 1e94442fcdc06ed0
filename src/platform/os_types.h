// Portable, byte-exact forms of the Windows records and constants that cross
// the seam. Padding is written out so no layout rests on a compiler's
// alignment rules; the Windows build asserts them against the SDK as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Windows counts sizes in binary units: a MB is 2^20 bytes. Sizes in MB are
// bytes divided by this, truncated.
constexpr uint64_t kBytesPerMb = 1048576;

namespace os {

// How a disk is partitioned (PARTITION_STYLE), in the drivers' records and
// on the simulated disks alike.
constexpr uint32_t kStyleMbr = 0;
constexpr uint32_t kStyleGpt = 1;
constexpr uint32_t kStyleRaw = 2;

using Handle = std::uintptr_t;  // HANDLE, HWND, HDEVINFO alike
using Proc = std::uintptr_t;    // an exported function's address; 0 when absent
constexpr Handle kNull = 0;
constexpr Handle kInvalid = ~Handle(0);  // INVALID_HANDLE_VALUE

// Error codes (winerror.h).
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorCallNotImplemented = 120;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorProcNotFound = 127;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorNoMoreItems = 259;

// CreateFileA.
constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kFileShareRead = 0x1;
constexpr uint32_t kFileShareWrite = 0x2;
constexpr uint32_t kOpenExisting = 3;

constexpr uint32_t kCreateNew = 1;
constexpr uint32_t kOpenAlways = 4;
constexpr uint32_t kFileAppendData = 0x4;        // writes land at the file's end
constexpr uint32_t kFileReadAttributes = 0x80;
constexpr uint32_t kSynchronize = 0x00100000;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeReparsePoint = 0x400;
constexpr uint32_t kFileAttributeNormal = 0x80;
constexpr uint32_t kFileFlagOpenReparsePoint = 0x00200000;
constexpr uint32_t kFileFlagBackupSemantics = 0x02000000;  // needed to open a directory
constexpr uint32_t kReadControl = 0x00020000;
constexpr uint32_t kErrorDirectory = 267;      // ERROR_DIRECTORY: not a directory name
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorInvalidOwner = 1307;
// Well-known owners, as ConvertSidToStringSid writes them.
constexpr char kSidAdministrators[] = "S-1-5-32-544";
constexpr char kSidLocalSystem[] = "S-1-5-18";
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorBrokenPipe = 109;

// Waits and processes.
constexpr uint32_t kInfinite = 0xFFFFFFFFu;
constexpr uint32_t kWaitObject0 = 0;
constexpr uint32_t kWaitTimeout = 258;
constexpr uint32_t kWaitFailed = 0xFFFFFFFFu;
constexpr uint32_t kStillActive = 259;
constexpr uint32_t kHandleFlagInherit = 0x1;

struct ProcessInformation {
  Handle hProcess;
  Handle hThread;
  uint32_t dwProcessId;
  uint32_t dwThreadId;
};

constexpr uint32_t kMutexAllAccess = 0x001F0001;
constexpr uint32_t kStdOutputHandle = static_cast<uint32_t>(-11);
constexpr uint32_t kAttachParentProcess = static_cast<uint32_t>(-1);

// SYSTEMTIME.
struct SystemTime {
  uint16_t wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

// The two fields of BY_HANDLE_FILE_INFORMATION the program reads.
struct FileIdentity {
  uint32_t Attributes;     // dwFileAttributes
  uint32_t NumberOfLinks;  // nNumberOfLinks
};

// MessageBoxA.
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbYesNo = 0x4;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconWarning = 0x30;
constexpr uint32_t kMbDefButton2 = 0x100;  // the second button (No) has the focus
constexpr uint32_t kMbIconInformation = 0x40;
constexpr uint32_t kMbSystemModal = 0x1000;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// GetSystemMetrics indices.
constexpr int kSmMediaCenter = 87;
constexpr int kSmServerR2 = 89;

struct Guid {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
static_assert(sizeof(Guid) == 16, "GUID size");

inline bool operator==(const Guid& a, const Guid& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool operator!=(const Guid& a, const Guid& b) { return !(a == b); }

// OSVERSIONINFOEXA: 156 bytes; its first 148 bytes are OSVERSIONINFOA.
struct OsVersionInfoExA {
  uint32_t dwOSVersionInfoSize;
  uint32_t dwMajorVersion;
  uint32_t dwMinorVersion;
  uint32_t dwBuildNumber;
  uint32_t dwPlatformId;
  char szCSDVersion[128];
  uint16_t wServicePackMajor;
  uint16_t wServicePackMinor;
  uint16_t wSuiteMask;
  uint8_t wProductType;
  uint8_t wReserved;
};
constexpr uint32_t kOsVersionInfoExSize = 156;
constexpr uint32_t kOsVersionInfoSize = 148;
static_assert(sizeof(OsVersionInfoExA) == kOsVersionInfoExSize, "OSVERSIONINFOEXA size");
static_assert(offsetof(OsVersionInfoExA, wServicePackMajor) == kOsVersionInfoSize,
              "extended fields follow OSVERSIONINFOA");
static_assert(offsetof(OsVersionInfoExA, wProductType) == 154, "wProductType offset");

// The SDK's records as the process's own bitness lays them out: a pointer or
// a ULONG_PTR is 4 bytes in the shipped 32-bit program and 8 in the 64-bit
// flavour of the Wine suite and in the native tests.
constexpr bool kPointers32 = sizeof(void*) == 4;

// SYSTEM_INFO: 36 bytes (32-bit) or 48 (64-bit); only the architecture is read.
struct SystemInfo {
  uint16_t wProcessorArchitecture;
  uint16_t wReserved;
  uint32_t dwPageSize;
  std::uintptr_t lpMinimumApplicationAddress;
  std::uintptr_t lpMaximumApplicationAddress;
  std::uintptr_t dwActiveProcessorMask;
  uint32_t dwNumberOfProcessors;
  uint32_t dwProcessorType;
  uint32_t dwAllocationGranularity;
  uint16_t wProcessorLevel;
  uint16_t wProcessorRevision;
};
static_assert(sizeof(SystemInfo) == (kPointers32 ? 36 : 48), "SYSTEM_INFO size");

constexpr uint16_t kProcessorArchitectureIntel = 0;
constexpr uint16_t kProcessorArchitectureIa64 = 6;
constexpr uint16_t kProcessorArchitectureAmd64 = 9;

// SP_DEVICE_INTERFACE_DATA: 28 bytes (32-bit) or 32 (64-bit).
struct SpDeviceInterfaceData {
  uint32_t cbSize;
  Guid InterfaceClassGuid;
  uint32_t Flags;
  std::uintptr_t Reserved;
};
static_assert(sizeof(SpDeviceInterfaceData) == (kPointers32 ? 28 : 32), "SP_DEVICE_INTERFACE_DATA size");

// SP_DEVINFO_DATA: 28 bytes (32-bit) or 32 (64-bit). The caller sets cbSize;
// DevInst and Reserved identify the device to later calls on the same set.
struct SpDevInfoData {
  uint32_t cbSize;
  Guid ClassGuid;
  uint32_t DevInst;
  std::uintptr_t Reserved;
};
static_assert(sizeof(SpDevInfoData) == (kPointers32 ? 28 : 32), "SP_DEVINFO_DATA size");

// SetupDiGetClassDevs flags and device registry properties (setupapi.h).
constexpr uint32_t kDigcfPresent = 0x02;
constexpr uint32_t kDigcfAllClasses = 0x04;
constexpr uint32_t kSpdrpHardwareId = 0x01;
// Registry value types (winnt.h).
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegMultiSz = 7;
// A device without the property asked for.
constexpr uint32_t kErrorInvalidData = 13;

// COM and WMI. An interface pointer crosses the seam as an opaque value;
// HRESULTs are signed 32-bit.
using ComObject = std::uintptr_t;
using HResult = int32_t;
constexpr HResult kSOk = 0;
// CoInitializeSecurity: the process's COM security was already set.
constexpr HResult kRpcETooLate = static_cast<HResult>(0x80010119u);
inline bool Succeeded(HResult hr) { return hr >= 0; }
// HRESULT_FROM_WIN32.
inline uint32_t HResultFromWin32(uint32_t error) {
  return static_cast<int32_t>(error) <= 0 ? error : ((error & 0xFFFFu) | 0x80070000u);
}

// A property value as WMI delivers it (VARIANT): its type and, for the types
// the program reads, its value.
struct Variant {
  enum class Type { Empty, Null, String, Integer, Other } type = Type::Empty;
  std::wstring text;   // Type::String
  int64_t integer = 0;  // Type::Integer (VT_I1..VT_UI8, VT_INT, VT_UINT)
};

// Token privileges.
struct Luid {
  uint32_t LowPart;
  int32_t HighPart;
};
// TOKEN_PRIVILEGES with exactly one entry: 16 bytes.
struct TokenPrivileges1 {
  uint32_t PrivilegeCount;
  Luid PrivilegeLuid;
  uint32_t Attributes;
};
static_assert(sizeof(TokenPrivileges1) == 16, "TOKEN_PRIVILEGES with one entry");
constexpr uint32_t kTokenAdjustPrivileges = 0x0020;
constexpr uint32_t kTokenQuery = 0x0008;
constexpr uint32_t kSePrivilegeEnabled = 0x2;
constexpr uint32_t kErrorNotAllAssigned = 1300;

}  // namespace os

// Where DLLs come from (platform/win32/dll_loading.cpp), against Wine's
// loader. orvplanted.dll, built beside this program, stands for a DLL an
// attacker left there: loaded, it writes NAME.planted beside itself. Whatever
// changes the process's search order runs in a child process (a death test),
// so the other tests keep theirs.
#include <gtest/gtest.h>
#include <windows.h>

#include <delayimp.h>

#include <cstdlib>
#include <string>

#include "platform/win32/dll_loading.h"

namespace {

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return FolderOf(std::wstring(path, n));
}

std::wstring SystemFolder() {
  wchar_t path[MAX_PATH];
  const UINT n = GetSystemDirectoryW(path, MAX_PATH);
  return std::wstring(path, n);
}

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
  return std::wstring(path, n);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

// A death test's statement: 1 when the bare name loaded, 0 when it did not.
[[noreturn]] void ExitWithLoadResult(const wchar_t* name) { std::exit(LoadLibraryW(name) ? 1 : 0); }

class DllLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    planted_ = ProgramFolder() + L"\\orvplanted.dll";
    ASSERT_TRUE(Exists(planted_)) << "orvplanted.dll is built beside the tests";
    DeleteFileW((planted_ + L".planted").c_str());
  }
  // The planted DLL ran its DllMain under some name in this folder.
  static bool MarkerIn(const std::wstring& folder, const wchar_t* name) {
    return Exists(folder + L"\\" + name + L".planted");
  }
  std::wstring planted_;
};

TEST_F(DllLoading, TheDelayLoadedDllsComeFromTheSystemFolder) {
  for (const char* name : {"gdiplus.dll", "setupapi.dll"}) {
    HMODULE module = LoadSystemLibrary(name);
    ASSERT_NE(module, nullptr) << name;
    EXPECT_TRUE(SameText(FolderOf(ModulePath(module)), SystemFolder())) << name;
  }
}

TEST_F(DllLoading, ADllOnlyBesideTheProgramIsNeverLoaded) {
  SetLastError(0);
  EXPECT_EQ(LoadSystemLibrary("orvplanted.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(GetModuleHandleW(L"orvplanted.dll"), nullptr);
  EXPECT_FALSE(MarkerIn(ProgramFolder(), L"orvplanted.dll"));
}

// The hook answers the helper's pre-load notice with the system's module; a
// nullptr answer would make the helper search the program's folder, so where
// the system has no such DLL the process ends, with the loader's own code for
// a missing DLL and the reason on its standard error.
TEST_F(DllLoading, TheDelayLoadHookLoadsFromTheSystemFolder) {
  DelayLoadInfo info = {};
  info.cb = sizeof info;
  info.szDll = "setupapi.dll";
  HMODULE module = reinterpret_cast<HMODULE>(__pfnDliNotifyHook2(dliNotePreLoadLibrary, &info));
  ASSERT_NE(module, nullptr);
  EXPECT_TRUE(SameText(FolderOf(ModulePath(module)), SystemFolder()));
}

TEST_F(DllLoading, TheDelayLoadHookEndsTheProcessRatherThanSearch) {
  DelayLoadInfo info = {};
  info.cb = sizeof info;
  info.szDll = "orvplanted.dll";
  EXPECT_EXIT(__pfnDliNotifyHook2(dliNotePreLoadLibrary, &info),
              ::testing::ExitedWithCode(static_cast<int>(STATUS_DLL_NOT_FOUND)),
              "orvplanted.dll could not be loaded from the system folder");
  EXPECT_FALSE(MarkerIn(ProgramFolder(), L"orvplanted.dll"));
}

bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// Each step of the start-up hardening against a DLL that waits in one place:
// beside the program, or in the current folder (a copy in a folder of its
// own). Without the step Wine loads it, so each case can fail; with it, not.
struct SearchCase {
  const char* what;
  void (*step)();
  int loaded;  // the child's exit code: 1 loaded, 0 not
};

TEST_F(DllLoading, NothingBesideTheProgramIsLoadedByNameOnceHardened) {
  const SearchCase cases[] = {
      {"no step", [] {}, 1},
      {"system folder only", [] { SearchSystemFolderOnly(); }, 0},
      {"hardened", HardenDllSearch, 0},
  };
  for (const SearchCase& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW((planted_ + L".planted").c_str());
    EXPECT_EXIT(
        {
          c.step();
          ExitWithLoadResult(L"orvplanted.dll");
        },
        ::testing::ExitedWithCode(c.loaded), "");
    EXPECT_EQ(MarkerIn(ProgramFolder(), L"orvplanted.dll"), c.loaded == 1);
  }
}

TEST_F(DllLoading, NothingInTheCurrentFolderIsLoadedByNameOnceHardened) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring current = std::wstring(temp) + L"orv-dll-loading-test";
  CreateDirectoryW(current.c_str(), nullptr);
  const std::wstring copy = current + L"\\orvcurrent.dll";
  ASSERT_TRUE(CopyFileW(planted_.c_str(), copy.c_str(), FALSE));
  const SearchCase cases[] = {
      {"no step", [] {}, 1},
      {"current folder removed", RemoveCurrentFolderFromDllSearch, 0},
      {"hardened", HardenDllSearch, 0},
  };
  for (const SearchCase& c : cases) {
    SCOPED_TRACE(c.what);
    // Wine 8 takes SetDllDirectoryW(L"") for "no DLL folder set" and keeps
    // the current folder; Windows removes it, as documented. Only Windows
    // judges that step alone.
    if (c.step == RemoveCurrentFolderFromDllSearch && UnderWine()) continue;
    DeleteFileW((copy + L".planted").c_str());
    EXPECT_EXIT(
        {
          SetCurrentDirectoryW(current.c_str());
          c.step();
          ExitWithLoadResult(L"orvcurrent.dll");
        },
        ::testing::ExitedWithCode(c.loaded), "");
    EXPECT_EQ(MarkerIn(current, L"orvcurrent.dll"), c.loaded == 1);
  }
  DeleteFileW((copy + L".planted").c_str());
  DeleteFileW(copy.c_str());
  RemoveDirectoryW(current.c_str());
}

}  // namespace

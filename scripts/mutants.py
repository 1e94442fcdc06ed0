#!/usr/bin/env python3
"""The mutation check: each mutant removes or weakens one safety check of
the program (a bound, a guard, a flag, a comparison). For each, the native
suite and the fuzz targets' seed replays are built and run; a mutant none of
them notices survives, and wants a test that kills it.

usage: scripts/mutants.py [NAME_SUBSTRING...]    (run through scripts/mutants.sh;
       with substrings, only the mutants whose names hold one of them)
"""
import os
import subprocess
import sys
import time

# A copy of the tree (made by mutants.sh), so the working tree is never
# changed while the mutants run.
ROOT = os.environ.get("ORV_MUTANT_TREE", os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.join(ROOT, "build", "mutants")

# (name, file, exact text, replacement)
MUTANTS = [
    ("layout entries clamped to the bytes returned", "src/disk/disk_query.cpp",
     "std::min(layout->Header.PartitionCount, disk::LayoutEntriesCovered(bytes))", "layout->Header.PartitionCount"),
    ("layout reply shorter than its header refused", "src/disk/disk_query.cpp",
     "if (bytes < sizeof(disk::DriveLayoutHeader)) return false;", ""),
    ("empty layout slots skipped", "src/disk/disk_query.cpp",
     "if (entry.PartitionNumber == 0) continue;", ""),
    ("at most 128 partitions stored", "src/disk/disk_query.cpp",
     "if (stored == kMaxPartsPerDisk) break;", ""),
    ("product text ends inside the reply", "src/disk/disk_query.cpp",
     "while (end < valid && buffer[end] != 0) ++end;", "while (buffer[end] != 0) ++end;"),
    ("product text bound by the bytes returned", "src/disk/disk_query.cpp",
     "return std::min(bytes, kDescriptorBufferBytes);", "return kDescriptorBufferBytes;"),
    ("device number reply must be whole", "src/disk/disk_query.cpp",
     "      bytes < sizeof reply)\n    return false;\n  number = reply;", "      false)\n    return false;\n  number = reply;"),
    ("geometry reply must cover DISK_GEOMETRY", "src/disk/disk_query.cpp",
     "bytes < sizeof(disk::DiskGeometry)", "false"),
    ("GPT edit skips entries numbered 0", "src/disk/disk_edit.cpp",
     "if (entry.PartitionNumber != 0 && static_cast<int64_t>(entry.PartitionNumber) == partNum) edit(entry);",
     "if (static_cast<int64_t>(entry.PartitionNumber) == partNum) edit(entry);"),
    ("no layout written after a failed read", "src/disk/disk_edit.cpp",
     "if (!readOk) return \"ReadFailed\";", ""),
    ("no layout written from a truncated read", "src/disk/disk_edit.cpp",
     "layout.Header.PartitionCount > disk::LayoutEntriesCovered(bytes))", "false)"),
    ("GPT edits only on GPT layouts", "src/disk/disk_edit.cpp",
     "if (layout.Header.PartitionStyle != disk::kStyleGpt) return \"NotGpt\";", ""),
    ("what the driver did not return goes back as zeros", "src/disk/disk_edit.cpp",
     "std::memset(reinterpret_cast<uint8_t*>(layout.get()) + bytes, 0, disk::kLayoutBufferBytes - bytes);", ""),
    ("no volume for partition 0", "src/disk/disk_edit.cpp",
     "|| partNum < 1) return \"\";", ") return \"\";"),
    ("a volume matches on its disk too", "src/disk/disk_edit.cpp",
     "static_cast<int64_t>(number.DeviceNumber) == diskNum &&\n", ""),
    ("a fresh partition GUID or nothing", "src/disk/disk_edit.cpp",
     "if (!CurrentOs().CoCreateGuid(newId)) {", "if (!CurrentOs().CoCreateGuid(newId) && false) {"),
    ("drive numbers outside 0..63 refused", "src/disk/disk.cpp",
     "if (diskNum < kFirstDriveNumber || diskNum > kLastDriveNumber) return \"\";", ""),
    ("stored partitions clamped to the record", "src/disk/disk.h",
     "return info.PartCount < kMaxPartsPerDisk ? info.PartCount : kMaxPartsPerDisk;", "return info.PartCount;"),
    ("script folder owned as made", "src/partops/script_file.cpp",
     "return owner == os::kSidAdministrators ? os::kErrorSuccess : os::kErrorInvalidOwner;", "return os::kErrorSuccess;"),
    ("script folder is no reparse point", "src/partops/script_file.cpp",
     " || (identity.Attributes & os::kFileAttributeReparsePoint))", ")"),
    ("script folder made with its access list", "src/partops/script_file.cpp",
     "os.CreateDirectoryA(path, kScriptFolderSddl)", "os.CreateDirectoryA(path, \"\")"),
    ("a Create click takes the machine-wide lock before it reads", "src/ui/main_form.cpp",
     "  if (!Session.CreateFlow.TakeDiskLock()) return TellLockRefused(Session.CreateFlow.LockRefusedWhy());\n", ""),
    ("a Delete holds the machine-wide lock", "src/ui/delete_workflow.cpp",
     "  if (!TakeDiskLock()) return;\n", ""),
    ("an unattended change holds the lock before it reads", "src/app/unattended.cpp",
     "if ((s.Action == TAction::Create || s.Action == TAction::Delete) && hold.Take() != TDiskChangeLock::Taken) {",
     "if (false) {"),
    ("a lock another account made counts as held", "src/partops/disk_change_lock.cpp",
     "error_ == os::kErrorAccessDenied ? TDiskChangeLock::Busy : TDiskChangeLock::Failed", "TDiskChangeLock::Failed"),
    ("script file made without following a link", "src/partops/script_file.cpp",
     "os::kFileAttributeNormal | os::kFileFlagOpenReparsePoint));", "os::kFileAttributeNormal));"),
    ("script lock opened without following a link", "src/partops/script_file.cpp",
     "                                   os::kFileFlagOpenReparsePoint));", "                                   0));"),
    ("script read back and compared", "src/partops/script_file.cpp",
     "if (back.compare(0, read, bytes) != 0 || read != bytes.size()) {", "if (false) {"),
    ("the script lock shares no writing", "src/partops/script_file.cpp",
     "os::kGenericRead, os::kFileShareRead, os::kOpenExisting", "os::kGenericRead, os::kFileShareRead | os::kFileShareWrite | 0x4, os::kOpenExisting"),
    ("whatever stands under the script's name goes first", "src/partops/script_file.cpp",
     "if (!os.DeleteFileA(path) && os.GetLastError() != os::kErrorFileNotFound) return Failed(os, error);", ""),
    ("diskpart by its full system path", "src/partops/disk_part.cpp",
     "return \"\\\"\" + IncludeTrailingBackslash(Setup.SystemDirectory) + \"diskpart.exe\\\" /S \" + quotedScript;",
     "return \"diskpart /S \" + quotedScript;"),
    ("diskpart runs only on a script written safely", "src/partops/disk_part.cpp",
     "if (lock.Valid() && !commandLine.empty())", "if (!commandLine.empty())"),
    ("GPT delete with override", "src/partops/disk_part.cpp",
     "partitionStyle == kPartitionStyleGpt ? \"delete partition override\" : \"delete partition\"", "\"delete partition\""),
    ("no script written while a run is in flight", "src/partops/disk_part.cpp",
     "if (Runs_.RefuseWhileBusy()) return 0;", ""),
    ("one run in flight at a time", "src/partops/run_owner.cpp",
     "if (RefuseWhileBusy()) return 0;", ""),
    ("the read end is not inherited after the start", "src/partops/execute_program.cpp",
     "os.SetHandleInformation(readEnd, os::kHandleFlagInherit, 0);", ""),
    ("a pipe whose end cannot be seen is read until the child ends", "src/partops/execute_program.cpp",
     "  if (writeClosed) {", "  if (true) {"),
    ("pipe made uninheritable", "src/partops/execute_program.cpp",
     "os.CreatePipe(readEnd, writeEnd, false)", "os.CreatePipe(readEnd, writeEnd, true)"),
    ("a failed wait gives no exit code", "src/partops/execute_program.cpp",
     "os.WaitForSingleObject(process.Get(), os::kInfinite) == os::kWaitObject0 &&", "(os.WaitForSingleObject(process.Get(), os::kInfinite), true) &&"),
    ("a program that cannot start has failed", "src/partops/execute_program.cpp",
     "ExitCode_ = static_cast<int32_t>(os::HResultFromWin32(createError ? createError : os::kErrorGenFailure));", "ExitCode_ = 0;"),
    ("the helper takes bare names from the system folder", "src/platform/helper_command.cpp",
     "if (program.empty() || program.find_first_of(\"\\\\/:\") != std::string::npos) return commandLine;", "return commandLine;"),
    ("exactly one new partition is retyped", "src/ui/create_workflow.cpp",
     "if (found.Count != 1) {", "if (found.Count == 0) {"),
    ("the new partition is found, not predicted", "src/ui/create_workflow.cpp",
     "if (partNum != 0) SetRapidStartPartIdUseIo(Session_.Model, DiskNum_, partNum);",
     "SetRapidStartPartIdUseIo(Session_.Model, DiskNum_, NewPartNum);"),
    ("the shrink target is looked up by its offset", "src/ui/create_workflow.cpp",
     "const int32_t partNum = PartNumAtOffset(DiskNum_, ClickOffsets_[static_cast<std::size_t>(PartIndex)], false);",
     "const int32_t partNum = Ctx_.Model.DiskInfo[DiskIndex].PartInfo[PartIndex].PartNum;"),
    ("Create gives back exactly what its shrink took", "src/ui/create_workflow.cpp",
     "return dp.ExtendPart(DiskNum_, partNum, ShrunkMB_);", "return dp.ExtendPart(DiskNum_, partNum, 0);"),
    ("only a readable disk gets a Create", "src/ui/create_workflow.cpp",
     "const bool known = disk && disk->PartitionStyle != kPartitionStyleUnknown;", "const bool known = disk != nullptr;"),
    ("the partition to delete is still a Rapid Start partition", "src/ui/workflow_steps.cpp",
     "if (rapidStart && !IsRapidStartPart(now->PartitionStyle, p)) break;", ""),
    ("a run's end is taken only by the workflow that waits for it", "src/ui/workflow_steps.cpp",
     "runId == 0 || runId != RunId_ ||", "runId == 0 ||"),
    ("a disk that did not answer the judging rescan is read again", "src/ui/workflow_steps.cpp",
     "if (!RescannedAgain_ && WorkDiskNum() >= 0 && !WorkDiskRead()) {", "if (false) {"),
    ("only the Rapid Start partition shown is deleted", "src/ui/delete_workflow.cpp",
     "if (shown && (disk.DiskNum != shownDisk || part->PartOffset != shownOffset)) {", "if (false) {"),
    ("a failed Delete says so", "src/ui/delete_workflow.cpp",
     "Session_.StatusText += stillThere ? \".....Failed.\" : \".....Done.\";", "Session_.StatusText += \".....Done.\";"),
    ("nothing is edited on an unreadable disk", "src/partops/direct_ops.cpp",
     "if (info.PartitionStyle != kPartitionStyleUnknown) return false;", "return false;"),
    ("no hand-off to a GUI that is gone", "src/shell/thread.cpp",
     "  const std::lock_guard<std::mutex> lock(g_dispatcherMutex);\n  if (!g_dispatcher) return false;\n  g_dispatcher->Post",
     "  const std::lock_guard<std::mutex> lock(g_dispatcherMutex);\n  g_dispatcher->Post"),
    # The unattended runs and their log file.
    ("log file opened without following a link", "src/shell/log_file.cpp",
     "os::kFileAttributeNormal | os::kFileFlagOpenReparsePoint));", "os::kFileAttributeNormal));"),
    ("log file that is a link refused", "src/shell/log_file.cpp",
     "if (identity.Attributes & os::kFileAttributeReparsePoint) return \"a link stands under that name\";", ""),
    ("log file with a second name refused", "src/shell/log_file.cpp",
     "if (identity.NumberOfLinks != 1) return \"the file has another name (a hard link)\";", ""),
    ("log file appended, never overwritten", "src/shell/log_file.cpp",
     "os::kFileAppendData | os::kFileReadAttributes", "os::kGenericWrite | os::kFileReadAttributes"),
    ("unattended size range", "src/app/unattended.cpp",
     "s.SizeMb < kMinCreateSizeMb || s.SizeMb > kMaxCreateSizeMb", "s.SizeMb > kMaxCreateSizeMb"),
    ("huge switch numbers saturate", "src/app/switches.cpp",
     "value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), kMaxSwitchNumber);",
     "value = static_cast<uint32_t>(value * 10 + static_cast<uint64_t>(c - '0'));"),
    ("unattended create refused over an existing partition", "src/app/unattended.cpp",
     "  if (session.Model.RapidStartPart()) return RefuseExisting(session, out);\n  if (session.Firmware",
     "  if (session.Firmware"),
    ("unattended create refused on an unreadable table", "src/app/unattended.cpp",
     "if (disk.PartitionStyle == kPartitionStyleUnknown)\n", "if (false)\n"),
    ("unattended /DISK must name a fixed disk", "src/app/unattended.cpp",
     "if (static_cast<uint64_t>(session.Model.DiskInfo[d].DiskNum) != s.DiskNum) continue;", ""),
    ("unattended runs refuse a malformed command line", "src/app/entry.cpp",
     "if (!s.Error.empty()) return Stop(", "if (false) return Stop("),
    ("the usage error leaves the window alone", "src/app/switches.cpp",
     "if (s.Action != TAction::Window) s.Error = error;", "s.Error = error;"),
    ("the report keeps the memory description off", "src/app/unattended.cpp",
     "GetWmiInfo().DescribeOnStdOut = false;", ""),
]


BUILD_CMD = ["cmake", "--build", BUILD, "-j2", "--target", "orv_tests", "fuzz_replays"]
CORPUS = os.path.join(ROOT, "tests", "fuzz", "corpus")
SUITES = [[os.path.join(BUILD, "orv_tests"), "--gtest_brief=1"]] + [
    [os.path.join(BUILD, "replay_" + t), os.path.join(CORPUS, t)] for t in sorted(os.listdir(CORPUS))]


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def main():
    only = sys.argv[1:] or [""]
    chosen = [m for m in MUTANTS if any(o in m[0] for o in only)]
    run(["cmake", "-S", ".", "-B", BUILD, "-DORV_SANITIZE=ON", "-DCMAKE_BUILD_TYPE=Debug"])
    base = run(BUILD_CMD)
    if base.returncode != 0:
        print(base.stdout[-3000:])
        sys.exit("mutants: the unmutated tree does not build")
    survivors = []
    env = dict(os.environ, ORV_PROPERTY_CASES="60")
    for name, path, old, new in chosen:
        full = os.path.join(ROOT, path)
        text = open(full).read()
        if text.count(old) != 1:
            print(f"mutant: {name}: STALE (the text to change is found {text.count(old)} times)")
            survivors.append(name + " (stale)")
            continue
        start = time.time()
        try:
            open(full, "w").write(text.replace(old, new))
            built = run(BUILD_CMD)
            if built.returncode != 0:
                verdict = "killed (does not build)"
            else:
                verdict = "SURVIVED"
                try:
                    for suite in SUITES:
                        if run(suite, env=env, timeout=600).returncode != 0:
                            verdict = "killed"
                            break
                except subprocess.TimeoutExpired:
                    verdict = "killed (hung)"
        finally:
            open(full, "w").write(text)
        print(f"mutant: {name}: {verdict} ({time.time() - start:.0f} s)", flush=True)
        if verdict == "SURVIVED":
            survivors.append(name)
    run(BUILD_CMD)
    print(f"mutants: {len(chosen)} applied, {len(survivors)} survived")
    for s in survivors:
        print(f"  survivor: {s}")
    sys.exit(1 if survivors else 0)


if __name__ == "__main__":
    main()

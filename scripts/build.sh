#!/usr/bin/env bash
# Builds the named targets: native (portable code and its tests, with
# sanitizers), tsan (the tests again under ThreadSanitizer), bench (the native
# benchmarks, optimised), win32 (the Windows program, its 64-bit helper and the
# Wine tests) and wine64 (the same Windows build for x86-64 in build/wine64,
# for the Wine suite where 32-bit programs cannot run).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
for target in "$@"; do
  case "$target" in
    native)
      cmake -S . -B build/native -DORV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
      cmake --build build/native -j"$jobs" ;;
    tsan)
      # The threaded parts again, under ThreadSanitizer.
      cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-fsanitize=thread -g" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
      cmake --build build/tsan -j"$jobs" --target orv_tests ;;
    bench)
      cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release >/dev/null
      cmake --build build/bench -j"$jobs" --target orv_bench ;;
    win32)
      cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
      cmake --build build/win32 -j"$jobs"
      # The 64-bit helper, placed beside the program.
      cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
      cmake --build build/win64 -j"$jobs"
      cp build/win64/amd64.exe build/win32/amd64.exe ;;
    wine64)
      cmake -S . -B build/wine64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
        -DORV_FLAVOUR64=ON >/dev/null
      cmake --build build/wine64 -j"$jobs" ;;
    *) echo "build: unknown target $target" >&2; exit 2 ;;
  esac
done

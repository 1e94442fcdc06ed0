#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz/fuzz_*.cpp, clang with
# AddressSanitizer and UndefinedBehaviorSanitizer) in build/fuzz and runs each.
#
#   scripts/fuzz.sh [--short]        about 20 seconds a target
#   scripts/fuzz.sh --long [RUNS]    RUNS executions a target (1000000 unless given)
#   scripts/fuzz.sh --seeds          writes the seed corpora in tests/fuzz/corpus/ anew
#
# tests/fuzz/corpus/<target>/ holds the named seeds, built from the simulated
# PC's replies, and inputs a fuzzer found (named by their SHA-1), kept because
# they reach code the seeds do not; the native suite replays them all.
#
# Prints "fuzz: <target> executions=<N> crashes=<C>" for each target and exits
# non-zero when any target crashed, leaked or hung. Inputs that did are kept
# in build/fuzz/artifacts/<target>/, each run's output in build/fuzz/logs/;
# what a run adds to a corpus goes to build/fuzz/corpus/<target>/, never to
# the seeds in tests/fuzz/corpus/<target>/.
set -uo pipefail
cd "$(dirname "$0")/.."

mode=short
runs=1000000
seconds=20
case "${1:---short}" in
  --short) ;;
  --long)
    mode=long
    runs=${2:-1000000}
    [[ "$runs" =~ ^[0-9]+$ ]] || { echo "fuzz: RUNS must be a number" >&2; exit 2; } ;;
  --seeds) mode=seeds ;;
  *) echo "usage: scripts/fuzz.sh [--short | --long [RUNS] | --seeds]" >&2; exit 2 ;;
esac

# ---- what the build needs ----
apt_updated=0
apt_install() {
  [ "$apt_updated" = 1 ] || { apt-get update -qq >/dev/null 2>&1; apt_updated=1; }
  # A mirror whose newer suite pulls a conflicting dependency is asked for the release's versions.
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null 2>&1 ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -t bookworm "$@" >/dev/null 2>&1
}
missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v make >/dev/null || missing+=(make)
command -v clang++ >/dev/null || missing+=(clang)
# The project's configure step looks for GoogleTest even when only the fuzz targets are built.
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
[ ${#missing[@]} -eq 0 ] || apt_install "${missing[@]}" || { echo "fuzz: cannot install ${missing[*]}" >&2; exit 1; }

# libFuzzer's runtime comes with the compiler-rt package of clang's own version.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe/p.cpp"
links_fuzzer() { clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" >/dev/null 2>&1; }
if ! links_fuzzer; then
  major=$(clang++ -dumpversion | cut -d. -f1)
  apt_install "libclang-rt-$major-dev" || apt_install libclang-rt-dev
  links_fuzzer || { echo "fuzz: clang++ cannot link libFuzzer (libclang-rt-$major-dev)" >&2; exit 1; }
fi

# ---- build ----
jobs=$(nproc)
cmake -S . -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DORV_FUZZ=ON >build/fuzz-configure.log 2>&1 ||
  { cat build/fuzz-configure.log >&2; exit 1; }
cmake --build build/fuzz -j"$jobs" --target fuzz_all >build/fuzz-build.log 2>&1 ||
  { tail -40 build/fuzz-build.log >&2; exit 1; }

targets=()
for source in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done

if [ "$mode" = seeds ]; then
  for t in "${targets[@]}"; do
    mkdir -p "tests/fuzz/corpus/$t"
    # The named seeds go; the found inputs stay.
    find "tests/fuzz/corpus/$t" -type f -regextype posix-extended ! -regex '.*/[0-9a-f]{40}' -delete
    ORV_FUZZ_WRITE_SEEDS="tests/fuzz/corpus/$t" "build/fuzz/$t" || exit 1
    echo "fuzz: $t seeds=$(find "tests/fuzz/corpus/$t" -type f | wc -l)"
  done
  exit 0
fi

# ---- run: as many targets at once as there are cores ----
mkdir -p build/fuzz/logs
run_target() {
  local t=$1
  local artifacts=build/fuzz/artifacts/$t
  rm -rf "$artifacts"
  mkdir -p "$artifacts" "build/fuzz/corpus/$t" "tests/fuzz/corpus/$t"
  local limit=(-max_total_time="$seconds")
  [ "$mode" = long ] && limit=(-runs="$runs")
  "build/fuzz/$t" "${limit[@]}" -timeout=10 -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "build/fuzz/corpus/$t" "tests/fuzz/corpus/$t" >"build/fuzz/logs/$t.log" 2>&1
  echo $? >"build/fuzz/logs/$t.rc"
}
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  run_target "$t" &
done
wait

failed=0
for t in "${targets[@]}"; do
  log=build/fuzz/logs/$t.log
  executions=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -1)
  [ -n "$executions" ] || executions=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -1)
  crashes=$(find "build/fuzz/artifacts/$t" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' \) | wc -l)
  echo "fuzz: $t executions=${executions:-0} crashes=$crashes"
  if [ "$crashes" -gt 0 ] || [ "$(cat "build/fuzz/logs/$t.rc")" != 0 ]; then
    failed=1
    echo "fuzz: $t failed, see $log" >&2
    grep -m3 -E '^(broken property|SUMMARY|==[0-9]+==ERROR)' "$log" >&2
  fi
done
exit "$failed"

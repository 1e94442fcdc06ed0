#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: the native
# suite (AddressSanitizer and UndefinedBehaviorSanitizer) against the simulated
# PC, the threaded suites under ThreadSanitizer, a short run of each fuzz
# target, then the Win32 layer and the real executables under Wine.
set -uo pipefail
cd "$(dirname "$0")"
scripts/setup.sh || exit 1
. scripts/wine-flavour.sh
flavour=$(wine_flavour) || exit 1
# The shipped 32-bit program is always built; where it cannot run, the
# Wine suite runs on the 64-bit flavour of the same sources.
targets="native tsan win32"
[ "$flavour" == 64 ] && targets+=" wine64"
scripts/build.sh $targets || exit 1

(cd build/native && ctest --output-on-failure -j2) | tee build/native-tests.log
native=${PIPESTATUS[0]}
# The program runner's worker thread and the GUI thread meet in these suites.
build/tsan/orv_tests --gtest_filter='Runner*:Scripts*:StartUp*:CreateFlow*:DeleteFlow*:Create/*:Delete/*:Unattended*' --gtest_brief=1 | tee build/tsan-tests.log
tsan=${PIPESTATUS[0]}
# A short run of each fuzz target (scripts/fuzz.sh --long runs them long).
scripts/fuzz.sh --short | tee build/fuzz-tests.log
fuzz=${PIPESTATUS[0]}
tests/win32/run_wine_tests.sh "$(wine_build_dir "$flavour")" | tee build/wine-tests.log
wine=${PIPESTATUS[0]}

n_total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' build/native-tests.log | tail -1)
n_failed=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' build/native-tests.log | tail -1)
w_passed=$(sed -n 's/^wine: \([0-9]*\) passed.*/\1/p' build/wine-tests.log)
w_failed=$(sed -n 's/^wine: [0-9]* passed, \([0-9]*\) failed.*/\1/p' build/wine-tests.log)
w_skipped=$(sed -n 's/^wine: .* failed, \([0-9]*\) skipped.*/\1/p' build/wine-tests.log)
t_passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' build/tsan-tests.log)
f_passed=$(grep -c '^fuzz: .* crashes=0$' build/fuzz-tests.log)
f_failed=$(grep -c '^fuzz: .* crashes=[1-9]' build/fuzz-tests.log)
passed=$(( ${n_total:-0} - ${n_failed:-0} + ${w_passed:-0} + ${t_passed:-0} + f_passed ))
failed=$(( ${n_failed:-0} + ${w_failed:-0} + f_failed ))
[ "$native" -eq 0 ] && [ -n "$n_total" ] || failed=$((failed + 1))
[ "$tsan" -eq 0 ] && [ -n "$t_passed" ] || failed=$((failed + 1))
[ "$fuzz" -eq 0 ] && [ "$f_passed" -gt 0 ] || [ "$f_failed" -gt 0 ] || failed=$((failed + 1))
[ "$wine" -eq 0 ] && [ -n "$w_passed" ] || [ "${w_failed:-0}" -gt 0 ] || failed=$((failed + 1))
echo "native: $(( ${n_total:-0} - ${n_failed:-0} )) passed, ${n_failed:-0} failed; threads: ${t_passed:-0} passed; fuzz: $f_passed targets clean, $f_failed crashed"
echo "wine ($flavour-bit flavour): $(( ${w_passed:-0} + ${w_failed:-0} )) checks run, ${w_failed:-0} failed, ${w_skipped:-0} skipped"
echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# The long run of the property test: random machines, random system
# families, a Create or a Delete with one random failing call each, checked
# against the rules no workflow may break. Prints how many cases ran and
# the seed of the first breach, if any.
#
# usage: scripts/property.sh [CASES [FIRST_SEED]]   (10000 cases by default)
set -euo pipefail
cd "$(dirname "$0")/.."
cases=${1:-10000}
seed=${2:-$(date +%s)}
scripts/setup.sh
scripts/build.sh native >/dev/null
start=$(date +%s)
ORV_PROPERTY_CASES=$cases ORV_PROPERTY_SEED=$seed build/native/orv_tests --gtest_filter='Property.*' --gtest_brief=1 |
  grep -E '^property:|replay with|Failure|gone|retyped|size|written|open' || true
echo "property: first seed $seed, $(( $(date +%s) - start )) s"

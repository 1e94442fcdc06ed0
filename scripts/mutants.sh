#!/usr/bin/env bash
# The mutation check of the safety-critical code: applies each mutant in turn
# (each removes or weakens one check), builds and runs the native suite in its
# own build folder, restores the file, and prints which mutants survived.
# About 30-40 minutes on two cores.
#
# usage: scripts/mutants.sh [NAME_SUBSTRING...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# The mutants are applied to a copy: the working tree stays as it is.
tree="$PWD/build/mutant-tree"
mkdir -p "$tree"
# Times are not copied: a file that changed gets the time of the copy, so the
# build never takes an object compiled from an older copy for up to date.
rsync -rlpD --checksum --delete --exclude /build --exclude /.git ./ "$tree/"
ORV_MUTANT_TREE="$tree" exec python3 scripts/mutants.py "$@"

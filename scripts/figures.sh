#!/usr/bin/env bash
# What Create and Delete do on the system disks of common PCs, measured on
# the simulated PC: one table row per layout (Windows 7 x64, 8 GB, 3 s per
# diskpart run, the workflows' own pauses). The table is the one in the
# README under "What Create does on common PCs".
#
# usage: scripts/figures.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh native >/dev/null
ORV_FIGURES=1 build/native/orv_tests --gtest_filter='Figures.*' --gtest_brief=1 | sed -n 's/^figures: //p'

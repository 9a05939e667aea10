#!/usr/bin/env bash
# The main job: the two libraries at work on their embedded defaults.
#  1. The job header a host sends for an A4 print job on the database's default media and
#     quality, decoded command by command (through libmodeldb, with a printer of the
#     spooler stand-in so the silent-mode part can be read).
#  2. A calibration of the sample base table file with a sample set of levels in a fresh
#     working directory: what the call did, which curves changed, and a plot of them; then
#     the same calibration again, which reuses the working file.
# Everything is written under a new temporary directory, which is kept and named at the end.
set -euo pipefail

bin="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
mpxq="$bin/mpxq"
qxcal="$bin/qxcal"
levels="3,0,-5,0,0,5"

work="$(mktemp -d "${TMPDIR:-/tmp}/q770-main-job.XXXXXX")"
export MPX_SPOOL_DIR="$work/printers"
printer="Q770 main job"

section() { printf '\n==== %s\n\n' "$1"; }

section "Job header: A4, default media and quality"
"$mpxq" printer create "$printer" >/dev/null
"$mpxq" job --printer "$printer" --paper 210x297mm --output "$work/job-header.prn"

section "Calibration of the sample table file, levels $levels"
mkdir -p "$work/base" "$work/working"
"$qxcal" sample "$work/base/htab0000.tbl"
"$qxcal" calibrate "$work/base/htab0000.tbl" --work "$work/working" --levels "$levels" \
  --plot "$work/calibrated-curves.svg"

section "The same calibration again"
again="$("$qxcal" calibrate "$work/base/htab0000.tbl" --work "$work/working" --levels "$levels")"
sed -n 1,3p <<<"$again"

section "Files"
echo "job header:        $work/job-header.prn"
echo "base table file:   $work/base/htab0000.tbl"
echo "working directory: $work/working"
echo "curve plot:        $work/calibrated-curves.svg (open it in a browser)"

#!/usr/bin/env bash
# Runs the flash benchmark under no compositor and under mutter, KWin, picom and xcompmgr, each
# on a fresh virtual X server, and prints their figures one after the other.
#
#   bench/flash/run-all.sh <build>/bench/flash/flash_bench <build>/stage/kestrane [options...]
# The options go to flash_bench (--ms, --cycles, --load, --starts, --busy).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bench=$1
program=$2
shift 2
for wm in openbox mutter kwin picom xcompmgr; do
    echo "== $wm"
    KESTRANE_WM=$wm KESTRANE_NO_TRAY=1 "$here/../../tests/e2e/with-x.sh" \
        "$bench" --program "$program" "$@" 2>/dev/null
done

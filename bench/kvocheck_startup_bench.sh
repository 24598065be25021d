#!/usr/bin/env bash
# KvoCheck's start-up under Wine: from CreateProcess to its main dialog shown
# and filled (lines, CSPs, 50 personal certificates, the first log record),
# against Wine's notepad from CreateProcess to its window, measured in
# alternation by bench/kvocheck_startup_bench.cpp. Prints the median of each
# and the ratio (KvoCheck / notepad).
#
#   bench/kvocheck_startup_bench.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR is a built Windows tree (default build/win64). The script builds
# nothing. It works in a Wine prefix of its own (BUILD_DIR/bench-wine, booted
# on first use, with an Xvfb display when none is given) so that the store
# holds only the benchmark's 50 certificates, and registers
# BUILD_DIR/control/QELCRYPT.OCX there, since the start-up probe creates the
# control. RUNS (default 7) is how often each side starts.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/win64}" && pwd)
runs=${2:-7}
ocx="$build/control/QELCRYPT.OCX"
tool="$build/tool/KvoCheck.exe"
bench="$build/bench/kvocheck_startup_bench.exe"
for f in "$ocx" "$tool" "$bench"; do
  [ -f "$f" ] || { echo "kvocheck_startup_bench: no $f (build the tree first)" >&2; exit 2; }
done

wine_dir="$build/bench-wine"
winpath() { echo "Z:${1//\//\\}"; }
case $(file -b "$ocx") in
  *x86-64*) wine64=1 ;;
  *) wine64=0 ;;
esac

"$here/cmake/wine-env" start "$wine_dir"
trap '"$here/cmake/wine-env" stop "$wine_dir"' EXIT
QEL_WINE64=$wine64 "$here/cmake/wine-run" "$wine_dir" regsvr32 /s "$(winpath "$ocx")"
"$here/cmake/wine-run" "$wine_dir" "$bench" "$(winpath "$tool")" "$runs"

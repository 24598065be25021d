#!/usr/bin/env bash
# The native-messaging host's start-up and round trips against the control
# called through IDispatch and from a JScript page script under cscript, in
# one run (bench/host_bench.cpp). Prints each median time per call and the
# ratios; target: Sign over 1 KiB through the host <= 1.5x Sign from JScript.
#
#   bench/host_bench.sh [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR is a built win64 tree (default build/win64). The script builds
# nothing. The host is measured on Unix pipes through bridge/wine-host.sh (the
# path of a browser on Linux, which the target is taken on) and on Wine's own
# pipes (CreateProcess inside Wine, slower under Wine only). It works in a
# Wine prefix of its own (BUILD_DIR/hostbench-wine, booted on first use,
# with an Xvfb display when none is given): registers
# BUILD_DIR/control/QELCRYPT.OCX there and puts the certificate fixtures in
# (Sign uses "Zhang San" / "Dept A"). The host serves the page origin
# http://127.0.0.1:8080, which needs no allow-list entry. ROUNDS (default 7)
# is how many rounds of calls, and host start-ups, each median is taken over.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/win64}" && pwd)
rounds=${2:-7}
ocx="$build/control/QELCRYPT.OCX"
hostexe="$build/bridge/QelCryptHost.exe"
bench="$build/bench/host_bench.exe"
fixtures="$build/demo/certfixtures.exe"
for f in "$ocx" "$hostexe" "$bench" "$fixtures"; do
  [ -f "$f" ] || { echo "host_bench: no $f (build the tree first)" >&2; exit 2; }
done
case $(file -b "$ocx") in
  *x86-64*) ;;
  *) echo "host_bench: $ocx is not an x64 build (cscript and regsvr32 here are the 64-bit ones)" >&2; exit 2 ;;
esac

wine_dir="$build/hostbench-wine"
winpath() { echo "Z:${1//\//\\}"; }
"$here/cmake/wine-env" start "$wine_dir"
trap '"$here/cmake/wine-env" stop "$wine_dir"' EXIT
QEL_WINE64=1 "$here/cmake/wine-run" "$wine_dir" regsvr32 /s "$(winpath "$ocx")"
"$here/cmake/wine-run" "$wine_dir" "$fixtures" setup >/dev/null
# A host on Unix pipes, started by bridge/wine-host.sh as a browser on Linux
# starts it, connected to the benchmark's standard input and output.
fifos=$(mktemp -d /tmp/qel-hostbench.XXXXXX)
trap '"$here/cmake/wine-env" stop "$wine_dir"; rm -rf "$fifos"' EXIT
mkfifo "$fifos/to_host" "$fifos/from_host"
QEL_HOST_EXE="$hostexe" QEL_WINEPREFIX="$wine_dir/prefix" "$here/bridge/wine-host.sh" \
  <"$fifos/to_host" >"$fifos/from_host" 2>"$fifos/host.err" &
"$here/cmake/wine-run" "$wine_dir" "$bench" "$(winpath "$hostexe")" "$(winpath "$here/bench/host_bench.js")" \
  "$rounds" --stdio >"$fifos/to_host" <"$fifos/from_host" 2>"$fifos/report" || { cat "$fifos/report" "$fifos/host.err" >&2; exit 1; }
wait
tr -d '\r' <"$fifos/report"

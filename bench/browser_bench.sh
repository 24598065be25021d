#!/usr/bin/env bash
# Round trips through the browser (bench/browser_bench.js): GetVersion and
# Sign over 1 KiB from a page in headless Chromium, page -> extension ->
# QelCryptHost.exe -> control, against the same calls from a JScript page on
# the ActiveX object, in one run. Prints each median time per call, the
# ratios (target: Sign <= 1.5x) and the host's start-up time.
#
#   bench/browser_bench.sh [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR is a built x64 tree (default build/win64; the control, the host,
# certfixtures, kvodemo and KvoCheck built in it); the script builds nothing.
# It works in BUILD_DIR/browserbench (a Wine prefix of its own with the
# demo's two certificates, a Chromium profile). ROUNDS (default 11) is how
# many rounds, and host start-ups, each median is taken over; the fastest
# round of each side is printed too (on a busy machine the fairest pair).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/win64}" && pwd)
rounds=${2:-11}
for f in control/QELCRYPT.OCX bridge/QelCryptHost.exe demo/certfixtures.exe; do
  [ -f "$build/$f" ] || { echo "browser_bench: no $build/$f (build the tree first)" >&2; exit 2; }
done
. "$here/tests/browser/prepare.sh"
QEL_BROWSER_NO_BUILD=1 prepare_browser_machine "$build" "$build/browserbench" || exit 1
trap stop_browser_machine EXIT
node "$here/bench/browser_bench.js" "$rounds"

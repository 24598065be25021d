#!/usr/bin/env bash
# The extension, the page library and the host end to end in headless
# Chromium (browser_test.js), in a Wine machine of its own:
#
#   tests/browser/browser_test.sh [WIN64_BUILD [WORK]]
#
# WIN64_BUILD: a configured x64 build tree (build/win64 by default; the
# control, the host and the helpers are built in it); WORK: the test's
# folder (build/browser-test by default: the prefix, Chromium profiles, the
# browser's log with the hosts' error streams, a screenshot of the page).
# Ends with "browser_test: N passed, M failed"; exit code 0 when all passed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${QEL_BUILD_DIR:-$root/build}
win64=${1:-$build/win64}
work=${2:-$build/browser-test}
. "$here/prepare.sh"

started=$(date +%s)
if ! prepare_browser_machine "$win64" "$work"; then
  echo "browser_test: 0 passed, 1 failed"
  exit 1
fi
trap stop_browser_machine EXIT
echo "browser_test: the browser's and the hosts' error streams go to $work/test-chromium.log"
QEL_STARTED=$started timeout 900 node "$here/browser_test.js"
rc=$?
if [ $rc = 124 ]; then
  echo "browser_test: FAILED: no end within 15 minutes"
  echo "browser_test: 0 passed, 1 failed"
fi
exit $rc

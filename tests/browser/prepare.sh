# Sourced by the browser test and the bridge benchmark: the x64 programs they
# need, and a Wine machine with the control registered and the demo's two
# certificates on USB keys, for Chromium's host to run in.
#
#   prepare_browser_machine WIN64_BUILD WORK
#
# Builds the targets in WIN64_BUILD (a configured x64 tree) unless
# QEL_BROWSER_NO_BUILD=1; the prefix is WORK/wine (booted and given the
# certificates once, the control registered on every run). Exports QEL_ROOT,
# QEL_WIN64 and QEL_WORK for harness.js. Returns non-zero with a message on
# failure. stop_browser_machine stops the prefix's wineserver and Xvfb.

prepare_browser_machine() {
  local win64=$1 work=$2 root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  [ -x /usr/bin/chromium ] || "$root/scripts/bootstrap" >/dev/null ||
    { echo "prepare: Chromium is missing and scripts/bootstrap failed"; return 1; }
  command -v node >/dev/null || { echo "prepare: Node.js is missing"; return 1; }
  [ -f "$win64/build.ninja" ] || { echo "prepare: $win64 is not a configured x64 build tree"; return 1; }
  mkdir -p "$work"
  win64=$(cd "$win64" && pwd)
  work=$(cd "$work" && pwd)
  if [ "${QEL_BROWSER_NO_BUILD:-0}" != 1 ]; then
    cmake --build "$win64" -j2 --target qelcrypt qelcrypthost certfixtures kvodemo kvocheck \
      >"$work/build.log" 2>&1 || { tail -30 "$work/build.log"; echo "prepare: building failed"; return 1; }
  fi
  export QEL_ROOT=$root QEL_WIN64=$win64 QEL_WORK=$work
  local wine=$work/wine
  "$root/cmake/wine-env" start "$wine" || { echo "prepare: the Wine prefix did not boot"; return 1; }
  QEL_WINE64=1 "$root/cmake/wine-run" "$wine" regsvr32 /s "Z:${win64//\//\\}\\control\\QELCRYPT.OCX" ||
    { echo "prepare: regsvr32 failed"; return 1; }
  if [ ! -f "$wine/prefix/qel-demo-certificates" ]; then
    "$root/cmake/wine-run" "$wine" "$win64/demo/certfixtures.exe" demo >"$work/certfixtures.log" 2>&1 ||
      { cat "$work/certfixtures.log"; echo "prepare: the certificates could not be made"; return 1; }
    touch "$wine/prefix/qel-demo-certificates"
  fi
}

stop_browser_machine() {
  "$QEL_ROOT/cmake/wine-env" stop "$QEL_WORK/wine" >/dev/null 2>&1
}

#!/bin/sh
# QelCryptHost.exe for browsers on Linux: a native-messaging manifest's "path"
# names this script, which runs the host under Wine with the browser's pipes
# as its standard input and output, byte for byte (the host reads and writes
# them as binary handles; Wine passes Unix pipes through untranslated).
#
# The Wine prefix is the one in which QELCRYPT.OCX is registered and the
# user's certificates are. Browsers start hosts with their own environment
# and no way to add to it, so the settings come from, in this order:
#   wine-host.env next to this script (shell assignments, read if present),
#   then the environment:
#     QEL_WINEPREFIX or WINEPREFIX   the prefix (default: ~/.wine)
#     QEL_HOST_EXE                   the host (default: QelCryptHost.exe next to this script)
#     QEL_WINE                       the Wine loader (default: wine, or wine64 where
#                                    the kernel runs no 32-bit programs)
# Code page 936 comes from LC_ALL=zh_CN.UTF-8, as on the target systems;
# WINEDEBUG=-all keeps Wine's own messages off the error stream.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
if [ -f "$here/wine-host.env" ]; then
  . "$here/wine-host.env"
fi
exe=${QEL_HOST_EXE:-$here/QelCryptHost.exe}
if [ ! -f "$exe" ]; then
  echo "wine-host.sh: no host at $exe (set QEL_HOST_EXE)" >&2
  exit 5
fi
export WINEPREFIX="${QEL_WINEPREFIX:-${WINEPREFIX:-$HOME/.wine}}"
export LC_ALL=zh_CN.UTF-8
export WINEDEBUG=-all
# No Mono or Gecko installation dialogs when a prefix is new.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
wine=${QEL_WINE:-}
if [ -z "$wine" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    wine=wine
  else
    wine=/usr/lib/wine/wine64
    export WINELOADER=$wine
  fi
fi
# The browser's arguments (the extension's origin) go to the host, which
# ignores them.
exec "$wine" "$exe" "$@"

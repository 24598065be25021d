#!/usr/bin/env bash
# The host behind bridge/wine-host.sh, fed from a Unix pipe as a browser on
# Linux feeds it: messages whose length prefixes hold the bytes LF, CR and
# Ctrl-Z, whose JSON holds raw CR LF, and replies whose prefixes hold the
# same bytes must pass byte for byte (no text-mode translation anywhere).
# Only refused and malformed requests are sent, so the control is not needed.
#
#   wine_host_stdio.sh WINE_DIR HOST_EXE
set -euo pipefail
export LC_ALL=C
wine_dir=$(cd "${1:?usage: wine_host_stdio.sh WINE_DIR HOST_EXE}" && pwd)
exe=${2:?usage: wine_host_stdio.sh WINE_DIR HOST_EXE}
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/qel-hoststdio.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Writes the 4-byte little-endian length of file $1 and then the file.
frame() {
  local n
  n=$(stat -c %s "$1")
  printf "\\x$(printf %02x $((n & 255)))\\x$(printf %02x $(((n >> 8) & 255)))"
  printf "\\x$(printf %02x $(((n >> 16) & 255)))\\x$(printf %02x $(((n >> 24) & 255)))"
  cat "$1"
}

refused_reply() {
  printf '{"id":%s,"error":{"code":-32000,"message":"the origin \\"%s\\" may not use QelCrypt (it is not on the host'"'"'s allow-list)"}}' "$1" "$2"
}
base=$(refused_reply 1 "" | wc -c)

: >"$work/in"
: >"$work/expected"
i=0
# (reply length, request length or 0): 0x010A, 0x010D, 0x011A; 0x0D0A, 0x1A0A.
for pair in 266:3338 269:6666 282:0; do
  i=$((i + 1))
  origin="https://x$(head -c $((${pair%%:*} - base - 9)) /dev/zero | tr '\0' a)"
  printf '{"id":%d,"origin":"%s","method":"GetVersion","args":[]}' "$i" "$origin" >"$work/req"
  want=${pair##*:}
  if [ "$want" -gt 0 ]; then
    have=$(stat -c %s "$work/req")
    # Pad with raw CR LF pairs (JSON white space) and a space for an odd rest.
    pad=$((want - have))
    printf '\r\n%.0s' $(seq 1 $((pad / 2))) >>"$work/req"
    [ $((pad % 2)) -eq 0 ] || printf ' ' >>"$work/req"
  fi
  frame "$work/req" >>"$work/in"
  refused_reply "$i" "$origin" >"$work/rep"
  frame "$work/rep" >>"$work/expected"
done
# Raw CR LF and Ctrl-Z where a value should be.
printf '\r\n\x1a\n' >"$work/req"
frame "$work/req" >>"$work/in"
printf '{"id":null,"error":{"code":-32700,"message":"malformed message at byte 2: expected a value"}}' >"$work/rep"
frame "$work/rep" >>"$work/expected"

"$here/cmake/wine-env" ensure "$wine_dir"
set +e
QEL_HOST_EXE="$exe" QEL_WINEPREFIX="$wine_dir/prefix" "$here/bridge/wine-host.sh" chrome-extension://test/ \
  <"$work/in" >"$work/out" 2>"$work/err"
rc=$?
set -e
failed=0
if [ $rc -ne 0 ]; then
  echo "wine_host_stdio: expected exit code 0 at the end of input, got $rc"; cat "$work/err"; failed=1
fi
if ! cmp "$work/expected" "$work/out"; then
  echo "wine_host_stdio: the replies differ from the expected bytes"
  od -c "$work/out" | head -20
  failed=1
fi
dump=$(od -An -tx1 -v "$work/in")
for n in 0a 0d 1a; do
  [[ $dump == *" $n"* ]] || { echo "wine_host_stdio: no byte $n in the input"; failed=1; }
done
[ $failed -eq 0 ] && echo "wine_host_stdio: $(stat -c %s "$work/in") bytes in, $(stat -c %s "$work/out") bytes out, unchanged"
exit $failed

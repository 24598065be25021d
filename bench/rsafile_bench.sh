#!/usr/bin/env bash
# CryptFilePubKey and DecryptFilePriKey of the control on a 1 MiB file with a
# 1024-bit key (the "Zhang San / Dept A" certificate fixture), called by name
# from cscript under Wine, against OpenSSL doing the same work on the build
# machine: the same file in the same 100-byte pieces, PKCS #1 v1.5 with a
# 1024-bit key, and the blocks decrypted again (bench/rsafile_openssl.cpp,
# linked to libcrypto, so no process start per piece is counted). Prints the
# best time of each side per direction and the ratios of the throughputs
# (ours / OpenSSL), and checks that both got the file's bytes back.
#
#   bench/rsafile_bench.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR is a built win64 tree (default build/win64) with its tests built,
# e.g. after
#   cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-win64.cmake \
#         -DCMAKE_BUILD_TYPE=Release && cmake --build build/win64
# The script builds only the OpenSSL side; it registers
# BUILD_DIR/control/QELCRYPT.OCX in that tree's private Wine prefix, makes the
# certificate fixtures there if they are missing (demo/certfixtures)
# and uses the 64-bit cscript. RUNS (default 3) is how often each side runs;
# the best run counts. The control is timed inside the script host around
# each call, so Wine's start-up is not counted.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/win64}" && pwd)
runs=${2:-3}
ocx="$build/control/QELCRYPT.OCX"
fixtures="$build/demo/certfixtures.exe"
for f in "$ocx" "$fixtures"; do
  [ -f "$f" ] || { echo "rsafile_bench: no $f (build the win64 tree first)" >&2; exit 2; }
done

work=$(mktemp -d /tmp/qel-rsabench.XXXXXX)
trap 'rm -rf "$work"' EXIT
head -c $((1024 * 1024)) /dev/urandom > "$work/data.bin"
c++ -O2 -std=c++17 -o "$work/rsafile_openssl" "$here/bench/rsafile_openssl.cpp" -lcrypto

winpath() { echo "Z:${1//\//\\}"; }
wine() { QEL_WINE64=1 "$here/cmake/wine-run" "$build/wine" "$@"; }

wine "$fixtures" setup >/dev/null
wine regsvr32 /s "$(winpath "$ocx")"

cat > "$work/rsafile.js" <<'EOF_JS'
// Times CryptFilePubKey of the file and DecryptFilePriKey of its ".gue"
// file; prints both times in milliseconds and both statuses.
var o = new ActiveXObject("QELCRYPT.QelCryptCtrl.1");
var file = WScript.Arguments(0);
var t0 = new Date().getTime();
var s1 = o.CryptFilePubKey(file, "Zhang San", "Dept A");
var t1 = new Date().getTime();
var s2 = o.DecryptFilePriKey(file + ".gue", "Zhang San", "Dept A");
var t2 = new Date().getTime();
WScript.Echo((t1 - t0) + " " + (t2 - t1) + " " + s1 + " " + s2);
EOF_JS

best() { if [ -z "$1" ] || [ "$2" -lt "$1" ]; then echo "$2"; else echo "$1"; fi; }
our_enc="" our_dec=""
for ((i = 0; i < runs; i++)); do
  cp "$work/data.bin" "$work/ours.bin"
  read -r enc dec s1 s2 < <(wine cscript //nologo "$(winpath "$work/rsafile.js")" \
                              "$(winpath "$work/ours.bin")" | tr -d '\r')
  [ "$s1" = 0 ] && [ "$s2" = 0 ] || { echo "rsafile_bench: the control returned $s1 and $s2" >&2; exit 1; }
  [ "$(stat -c %s "$work/ours.bin.gue")" = $(((1048576 / 100 + 1) * 128)) ] ||
    { echo "rsafile_bench: the .gue file has the wrong size" >&2; exit 1; }
  cmp -s "$work/data.bin" "$work/ours.bin" || { echo "rsafile_bench: the control did not restore the file" >&2; exit 1; }
  our_enc=$(best "$our_enc" "$enc") our_dec=$(best "$our_dec" "$dec")
done

ssl_enc="" ssl_dec=""
for ((i = 0; i < runs; i++)); do
  read -r enc dec < <("$work/rsafile_openssl" "$work/data.bin")
  ssl_enc=$(best "$ssl_enc" "$enc") ssl_dec=$(best "$ssl_dec" "$dec")
done

awk -v oe="$our_enc" -v od="$our_dec" -v se="$ssl_enc" -v sd="$ssl_dec" 'BEGIN {
  if (oe < 1) oe = 1; if (od < 1) od = 1; if (se < 1) se = 1; if (sd < 1) sd = 1
  printf "1 MiB, 1024-bit key, 10,486 pieces of 100 bytes\n"
  printf "encrypt: CryptFilePubKey %d ms; OpenSSL %d ms; ratio ours/openssl %.2fx\n", oe, se, se / oe
  printf "decrypt: DecryptFilePriKey %d ms; OpenSSL %d ms; ratio ours/openssl %.2fx\n", od, sd, sd / od
  printf "rsafile ratio ours/openssl, both directions: %.2fx\n", (se + sd) / (oe + od)
}'

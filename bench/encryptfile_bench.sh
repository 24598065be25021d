#!/usr/bin/env bash
# EncryptFile of the control on a 64 MiB file, called by name from cscript
# under Wine, against `openssl enc -des-ecb` on the same file with the same
# key, both file to file. Prints the best time of each and the ratio of the
# throughputs (ours / openssl), and checks that both wrote the same bytes.
#
#   bench/encryptfile_bench.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR is a built win64 tree (default build/win64), e.g. after
#   cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-win64.cmake \
#         -DCMAKE_BUILD_TYPE=Release && cmake --build build/win64
# The script builds nothing; it registers BUILD_DIR/control/QELCRYPT.OCX in
# that tree's private Wine prefix (as the control tests do) and uses the
# 64-bit cscript. RUNS (default 3) is how often each side runs; the best run
# counts. The time of EncryptFile is taken inside the script host around the
# call, so Wine's start-up is not counted; openssl's own start-up is.
# Target: ratio >= 0.8.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/win64}" && pwd)
runs=${2:-3}
ocx="$build/control/QELCRYPT.OCX"
[ -f "$ocx" ] || { echo "encryptfile_bench: no $ocx (build the win64 tree first)" >&2; exit 2; }

# The key as the control takes it (Base64) and as openssl takes it (hex).
key_text="OziYNxUg914="
key_hex="3b3898371520f75e"

work=$(mktemp -d /tmp/qel-encbench.XXXXXX)
trap 'rm -rf "$work"' EXIT
head -c $((64 * 1024 * 1024)) /dev/urandom > "$work/data.bin"

winpath() { echo "Z:${1//\//\\}"; }
wine() { QEL_WINE64=1 "$here/cmake/wine-run" "$build/wine" "$@"; }

wine regsvr32 /s "$(winpath "$ocx")"

cat > "$work/encrypt.js" <<'EOF'
// Times one EncryptFile call; prints the milliseconds and the status.
var o = new ActiveXObject("QELCRYPT.QelCryptCtrl.1");
var start = new Date().getTime();
var status = o.EncryptFile(WScript.Arguments(0), WScript.Arguments(1));
WScript.Echo((new Date().getTime() - start) + " " + status);
EOF

best_ours=""
for ((i = 0; i < runs; i++)); do
  read -r ms status < <(wine cscript //nologo "$(winpath "$work/encrypt.js")" \
                          "$(winpath "$work/data.bin")" "$key_text" | tr -d '\r')
  [ "$status" = 0 ] || { echo "encryptfile_bench: EncryptFile returned $status" >&2; exit 1; }
  if [ -z "$best_ours" ] || [ "$ms" -lt "$best_ours" ]; then best_ours=$ms; fi
done

best_openssl=""
for ((i = 0; i < runs; i++)); do
  start=$(date +%s%N)
  openssl enc -des-ecb -provider legacy -provider default -K "$key_hex" \
    -in "$work/data.bin" -out "$work/data.openssl"
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  if [ -z "$best_openssl" ] || [ "$ms" -lt "$best_openssl" ]; then best_openssl=$ms; fi
done

if ! cmp -s "$work/data.bin.gse" "$work/data.openssl"; then
  echo "encryptfile_bench: EncryptFile and openssl wrote different bytes" >&2
  exit 1
fi

awk -v ours="$best_ours" -v theirs="$best_openssl" 'BEGIN {
  mb = 64 * 1048576 / 1e6
  if (ours < 1) ours = 1
  if (theirs < 1) theirs = 1
  printf "EncryptFile 64 MiB: %d ms (%.1f MB/s); openssl enc -des-ecb: %d ms (%.1f MB/s)\n",
         ours, mb / (ours / 1000), theirs, mb / (theirs / 1000)
  printf "encryptfile ratio ours/openssl: %.2fx (target >= 0.8x)\n", theirs / ours
}'

#!/usr/bin/env bash
# SignFile of the control on a 256 MiB file, called by name from cscript
# under Wine (MD5, then SHA-1), against `openssl dgst -md5 -sign` (and -sha1)
# of the same file with an OpenSSL key of the same size (1024 bits). Prints
# the best time of each and the ratio (ours / openssl, lower is better), and
# the peak memory of the signing process for the 256 MiB file against a
# 1 MiB one, the log off. Every signature of ours is checked with OpenSSL
# against the certificate that GetCert returns.
#
#   bench/signfile_bench.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR is a built win64 tree (default build/win64) whose tests have run
# once, so that its Wine prefix holds the certificate fixtures (the signer is
# "Zhang San", "Dept A", a 1024-bit key). RUNS (default 3): the best run
# counts. Our time is taken inside the script host around the call, so
# Wine's start-up is not counted; openssl's own start-up is.
# Targets: MD5 ratio <= 1.2x; peak memory <= 16 MiB above the 1 MiB case.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/win64}" && pwd)
runs=${2:-3}
ocx="$build/control/QELCRYPT.OCX"
[ -f "$ocx" ] || { echo "signfile_bench: no $ocx (build the win64 tree first)" >&2; exit 2; }

work=$(mktemp -d /tmp/qel-signbench.XXXXXX)
trap 'rm -rf "$work"' EXIT
head -c $((256 * 1024 * 1024)) /dev/urandom > "$work/big.bin"
head -c $((1024 * 1024)) /dev/urandom > "$work/small.bin"
openssl genrsa -out "$work/key.pem" 1024 2>/dev/null

winpath() { echo "Z:${1//\//\\}"; }
wine() { QEL_WINE64=1 "$here/cmake/wine-run" "$build/wine" "$@"; }

wine regsvr32 /s "$(winpath "$ocx")"

cat > "$work/sign.js" <<'JS'
// Times one SignFile call (sign type in argument 1); prints the
// milliseconds, then writes the signature and the signer's PEM text.
var o = new ActiveXObject("QELCRYPT.QelCryptCtrl.1");
var args = WScript.Arguments;
o.SetSignType(parseInt(args(1), 10));
var start = new Date().getTime();
var signature = o.SignFile(args(0), "Zhang San", "Dept A");
var ms = new Date().getTime() - start;
var fso = new ActiveXObject("Scripting.FileSystemObject");
var f = fso.CreateTextFile(args(2), true);
f.Write(signature);
f.Close();
f = fso.CreateTextFile(args(3), true);
f.Write(o.GetCert("Zhang San", "Dept A"));
f.Close();
WScript.Echo(ms);
JS

# ours FILE TYPE: best milliseconds of RUNS; the signature is checked.
ours() {
  local file=$1 type=$2 digest best="" ms
  digest=$([ "$type" = 0 ] && echo md5 || echo sha1)
  for ((i = 0; i < runs; i++)); do
    ms=$(wine cscript //nologo "$(winpath "$work/sign.js")" "$(winpath "$file")" "$type" \
           "$(winpath "$work/sig.b64")" "$(winpath "$work/cert.pem")" | tr -d '\r')
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  base64 -d "$work/sig.b64" > "$work/sig.bin"
  openssl x509 -in "$work/cert.pem" -noout -pubkey > "$work/pub.pem"
  openssl dgst "-$digest" -verify "$work/pub.pem" -signature "$work/sig.bin" "$file" >/dev/null ||
    { echo "signfile_bench: the $digest signature of $(basename "$file") does not verify" >&2; exit 1; }
  echo "$best"
}

theirs() {
  local digest=$1 best="" start ms
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    openssl dgst "-$digest" -sign "$work/key.pem" -out "$work/openssl.sig" "$work/big.bin"
    ms=$(( ($(date +%s%N) - start) / 1000000 ))
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
  done
  echo "$best"
}

# peak FILE: the largest resident size (KiB) of the process that signs it.
peak() {
  /usr/bin/time -f "%M" -o "$work/peak" env QEL_WINE64=1 "$here/cmake/wine-run" "$build/wine" \
    cscript //nologo "$(winpath "$work/sign.js")" "$(winpath "$1")" 0 \
    "$(winpath "$work/sig.b64")" "$(winpath "$work/cert.pem")" >/dev/null
  tail -1 "$work/peak"
}

md5_ours=$(ours "$work/big.bin" 0)
md5_theirs=$(theirs md5)
sha1_ours=$(ours "$work/big.bin" 1)
sha1_theirs=$(theirs sha1)
peak_small=$(peak "$work/small.bin")
peak_big=$(peak "$work/big.bin")

awk -v mo="$md5_ours" -v mt="$md5_theirs" -v so="$sha1_ours" -v st="$sha1_theirs" \
    -v ps="$peak_small" -v pb="$peak_big" 'BEGIN {
  if (mo < 1) mo = 1; if (mt < 1) mt = 1; if (so < 1) so = 1; if (st < 1) st = 1
  printf "SignFile 256 MiB MD5: %d ms; openssl dgst -md5 -sign: %d ms; ratio ours/openssl %.2fx (target <= 1.2x)\n", mo, mt, mo / mt
  printf "SignFile 256 MiB SHA-1: %d ms; openssl dgst -sha1 -sign: %d ms; ratio ours/openssl %.2fx (no target)\n", so, st, so / st
  printf "peak memory of the signing process: 1 MiB file %.1f MiB, 256 MiB file %.1f MiB, difference %.1f MiB (target <= 16 MiB)\n", ps / 1024, pb / 1024, (pb - ps) / 1024
}'

#!/usr/bin/env bash
# scripts/demo as a newcomer runs it on a machine without a display, twice in
# a row: every step of the page succeeds, KvoCheck shows the page's records,
# the screenshot is a PNG, both signatures verify with OpenSSL over the signed
# text in code page 936, and nothing of the demo is left running. Prints the
# wall time of each run and ends with "demo_test: N passed, M failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${QEL_BUILD_DIR:-$root/build}
demo=$build/demo
check_name=demo_test
. "$root/tests/support/checks.sh"

records_at_least() { # LOG N: KvoCheck listed N records or more
  local n
  n=$(sed -n 's/^kvodemo: KvoCheck shows \([0-9]*\) log records$/\1/p' "$1")
  [ -n "$n" ] && [ "$n" -ge "$2" ]
}

is_png() { [ "$(head -c 8 "$1" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]; }

openssl_verifies() { # SIGNATURE CERTIFICATE: MD5 with RSA over plain.txt
  local tmp=$demo/openssl
  mkdir -p "$tmp"
  openssl x509 -in "$demo/out/$2" -pubkey -noout >"$tmp/pub.pem" 2>/dev/null &&
    base64 -d "$demo/out/$1" >"$tmp/sig.bin" 2>/dev/null &&
    openssl dgst -md5 -verify "$tmp/pub.pem" -signature "$tmp/sig.bin" "$demo/out/plain.txt" >/dev/null 2>&1
}

plain_is_gbk() { # the signed text as the page gave it, in code page 936
  [ "$(iconv -f GBK -t UTF-8 "$demo/out/plain.txt")" = "转账 100.00 元 to Zhang San, order 2026-0042" ]
}

nothing_left() { # no process of the demo's prefix, no Xvfb of the demo
  local p
  for p in /proc/[0-9]*; do
    if tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qx "WINEPREFIX=$demo/prefix"; then
      echo "demo_test: still running: $(tr '\0' ' ' <"$p/cmdline")"
      return 1
    fi
  done
  [ ! -f "$demo/xvfb.pid" ]
}

for run in 1 2; do
  log=$build/demo-run$run.log
  start=$(date +%s.%N)
  env -u DISPLAY "$root/scripts/demo" >"$log" 2>&1
  rc=$?
  awk -v a="$start" -v b="$(date +%s.%N)" -v r="$run" -v c="$rc" \
    'BEGIN { printf "demo_test: run %s: exit %s, %.1f s wall time (target: under 60 s)\n", r, c, b - a }'
  check "run $run exits 0" [ $rc = 0 ]
  check "run $run: every page step gave the expected result" grep -q '^All [0-9]* steps gave the expected result' "$log"
  check "run $run: no failed step" bash -c "! grep -q FAILED '$log'"
  check "run $run: KvoCheck shows the system record and the page's five" records_at_least "$log" 6
  check "run $run: KvoCheck lists the page's own record" grep -q '页面记录' "$log"
  check "run $run: the screenshot is a PNG" is_png "$demo/kvocheck-demo.png"
  check "run $run: the signed text is code page 936" plain_is_gbk
  check "run $run: OpenSSL verifies Sign's signature" openssl_verifies sign.b64 cert.pem
  check "run $run: OpenSSL verifies SignMessage's signature" openssl_verifies signmessage.b64 signmessage-cert.pem
  check "run $run: nothing of the demo is left running" nothing_left
  [ $rc = 0 ] || tail -40 "$log"
done
summary

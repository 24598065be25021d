#!/usr/bin/env bash
# Checks with OpenSSL on the build machine every signature that sign_test
# wrote out: NAME.data signed into NAME.sig (big-endian PKCS #1 v1.5) with the
# key of the certificate NAME.pem, digest NAME.md.
#   sign_openssl.sh OUTPUT-DIR
set -u
out=$1
status=0
count=0
for md in "$out"/*.md; do
  [ -f "$md" ] || continue
  name=${md%.md}
  count=$((count + 1))
  openssl x509 -in "$name.pem" -noout -pubkey >"$name.pub" 2>/dev/null
  if got=$(openssl dgst "-$(cat "$md")" -verify "$name.pub" -signature "$name.sig" "$name.data" 2>&1); then
    echo "ok: $(basename "$name") verifies with OpenSSL ($(cat "$md"))"
  else
    echo "FAIL: $(basename "$name"): openssl dgst -$(cat "$md") -verify said: $got"
    status=1
  fi
done
[ "$count" -gt 0 ] || { echo "FAIL: sign_test wrote out no signature"; status=1; }
exit $status

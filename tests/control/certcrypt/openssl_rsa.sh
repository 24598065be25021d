#!/usr/bin/env bash
# The OpenSSL side of certcrypt_test, made on the build machine:
#   openssl_rsa.sh OUTPUT-DIR
#   key.blob                the 1024-bit key as a CryptoAPI PRIVATEKEYBLOB
#   cert.pem cert.der cert.b64   its self-signed certificate; .b64: bare Base64
#   plain.txt               250 bytes of CP936: "A", 124 times 测, "Z"
#   big.txt                 200,000 bytes without a zero byte
#   *.md5.b64 plain.sha1.b64     Base64 RSASSA-PKCS1-v1_5 signatures of them
#   long-cert.b64 long-sig.b64   a certificate of 2,049 bytes (cert.der and
#                           padding), a signature of 513 (zeros and plain.md5)
#   peer.gue peer.b64       plain.txt in pieces of 100 bytes, each encrypted to
#                           the certificate (PKCS #1 v1.5), byte-reversed to
#                           CryptoAPI's order: joined, and as joined Base64
set -eu
out=$1
rm -rf "$out.new"
mkdir -p "$out.new"
cd "$out.new"
b64() { base64 -w0 "$@"; }
rev() { perl -0777 -pe '$_ = reverse $_' "$@"; }
openssl req -x509 -newkey rsa:1024 -nodes -keyout key.pem -out cert.pem -days 3650 \
  -subj "/C=CN/O=QelCrypt Test/OU=OpenSSL/CN=OpenSSL Peer" 2>/dev/null
openssl rsa -in key.pem -outform MSBLOB -out key.blob 2>/dev/null
openssl x509 -in cert.pem -outform DER -out cert.der
b64 cert.der > cert.b64
{ printf 'A'; for _ in $(seq 124); do printf '\262\342'; done; printf 'Z'; } > plain.txt
yes 'QelCrypt verifies files in chunks.' | head -c 200000 > big.txt
for t in plain big; do openssl dgst -md5 -sign key.pem -out $t.md5 $t.txt; b64 $t.md5 > $t.md5.b64; done
openssl dgst -sha1 -sign key.pem plain.txt | b64 > plain.sha1.b64
{ cat cert.der; head -c $((2049 - $(stat -c %s cert.der))) /dev/zero; } | b64 > long-cert.b64
{ head -c 385 /dev/zero; cat plain.md5; } | b64 > long-sig.b64
split -b 100 -d -a 1 plain.txt piece.
: > peer.b64
for p in piece.?; do
  openssl pkeyutl -encrypt -certin -inkey cert.pem -pkeyopt rsa_padding_mode:pkcs1 -in "$p" | rev > "$p.rsa"
  b64 "$p.rsa" >> peer.b64
done
cat piece.?.rsa > peer.gue
cd ..
rm -rf "$out"
mv "$out.new" "$out"

#!/usr/bin/env bash
# GetCert from JScript, checked with OpenSSL on the build machine: runs
# tests/control/getcert.js under Wine, which saves the PEM texts GetCert
# returned, then has `openssl x509` parse each and compares its subject with
# the fixture's.
#   getcert_openssl.sh WINE-RUN WINE-DIR SCRIPT OUTPUT-DIR
# (QEL_WINE64 chooses the cscript, as for the other control scripts.)
set -u
run=$1 dir=$2 script=$3 out=$4
rm -rf "$out"
mkdir -p "$out"
status=0
"$run" "$dir" cscript //nologo "$script" "Z:${out//\//\\}" || status=1

check() {
  local name=$1 want=$2 got
  if ! got=$(openssl x509 -in "$out/$name.pem" -noout -subject -nameopt sep_comma_plus,utf8,-esc_msb 2>&1); then
    echo "FAIL: openssl cannot read $name.pem: $got"
    status=1
  elif [ "$got" != "subject=$want" ]; then
    echo "FAIL: $name.pem has the subject \"$got\", not \"subject=$want\""
    status=1
  else
    echo "ok: $name.pem: $got"
  fi
}
check zhangsan-a "C=CN,O=QelCrypt Test,OU=Dept A,CN=Zhang San"
check zhangsan-b "C=CN,O=QelCrypt Test,OU=Dept B,CN=Zhang San"
check li-two-ou "C=CN,O=Org,OU=Unit A,OU=Unit B,CN=Li"
check chinese "C=CN,O=测试单位,OU=技术部,CN=李四"
check wangwu-no-ou "C=CN,O=QelCrypt Test,CN=Wang Wu"
check no-cn "C=CN,O=QelCrypt Test,OU=Dept A"
exit $status

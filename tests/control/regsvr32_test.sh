#!/usr/bin/env bash
# regsvr32 registers and unregisters QELCRYPT.OCX; a second /u succeeds too.
# The control is registered again at the end for the tests that follow.
#   regsvr32_test.sh WINE_RUN WINE_DIR OCX_WINDOWS_PATH
set -u
run=$1 dir=$2 ocx=$3
clsid='{93E15B7A-2C48-4F0D-8D67-41A9C3F0E85E}'
fail=0
check() { # description, expected exit code, command...
  local what=$1 want=$2; shift 2
  "$@" >/dev/null 2>&1
  local got=$?
  if [ "$got" -ne "$want" ]; then echo "FAIL: $what: expected exit $want, got $got"; fail=1; else echo "ok: $what"; fi
}
key_exists() { "$run" "$dir" reg query "HKCR\\CLSID\\$clsid\\InprocServer32" >/dev/null 2>&1; }

check "regsvr32 registers" 0 "$run" "$dir" regsvr32 /s "$ocx"
if key_exists; then echo "ok: CLSID key present"; else echo "FAIL: CLSID key missing after registration"; fail=1; fi
check "regsvr32 /u unregisters" 0 "$run" "$dir" regsvr32 /u /s "$ocx"
if key_exists; then echo "FAIL: CLSID key left after /u"; fail=1; else echo "ok: CLSID key removed"; fi
check "a second regsvr32 /u succeeds" 0 "$run" "$dir" regsvr32 /u /s "$ocx"
check "regsvr32 registers again" 0 "$run" "$dir" regsvr32 /s "$ocx"
exit $fail

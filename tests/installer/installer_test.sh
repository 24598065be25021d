#!/usr/bin/env bash
# The setup program as an administrator runs it, silently, on a fresh 64-bit
# Windows (a Wine prefix of its own): the control is registered and a page
# script creates it by ProgID and runs the business steps (samples/page.js),
# KvoCheck and its shortcut are there, the browsers' host answers the origins
# given to setup and refuses others, Chrome and Edge find its manifest, the
# uninstall entry is listed; the silent uninstall then removes the class,
# ProgID, type library, categories, files, shortcut, host keys and entry,
# and the page script finds no control.
#
# On a machine whose kernel runs no 32-bit programs the 64-bit build of the
# setup program is tested (same script): where x86 runs emulated, the 32-bit
# regsvr32 it starts registers the x86 control under qemu-user; where x86
# cannot run at all, that registration fails and setup ends with its exit
# code 2, which is checked too. Ends with "installer_test: N passed, M failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${QEL_BUILD_DIR:-$root/build}
dir=$build/installer/wine
check_name=installer_test
. "$root/tests/support/checks.sh"
absent() { ! "$@"; }

"$root/scripts/installer" || { echo "installer_test: 0 passed, 1 failed"; exit 1; }
. "$root/cmake/wine-loader"
setup=$build/installer/QelCryptSetup.exe
expect=0
if [ "$QEL_X86" != native ]; then
  setup=$build/installer/QelCryptSetup-amd64.exe
  qel_host_runs_i386 || expect=2
fi

"$root/cmake/wine-env" stop "$dir" >/dev/null 2>&1
"$root/cmake/wine-env" reset "$dir" x86 >/dev/null || exit 1
"$root/cmake/wine-env" start "$dir" x86 || exit 1
export WINEPREFIX=$dir/prefix
[ -f "$dir/display" ] && export DISPLAY=$(cat "$dir/display")
run() { "$root/cmake/wine-run" "$dir" "$@"; }
run64() { QEL_WINE64=1 "$root/cmake/wine-run" "$dir" "$@"; }
key() { run64 reg query "$1" >/dev/null 2>&1; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }
host_call() { # ORIGIN: GetVersion through the installed host, prints the reply
  framed "{\"id\":1,\"origin\":\"$1\",\"method\":\"GetVersion\"}" |
    run "$unix_inst/QelCryptHost.exe" 2>/dev/null | tail -c +5
}
value_has() { # KEY NAME TEXT (NAME "": the default value)
  local v=(/v "$2")
  [ -z "$2" ] && v=(/ve)
  run64 reg query "$1" "${v[@]}" 2>/dev/null | tr -d '\r' | grep -qF "$3"
}

clsid='{93E15B7A-2C48-4F0D-8D67-41A9C3F0E85E}'
libid='{6A1D4E02-93C7-4B58-A0E6-2F8B71C45D93}'
uninst='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QelCrypt'
page() { # runs samples/page.js against whatever control is registered
  run "$build/win64/demo/kvodemo.exe" confirm 30000 >/dev/null &
  local confirm=$!
  run64 cscript //nologo "$(winpath "$root/samples/page.js")" >"$dir/page.log" 2>&1
  local rc=$?
  kill $confirm 2>/dev/null
  wait $confirm 2>/dev/null
  return $rc
}

run "$build/win64/demo/certfixtures.exe" demo >/dev/null || echo "installer_test: no demo certificates"

run "$setup" /S /ORIGINS=https://bank.example,https://intranet.example:8443
rc=$?
check "setup exits $expect (got $rc)" [ $rc = $expect ]
inst=$(run64 reg query "$uninst" /v InstallLocation 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
unix_inst=$(run64 winepath -u "$inst" 2>/dev/null | tr -d '\r')
check "the uninstall entry names the folder" [ -n "$inst" ]
for f in QELCRYPT.OCX x64/QELCRYPT.OCX KvoCheck.exe QelCryptHost.exe com.qelcrypt.host.json uninstall.exe; do
  check "installed: $f" [ -f "$unix_inst/$f" ]
done
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Programs/QelCrypt/KvoCheck.lnk' | head -1)
check "the Start-menu shortcut to KvoCheck" [ -n "$shortcut" ]
check "the uninstall entry's display name" key "$uninst"
check "the class is registered" key "HKCR\\CLSID\\$clsid\\InprocServer32"
check "the ProgID is registered" key 'HKCR\QELCRYPT.QelCryptCtrl.1\CLSID'
check "the type library is registered" key "HKCR\\TypeLib\\$libid\\1.0"
check "the control is safe for scripting" \
  key "HKCR\\CLSID\\$clsid\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"
host_key='HKLM\SOFTWARE\QelCrypt\NativeHost'
chrome_key='HKLM\Software\Google\Chrome\NativeMessagingHosts\com.qelcrypt.host'
edge_key='HKLM\Software\Microsoft\Edge\NativeMessagingHosts\com.qelcrypt.host'
check "Chrome finds the host's manifest" value_has "$chrome_key" '' 'com.qelcrypt.host.json'
check "Edge finds the host's manifest" value_has "$edge_key" '' 'com.qelcrypt.host.json'
check "the manifest names the host and the extension" \
  grep -q '"path": "QelCryptHost.exe"' "$unix_inst/com.qelcrypt.host.json"
check "the allow-list holds both origins" value_has "$host_key" AllowedOrigins \
  'https://bank.example\0https://intranet.example:8443'
check "the host serves an allowed origin" bash -c '[[ "$0" == *\"result\":1010* ]]' \
  "$(host_call https://intranet.example:8443)"
check "the host refuses another origin" bash -c '[[ "$0" == *-32000* ]]' "$(host_call https://evil.example)"
if [ $expect = 0 ]; then
  check "the x86 control is registered too" key "HKLM\\Software\\Classes\\Wow6432Node\\CLSID\\$clsid"
fi
page
check "samples/page.js runs every step against the installed control" [ $? = 0 ]
grep -q '^All [0-9]* steps gave the expected result' "$dir/page.log" || cat "$dir/page.log"

run "$unix_inst/uninstall.exe" /S
wineserver -w  # the uninstaller finishes in a copy of itself
check "the class is gone" absent key "HKCR\\CLSID\\$clsid"
check "the ProgID is gone" absent key 'HKCR\QELCRYPT.QelCryptCtrl.1'
check "the type library is gone" absent key "HKCR\\TypeLib\\$libid"
check "the x86 class is gone" absent key "HKLM\\Software\\Classes\\Wow6432Node\\CLSID\\$clsid"
check "the uninstall entry is gone" absent key "$uninst"
check "the host's keys are gone" absent key 'HKLM\SOFTWARE\QelCrypt'
check "Chrome's host key is gone" absent key "$chrome_key"
check "Edge's host key is gone" absent key "$edge_key"
check "the folder is gone" [ ! -e "$unix_inst" ]
check "the shortcut is gone" [ ! -e "$shortcut" ]
page
check "samples/page.js says the control is not installed" [ $? = 2 ]

"$root/cmake/wine-env" stop "$dir" >/dev/null 2>&1
summary

#!/usr/bin/env bash
# Checks that the shipped binaries load on Windows XP SP3 (x86) and XP x64 /
# Server 2003 (x64): every function they import must be on the reviewed list
# of what those systems export, and the subsystem version in their PE header
# must not ask for a newer system. Runs on the build machine.
#
#   imports_test.sh OBJDUMP LIST BINARY...
#
# LIST (tests/xp-imports.txt): one dll!function a line, the DLL name in lower
# case, sorted (LC_ALL=C); lines starting with # are comments.
set -u
objdump=${1:?usage: imports_test.sh OBJDUMP LIST BINARY...}
list=${2:?usage: imports_test.sh OBJDUMP LIST BINARY...}
shift 2
[ $# -gt 0 ] || { echo "imports_test: no binaries given"; exit 2; }
export LC_ALL=C

allowed=$(grep -v '^#' "$list" | grep -v '^[[:space:]]*$') || { echo "imports_test: $list is empty"; exit 2; }
if ! disorder=$(printf '%s\n' "$allowed" | sort -cu 2>&1); then
  where=$(printf '%s' "$disorder" | sed -n 's/^sort: -:\([0-9]*\): disorder: /\1 out of order or repeated: /p')
  echo "$(basename "$list"): expected sorted lines without duplicates (LC_ALL=C sort -u), got entry $where"
  exit 1
fi

failed=0
for binary in "$@"; do
  name=$(basename "$binary")
  if ! dump=$("$objdump" -p "$binary" 2>&1); then
    echo "$name: $objdump -p failed: $dump"
    failed=1
    continue
  fi

  # XP (5.1) refuses a higher subsystem version; x64 Windows starts at 5.2.
  magic=$(printf '%s\n' "$dump" | awk '$1 == "Magic" { print $2 }')
  major=$(printf '%s\n' "$dump" | awk '$1 == "MajorSubsystemVersion" { print $2 }')
  minor=$(printf '%s\n' "$dump" | awk '$1 == "MinorSubsystemVersion" { print $2 }')
  case $magic in
    010b) limit=501 ;;   # PE32
    020b) limit=502 ;;   # PE32+
    *) echo "$name: expected a PE32 or PE32+ image, got magic '$magic'"; failed=1; continue ;;
  esac
  if [ -z "$major" ] || [ -z "$minor" ] || [ $((major * 100 + minor)) -gt $limit ]; then
    echo "$name: expected subsystem version at most $((limit / 100)).$((limit % 100)), got '$major.$minor'"
    failed=1
  fi

  # The import tables: after each "DLL Name:" line, one line per function
  # ("<address> <hint> <name>", or "<none>" and the ordinal for imports by
  # ordinal), up to a blank line.
  imports=$(printf '%s\n' "$dump" | awk '
    /^The Import Tables/ { inside = 1; next }
    /^The / { inside = 0 }
    !inside { next }
    /DLL Name:/ { dll = tolower($3); next }
    /^$/ { dll = ""; next }
    dll != "" && /^\t[0-9a-f]+\t +[0-9a-f]+ +[^ ]+$/ {
      print dll "!" ($3 == "<none>" ? "#" $2 : $3)
    }' | sort -u)
  if [ -z "$imports" ]; then
    echo "$name: expected an import table, found none"
    failed=1
    continue
  fi
  count=$(printf '%s\n' "$imports" | wc -l)
  unknown=$(comm -23 <(printf '%s\n' "$imports") <(printf '%s\n' "$allowed"))
  if [ -n "$unknown" ]; then
    while IFS= read -r entry; do
      echo "$name: imports $entry, which is not in $(basename "$list");" \
           "check that Windows XP SP3 and Server 2003 export it before adding it there"
    done <<<"$unknown"
    failed=1
  else
    echo "$name: all $count imports are on the list, subsystem version $major.$minor"
  fi
done
exit $failed

# Sourced by the shell tests: check WHAT COMMAND... counts COMMAND's success
# in `passed` or its failure in `failed` (saying WHAT); summary NAME prints the
# line scripts/test adds up and returns non-zero when a check failed.
passed=0
failed=0

check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "$check_name: FAILED: $what"
  fi
}

summary() {
  echo "$check_name: $passed passed, $failed failed"
  [ "$failed" = 0 ]
}

# framed TEXT: TEXT as the browsers' host reads a message on standard input,
# after its length as four bytes, low byte first (texts under 64 KiB).
framed() {
  local n=${#1}
  printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $((n & 255)) $((n >> 8 & 255)) 0 0)"
  printf '%s' "$1"
}

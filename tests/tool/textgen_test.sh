#!/usr/bin/env bash
# The build-machine converter of the text table (resources/textgen.cpp):
#   textgen_test.sh TEXTGEN CXX WORK-DIR
# Tables it must refuse (exit 1, a message naming the line, no file
# written), and a table of awkward texts whose generated constants, compiled
# with CXX, must hold what iconv(1) makes of them.
set -u
textgen=$1 cxx=$2 work=$3
check_name=textgen_test
. "$(dirname "$0")/../support/checks.sh"
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

# refused NAME EXPECTED-MESSAGE TABLE-BYTES (printf format)
refused() {
  local name=$1 message=$2
  rm -rf out && mkdir out
  printf "$3" > table.txt
  "$textgen" table.txt out 2> err.txt
  local rc=$?
  check "$name: exit code 1 (was $rc)" [ "$rc" = 1 ]
  check "$name: message \"$message\" (was \"$(cat err.txt)\")" grep -qF -- "$message" err.txt
  check "$name: nothing written" [ -z "$(ls out)" ]
}
refused "no code page 936 form" 'table.txt:2: "ÿ" (U+00FF) has no code page 936 form' 'kA "ok"\nkB "xÿ"\n'
refused "outside the BMP" '(U+1F600) has no code page 936 form' 'kA "\360\237\230\200"\n'
refused "no UTF-8" 'table.txt:1: byte 1 of the text is no UTF-8' 'kA "x\377y"\n'
refused "a lone continuation byte" 'byte 0 of the text is no UTF-8' 'kA "\200"\n'
refused "an encoded surrogate" 'no UTF-8' 'kA "\355\240\200"\n'
refused "a name twice" 'table.txt:3: kA: the name is already in the table' '# c\nkA "a"\nkA "b"\n'
refused "an unknown escape" 'kA: unknown escape \x' 'kA "\\xC7"\n'
refused "no closing quote" 'kA: the text has no closing quote' 'kA "abc\n'
refused "an escaped closing quote" 'kA: the text has no closing quote' 'kA "abc\\"\n'
refused "no quotes" 'kA: the name is followed by blanks and a quoted text' 'kA abc\n'
refused "no blank after the name" 'the name is followed by blanks' 'kA"abc"\n'
refused "something after the text" 'kA: something follows the closing quote' 'kA "a" "b"\n'
refused "no name" 'table.txt:1: a line starts with a name' '"abc"\n'
refused "a name with a digit first" 'a line starts with a name' '1kA "abc"\n'
refused "a tab in the text" 'kA: a control character in the text' 'kA "a\tb"\n'
refused "an empty table" 'table.txt: no text' '# only a comment\n\n'
"$textgen" missing.txt out 2> err.txt
check "a missing table: refused" grep -qF 'missing.txt: cannot be read' err.txt

# Awkward texts: hex digits right after a double-byte character, quotes and
# backslashes, escapes, "?" pairs, the euro sign (0x80), blanks at both ends,
# CR LF line ends and comments in the table.
printf '%s\r\n' '# awkward texts' \
  'kHexAfter   "签0A9f"' \
  'kQuote	"a\"b\\c\\"' \
  'kEscapes    "\r\n中\t文\n"' \
  'kQuestions  "??=??/ ?"' \
  'kEuro       "€1"' \
  'kBlanks     "  两端  "' \
  '   kIndented "x"   ' > good.txt
rm -rf out && mkdir out
check "awkward texts: generated" "$textgen" good.txt out
# name and its text as the program must hold it (before iconv)
expected() {
  case $1 in
    kHexAfter) printf '签0A9f' ;;
    kQuote) printf 'a"b\\c\\' ;;
    kEscapes) printf '\r\n中\t文\n' ;;
    kQuestions) printf '??=??/ ?' ;;
    kEuro) printf '€1' ;;
    kBlanks) printf '  两端  ' ;;
    kIndented) printf 'x' ;;
  esac
}
names="kHexAfter kQuote kEscapes kQuestions kEuro kBlanks kIndented"
{
  echo '#include <cstdio>'
  echo '#include "texts936.h"'
  echo 'static void Put(const char* name, const char* text, size_t size) {'
  echo '  std::FILE* f = std::fopen(name, "wb"); std::fwrite(text, 1, size - 1, f); std::fclose(f); }'
  echo 'int main() {'
  for n in $names; do echo "  Put(\"$n.bin\", texts::$n, sizeof texts::$n);"; done
  echo '}'
} > dump.cpp
check "awkward texts: the header compiles" "$cxx" -std=c++17 -Wall -Wextra -Werror -Iout -o dump dump.cpp
check "awkward texts: dumped" ./dump
for n in $names; do
  expected "$n" | iconv -f UTF-8 -t CP936 > "$n.expected"
  check "$n: the bytes iconv makes" cmp -s "$n.expected" "$n.bin"
done
check "the table rows" [ "$(grep -c '^{"k' out/texts936_table.inc)" = 7 ]
check "the UTF-8 text in a row" grep -qF '{"kEuro", texts::kEuro, 2, "\xE2\x82\xAC" "1"},' out/texts936_table.inc

summary

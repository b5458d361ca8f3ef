#!/usr/bin/env bash
# The man page describes every key of the help text, and --help, -h and --version, each under a tag of its
# KEYS section; mandoc's lint (every level, style included) has nothing to say of it. Without mandoc the lint
# is skipped (exit code 77) once the keys are checked.
# usage: tests/man_page.sh ZYN_BINARY MAN_PAGE
set -euo pipefail
zyn=$1
page=$2

help=$("$zyn" -help) || [ $? -eq 2 ] || { echo "$zyn -help did not end with code 2"; exit 1; }
keys=$(sed -n 's/^.* \(-[a-z]*:\{0,1\}\)[A-Z]* *-- .*$/\1/p' <<<"$help")
[ -n "$keys" ] || { echo "no keys found in the help text"; exit 1; }
# The line after each .TP of the KEYS section is a tag; "\-" is roff's minus sign.
tags=" $(awk '/^\.SH /{on=($0==".SH KEYS")} on&&tag{print} {tag=on&&$0==".TP"}' "$page" | tr -d '\\' |
  grep -oE -- '-{1,2}[a-z]+:?' | tr '\n' ' ')"
missing=()
for key in $keys --help -h --version; do
  [[ "$tags" == *" $key "* ]] || missing+=("$key")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "keys without a tag in the KEYS section of $page: ${missing[*]}"
  exit 1
fi

command -v mandoc >/dev/null || { echo "mandoc is not installed: lint skipped"; exit 77; }
lint=$(mandoc -T lint "$page" 2>&1) && [ -z "$lint" ] || { echo "$lint"; exit 1; }
echo "$page: every key described, lint clean"

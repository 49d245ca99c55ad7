#!/usr/bin/env bash
# The generated manual pages: each has the sections of a Debian page, in their order, a NAME line
# of its own (not help2man's stand-in), and man prints no warning when it formats it.
#   man_pages_test.sh <page>...
set -euo pipefail
command -v man >/dev/null || { echo "man pages test: man is missing (scripts/bootstrap installs man-db)" >&2; exit 1; }
expected=$'NAME\nSYNOPSIS\nDESCRIPTION\nOPTIONS\nEXIT STATUS\nENVIRONMENT\nFILES\nEXAMPLES\nSEE ALSO'
failed=0
for page in "$@"; do
  name=$(basename "$page")
  [ -s "$page" ] || { echo "man pages test: $page is missing or empty" >&2; failed=1; continue; }
  sections=$(zcat -f "$page" | sed -n 's/^\.SH "\{0,1\}\([^"]*\)"\{0,1\}$/\1/p')
  if [ "$sections" != "$expected" ]; then
    echo "man pages test: $name has the sections" $sections >&2
    failed=1
  fi
  if zcat -f "$page" | grep -q 'manual page for'; then
    echo "man pages test: $name has no NAME line of its own" >&2
    failed=1
  fi
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "man pages test: man --warnings -l $name says:" >&2
    echo "$warnings" >&2
    failed=1
  fi
done
[ $failed -eq 0 ] && echo "man pages test: $# pages, every section, no warning"
exit $failed

#!/usr/bin/env bash
# Each manual page renders without a warning from man (groff's own checks included), and each
# page ends with its SEE ALSO section (scdoc stops quietly at some mistakes).
#   check_man.sh PAGE...
set -uo pipefail
status=0
for page in "$@"; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "FAIL: $page: $warnings"
    status=1
  elif ! MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "SEE ALSO"; then
    echo "FAIL: $page renders without its SEE ALSO section"
    status=1
  else
    echo "ok   $page"
  fi
done
exit $status

#!/usr/bin/env bash
# check-man-options.sh PROGRAM PAGE.1[.gz]: every option PROGRAM --help names (--word, -word, -h) is
# described in the man page PAGE, so that an option added to --help without a line in
# packaging/<program>.h2m fails the build's tests. Prints the missing ones.
set -euo pipefail
program=$1 page=$2
options=$(XDG_STATE_HOME=${TMPDIR:-/tmp} "$program" --help | grep -oE '(^|[[ ,|])--?[a-zA-Z][a-zA-Z-]*' |
  sed 's/^[[ ,|]//' | sort -u)
[ -n "$options" ] || { echo "check-man-options: $program --help names no option" >&2; exit 1; }
# The page's text with roff's escaped dashes and font changes undone.
text=$(gzip -dcf "$page" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\[,/]//g')
described=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' <<<"$text")
missing=()
for option in $options; do
  grep -qE -- "(^|[ ,])$option([ ,]|\$)" <<<"$described" || missing+=("$option")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "check-man-options: $(basename "$page") describes no ${missing[*]}" >&2
  exit 1
fi

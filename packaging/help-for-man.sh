#!/bin/sh
# help-for-man.sh PROGRAM --help: PROGRAM's --help as help2man reads it: the usage on one line
# that starts with "Usage:" (the programs wrap it over several indented lines). Runs with a private
# log folder so that making man pages writes nothing into the builder's home.
set -eu
program=$1
shift
XDG_STATE_HOME=${VEXA_MAN_STATE_DIR:-/tmp} "$program" "$@" | awk '
  NR == 1 && sub(/^[Uu]sage:/, "Usage:") { usage = $0; in_usage = 1; next }
  in_usage && /^ +\[/ { sub(/^ +/, " "); usage = usage $0; next }
  in_usage { print usage; in_usage = 0 }
  { print }
  END { if (in_usage) print usage }'

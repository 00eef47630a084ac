#!/usr/bin/env bash
# Runs every benchmark figure against the Release build in BUILD and prints the table.
# Usage: bench/run.sh BUILD [SECTION...]   (make bench builds BUILD first; SECTION such as
# `readers` runs only that part of the table)
set -euo pipefail
if [ $# -lt 1 ] || [ ! -d "$1/bench" ]; then
  echo "usage: bench/run.sh BUILD [SECTION...]   (a build configured with -DMARQUETOR_BENCH=ON)" >&2
  exit 2
fi
exec python3 "$(dirname "$0")/table.py" "$@"

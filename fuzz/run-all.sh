#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for FUZZ_SECONDS each, starting from its seeds.
# Usage: fuzz/run-all.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?build dir}" && pwd)   # absolute: the targets run from inside it
seconds=${FUZZ_SECONDS:-20}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for bin in "$build"/fuzz/fuzz_*; do
  [ -x "$bin" ] || continue
  name=$(basename "$bin"); name=${name#fuzz_}
  corpus="$build/fuzz/corpus-$name"
  mkdir -p "$corpus"
  seeds="$here/seeds/$name"
  [ -d "$seeds" ] || seeds=""
  echo "== fuzz_$name for ${seconds}s"
  if ! (cd "$build/fuzz" && "$bin" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
        -timeout=10 -print_final_stats=1 "$corpus" $seeds 2>&1 | tail -n 12); then
    status=1
  fi
done
exit $status

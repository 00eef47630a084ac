#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for FUZZ_SECONDS each, starting from its seeds,
# FUZZ_JOBS targets at a time (default: one per processor). Each target's closing lines are
# printed together when it ends; the status is 1 when any target failed.
# Usage: fuzz/run-all.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?build dir}" && pwd)   # absolute: the targets run from inside it
seconds=${FUZZ_SECONDS:-20}
jobs=${FUZZ_JOBS:-$(nproc)}
here=$(cd "$(dirname "$0")" && pwd)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

run_one() {
  local bin=$1 name corpus seeds
  name=$(basename "$bin"); name=${name#fuzz_}
  corpus="$build/fuzz/corpus-$name"
  mkdir -p "$corpus"
  seeds="$here/seeds/$name"
  [ -d "$seeds" ] || seeds=""
  local verdict=passed
  if ! (cd "$build/fuzz" && "$bin" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
        -timeout=10 -print_final_stats=1 "$corpus" $seeds >"$logs/$name.log" 2>&1); then
    verdict=FAILED
    : >"$logs/$name.failed"
  fi
  # One write, so that targets ending together do not mix their lines.
  printf '== fuzz_%s for %ss: %s\n%s\n' "$name" "$seconds" "$verdict" "$(tail -n 12 "$logs/$name.log")"
}

running=0
for bin in "$build"/fuzz/fuzz_*; do
  [ -x "$bin" ] || continue
  run_one "$bin" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait
if compgen -G "$logs/*.failed" >/dev/null; then
  exit 1
fi
exit 0

#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each
# for a bounded time: tools/run-fuzz.sh [seconds per target, default 60].
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DZQ_FUZZ=ON -DZQ_WERROR="${ZQ_WERROR:-OFF}" >/dev/null
# Only the fuzz targets (and what they link) are built here.
targets=$(ninja -C "$build" -t targets all | sed -n 's/^\(fuzz_[A-Za-z0-9_]*\): .*/\1/p' | sort -u)
[ -n "$targets" ] || { echo "no fuzz targets"; exit 0; }
# shellcheck disable=SC2086
cmake --build "$build" --parallel "$(nproc)" --target $targets
export ASAN_OPTIONS=detect_leaks=1
shopt -s nullglob
pids=()
for target in "$build"/bin/fuzz_*; do
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/${name#fuzz_}"
  args=("$corpus")
  [ -d "$seeds" ] && args+=("$seeds")
  echo "fuzzing $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=2048 -timeout=10 \
    "${args[@]}" >"$build/$name.log" 2>&1 &
  pids+=("$!:$name")
done
status=0
for entry in "${pids[@]}"; do
  pid=${entry%%:*}; name=${entry#*:}
  if wait "$pid"; then
    echo "$name: no crash ($(grep -c '^#' "$build/$name.log" || true) status lines)"
  else
    echo "$name: FAILED"; tail -40 "$build/$name.log"; status=1
  fi
done
exit $status

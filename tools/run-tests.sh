#!/usr/bin/env bash
# Builds and runs every test.
#   tools/run-tests.sh              plain build (build/normal)
#   tools/run-tests.sh asan-ubsan   AddressSanitizer + UndefinedBehaviorSanitizer
#   tools/run-tests.sh tsan         ThreadSanitizer, on the threaded areas only
# Further arguments go to ctest (for example -L link).
set -euo pipefail
cd "$(dirname "$0")/.."
variant=${1:-normal}
[ $# -gt 0 ] && shift
case "$variant" in
  normal)     sanitize="" ;;
  asan-ubsan) sanitize="asan-ubsan" ;;
  tsan)       sanitize="tsan" ;;
  *) echo "unknown variant '$variant' (normal, asan-ubsan, tsan)" >&2; exit 2 ;;
esac
build="build/$variant"
cmake -S . -B "$build" -G Ninja -DZQ_SANITIZE="$sanitize" -DZQ_WERROR="${ZQ_WERROR:-OFF}" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
export GSETTINGS_BACKEND=memory
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
extra=()
if [ "$variant" = tsan ]; then
  extra=(-L 'link|platform')
fi
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300 "${extra[@]}" "$@"

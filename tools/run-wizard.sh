#!/usr/bin/env bash
# Builds the program and starts the wizard beside the car-kit simulator,
# which answers on a pseudo-terminal linked as COM7 (choose COM7 on the port
# page). Arguments go to the simulator, e.g. --model RX5230 --software 120
# or --baud 115200. Needs a display (DISPLAY); under none, run it with
# xvfb-run. The simulator stops when the wizard closes.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/normal
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target ZQUpdateManager carkit-sim >/dev/null
kit=$(mktemp -d "${TMPDIR:-/tmp}/zq-carkit.XXXXXX")
"$build/bin/carkit-sim" --com 7 --receive-dir "$kit" --report "$kit/report.txt" --ready-file "$kit/ready" "$@" >"$kit/sim.log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [ -e "$kit/ready" ] && break
  sleep 0.1
done
echo "car-kit simulator on COM7; received files and its report go to $kit"
"$build/bin/ZQUpdateManager"

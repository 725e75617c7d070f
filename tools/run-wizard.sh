#!/usr/bin/env bash
# Builds the program and the sample update container, and starts the wizard
# beside the car-kit simulator, which answers on a pseudo-terminal linked as
# COM7 (choose COM7 on the port page). The wizard starts in the sample's
# folder, so Browse opens there. Arguments go to the simulator, e.g.
# --software 137 (an RX7150 that confirms no file) or --baud 115200. Needs a
# display (DISPLAY); under none, run it with xvfb-run. The simulator stops
# when the wizard closes; when it does not come up, the script shows its log
# and ends with a non-zero code.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build/normal
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target ZQUpdateManager carkit-sim sample-container >/dev/null
sample=$build/sample/RX7150-sample-update.zip
kit=$(mktemp -d "${TMPDIR:-/tmp}/zq-carkit.XXXXXX")
"$build/bin/carkit-sim" --com 7 --receive-dir "$kit" --report "$kit/report.txt" --ready-file "$kit/ready" "$@" >"$kit/sim.log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
# Up to 5 s for the ready file; a simulator that has ended will not write it.
for _ in $(seq 50); do
  [ -e "$kit/ready" ] && break
  kill -0 "$sim" 2>/dev/null || break
  sleep 0.1
done
if [ ! -e "$kit/ready" ]; then
  code=0
  if kill -0 "$sim" 2>/dev/null; then
    echo "run-wizard.sh: the car-kit simulator did not get ready within 5 s" >&2
  else
    wait "$sim" || code=$?
    echo "run-wizard.sh: the car-kit simulator ended at start (exit code $code)" >&2
  fi
  echo "--- its log ($kit/sim.log):" >&2
  cat "$kit/sim.log" >&2
  exit 1
fi
echo "car-kit simulator on COM7; received files and its report go to $kit"
echo "sample update container: $sample"
cd "$(dirname "$sample")"
"$build/bin/ZQUpdateManager"

#!/usr/bin/env bash
# Installs the build into an empty folder and starts the installed program
# under the tests' Xvfb as a user would: Next, Browse, the sample container's
# name typed into the file chooser, which opens in the folder the program
# was started in. The unpacked files in the temp folder show that the
# installed program ran its 7za, and the dynamic loader's record shows that
# it bound the libexpat.dll of its installed folder to read the description.
# Everything it makes, the program's home and XDG folders too, lies in one
# temporary folder that goes at the end.
#   check-install.sh BUILD_FOLDER SAMPLE_CONTAINER WITH_XVFB
set -euo pipefail
if [ "${1:-}" != --inside ]; then
  exec "$3" "$0" --inside "$@"
fi
build=$(realpath "$2")
sample=$(realpath "$3")
work=$(mktemp -d "${TMPDIR:-/tmp}/zq-install.XXXXXX")
program=
cleanup() {
  if [ -n "$program" ]; then
    kill "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for log in "$work/install.log" "$work/program.log"; do
    [ -s "$log" ] && { echo "--- $log" >&2; tail -n 20 "$log" >&2; }
  done
  exit 1
}

[ -r "$sample" ] || fail "no sample container at $sample"
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 || fail "cmake --install failed"
folder=$work/prefix/lib/zqupdatemanager
[ -x "$folder/ZQUpdateManager" ] || fail "no program in $folder"
[ "$(readlink -e "$work/prefix/bin/ZQUpdateManager")" = "$folder/ZQUpdateManager" ] ||
  fail "bin/ZQUpdateManager does not lead to the program"
for link in 7za libexpat.dll; do
  [ -L "$folder/$link" ] || fail "$link is no link"
  [ -e "$folder/$link" ] || fail "$link -> $(readlink "$folder/$link") leads nowhere"
done

# Started in a folder of its own with the container in it, as run-wizard.sh
# starts it in the sample's folder: the file chooser opens there, so the bare
# file name is enough.
mkdir "$work/tmp" "$work/home" "$work/config" "$work/data" "$work/cache" "$work/start"
cp "$sample" "$work/start/"
cd "$work/start"
TMP="$work/tmp" TMPDIR="$work/tmp" HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
  XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" GSETTINGS_BACKEND=memory \
  LD_DEBUG=files LD_DEBUG_OUTPUT="$work/ld" \
  "$work/prefix/bin/ZQUpdateManager" >"$work/program.log" 2>&1 &
program=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$program" 2>/dev/null | head -1) || true
[ -n "$window" ] || fail "the installed program showed no window"
sleep 0.5
# Next and Browse, at their places in the 650 x 490 client area.
xdotool mousemove --window "$window" 617 470 click 1
sleep 0.5
xdotool mousemove --window "$window" 341 470 click 1
chooser=$(timeout 10 xdotool search --sync --onlyvisible --name '^Open$' 2>/dev/null | head -1) || true
[ -n "$chooser" ] || fail "Browse opened no file chooser"
sleep 0.5
xdotool windowfocus --sync "$chooser"
xdotool key ctrl+l
sleep 0.3
# The chooser completes names as it goes, so the keys go slowly.
xdotool type --delay 60 "$(basename "$sample")"
sleep 0.5
xdotool key Return

unpacked=$work/tmp/Repository
for _ in $(seq 300); do
  if [ -e "$unpacked/update.xml" ] && grep -qs "file=$folder/libexpat.dll " "$work"/ld.*; then
    break
  fi
  kill -0 "$program" 2>/dev/null || fail "the installed program ended"
  sleep 0.1
done
[ -e "$unpacked/update.xml" ] || fail "nothing unpacked into $unpacked: the chooser did not open where the program started, or the installed 7za did not run"
grep -qs "file=$folder/libexpat.dll " "$work"/ld.* || fail "the installed libexpat.dll was not loaded"
echo "installed program folder $folder: 7za unpacked $(ls "$unpacked" | wc -l) files, libexpat.dll loaded"

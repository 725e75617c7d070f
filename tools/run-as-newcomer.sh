#!/usr/bin/env bash
# Runs the plain suite as a newcomer's machine sees it, and fails when a test
# needs root, a leftover file, the host's display or the order of the tests,
# or writes outside its own folders:
#   - a copy of this working tree without its build folders, owned by and
#     built afresh as an unprivileged user (made here when missing, default
#     zqnewcomer);
#   - an empty HOME and an empty private /tmp (a tmpfs in a mount namespace
#     of its own, so nothing of the machine's /tmp is seen or touched), no
#     DISPLAY and no other variable of the caller's;
#   - pseudo-terminals whose master every user may open, as on a desktop;
#   - tools/run-tests.sh, then each test program once whole, all its tests
#     in one process, outside ctest (the programs side by side);
#   - afterwards HOME and /tmp must be empty again.
# Needs root (for the user and the mount namespace). The copy goes when the
# script ends; ZQ_NEWCOMER_KEEP=1 keeps it, with the logs of the whole runs.
#   tools/run-as-newcomer.sh [USER]
# The script runs itself in three steps: as root outside (this part), as
# root inside the mount namespace (--namespace), as the user (--user). Root
# runs only files that the user cannot write: the namespace step runs from a
# copy in a folder of root's own, made before the tree is handed over to the
# user, never from the user's copy of the tree.
set -euo pipefail

inside_namespace() {
  mount -t tmpfs -o mode=1777 zq-newcomer-tmp /tmp
  # Containers often mount their pseudo-terminals with the master closed to
  # all but root; a fresh instance of our own opens to anyone.
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 zq-newcomer-pts /dev/pts
  mount --bind /dev/pts/ptmx /dev/ptmx
  local status=0
  runuser -u "$ZQ_NEWCOMER_USER" -- env -i PATH=/usr/local/bin:/usr/bin:/bin \
    HOME="$ZQ_NEWCOMER_WORK/home" USER="$ZQ_NEWCOMER_USER" LOGNAME="$ZQ_NEWCOMER_USER" LANG=C.UTF-8 \
    ZQ_WERROR="${ZQ_WERROR:-OFF}" ZQ_NEWCOMER_LOGS="$ZQ_NEWCOMER_WORK/logs" \
    "$ZQ_NEWCOMER_WORK/src/tools/run-as-newcomer.sh" --user || status=1
  local folder left
  for folder in "$ZQ_NEWCOMER_WORK/home" /tmp; do
    left=$(find "$folder" -mindepth 1 | wc -l)
    if [ "$left" != 0 ]; then
      # Two levels down show what was left: a program's folder and its
      # tests' folders, or a socket folder.
      echo "left behind in $folder ($left names):" >&2
      find "$folder" -mindepth 1 -maxdepth 2 | head -n 40 >&2
      status=1
    fi
  done
  return $status
}

as_user() {
  cd "$(dirname "$0")/.."
  echo "== tools/run-tests.sh as $(id -un), HOME=$HOME"
  local failed=0
  tools/run-tests.sh || failed=1
  export GSETTINGS_BACKEND=memory
  local program name
  local -a names=()
  for program in build/normal/bin/test_*; do
    name=$(basename "$program")
    names+=("$name")
    ( if timeout 900 "$program" >"$ZQ_NEWCOMER_LOGS/$name.log" 2>&1; then
        echo 0 >"$ZQ_NEWCOMER_LOGS/$name.status"
      else
        echo 1 >"$ZQ_NEWCOMER_LOGS/$name.status"
      fi ) &
  done
  wait
  for name in "${names[@]}"; do
    if [ "$(cat "$ZQ_NEWCOMER_LOGS/$name.status")" = 0 ]; then
      echo "== $name, whole: $(grep -E '^\[  PASSED  \]' "$ZQ_NEWCOMER_LOGS/$name.log" || echo passed)"
    else
      echo "== $name, whole: FAILED"
      grep -E '^\[  FAILED  \]' "$ZQ_NEWCOMER_LOGS/$name.log" || tail -n 40 "$ZQ_NEWCOMER_LOGS/$name.log"
      failed=1
    fi
  done
  return $failed
}

case "${1:-}" in
  --namespace) inside_namespace; exit ;;
  --user) as_user; exit ;;
esac

cd "$(dirname "$0")/.."
user=${1:-zqnewcomer}
if [ "$(id -u)" != 0 ]; then
  echo "run-as-newcomer.sh: run as root; the tests themselves run as $user" >&2
  exit 2
fi
id -u "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"

# Below /var/tmp, not /tmp: the private /tmp is to start empty.
work=$(mktemp -d /var/tmp/zq-newcomer.XXXXXX)
if [ "${ZQ_NEWCOMER_KEEP:-0}" = 1 ]; then
  trap 'echo "kept $work"' EXIT
else
  trap 'rm -rf "$work"' EXIT
fi
chmod 755 "$work"
mkdir "$work/src" "$work/home" "$work/logs"
# Root's own copy of this script, which no process of the user can reach to
# rewrite between the hand-over below and the namespace step.
mkdir -m 700 "$work/root"
install -m 500 tools/run-as-newcomer.sh "$work/root/run-as-newcomer.sh"
# The working tree as it is (committed or not), without what a build made.
tar --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$work/src"
chown -R "$user:" "$work/src" "$work/home" "$work/logs"
chmod 700 "$work/home"

export ZQ_NEWCOMER_USER=$user ZQ_NEWCOMER_WORK=$work
started=$(date +%s)
status=0
unshare --mount --propagation private "$work/root/run-as-newcomer.sh" --namespace || status=1
echo "newcomer run took $(($(date +%s) - started)) s"
if [ $status != 0 ]; then
  echo "newcomer run FAILED" >&2
  exit 1
fi
echo "newcomer run passed"

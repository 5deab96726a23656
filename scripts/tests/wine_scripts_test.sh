#!/usr/bin/env bash
# scripts/wine-prefix, wine-run and wine-display-run against a stand-in Wine
# (wine, wineserver and xvfb-run first on PATH, logging their calls), each
# case in a prefix folder of its own under a scratch folder: the prefix is
# made, checked and remade only where these scripts made it; a folder of the
# user's is never removed; the prefix's lock keeps a remake and running
# programs apart, and every wait for it ends with a message.
#   wine_scripts_test.sh SCRIPTS_DIR
set -uo pipefail
scripts=${1:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

mkdir -p "$work/bin"
export STUB_LOG="$work/calls.log"
cat >"$work/bin/wine" <<'EOF'
#!/usr/bin/env bash
# Stand-in Wine: makes a prefix's files on "wineboot --init", starts
# programs where the prefix has them (unless STUB_WINE_BROKEN is set), runs
# any other command as a Linux one.
case "$1" in
  --version) echo "wine-8.0 (stand-in)"; exit 0 ;;
  wineboot)
    echo "wineboot" >>"$STUB_LOG"
    [ -n "${STUB_WINE_BROKEN:-}" ] && exit 1
    mkdir -p "$WINEPREFIX/drive_c/windows/system32"
    touch "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg"
    exit 0 ;;
  cmd)
    [ -z "${STUB_WINE_BROKEN:-}" ] && [ -f "$WINEPREFIX/system.reg" ]
    exit ;;
esac
echo "run $*" >>"$STUB_LOG"
exec "$@"
EOF
cat >"$work/bin/wineserver" <<'EOF'
#!/usr/bin/env bash
echo "wineserver $*" >>"$STUB_LOG"
EOF
cat >"$work/bin/xvfb-run" <<'EOF'
#!/usr/bin/env bash
[ "$1" = -a ] && shift
exec "$@"
EOF
chmod +x "$work/bin"/*
export PATH="$work/bin:$PATH"
export SE_WINE_LOCK_TIMEOUT=1

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
ok() { echo "ok: $*"; }

# A fresh prefix path for case $1; its lock file beside it.
use_prefix() {
  export SE_WINEPREFIX="$work/$1/prefix"
  lock="$SE_WINEPREFIX.lock"
  mkdir -p "$work/$1"
  : >"$STUB_LOG"
}

# wine-prefix, its output in $work/out and its status in $status.
prefix_script() {
  "$scripts/wine-prefix" >"$work/out" 2>&1
  status=$?
}

# ---- Made, used, remade: the prefixes these scripts make -----------------
use_prefix made
prefix_script
if [ "$status" = 0 ] && [ -f "$SE_WINEPREFIX/.modular-suite-made" ] &&
  [ -f "$SE_WINEPREFIX/.modular-suite-ready" ] && grep -qx wineboot "$STUB_LOG"; then
  ok "an absent prefix is made and marked"
else
  fail "an absent prefix: exit $status, $(cat "$work/out")"
fi
: >"$STUB_LOG"
prefix_script
if [ "$status" = 0 ] && grep -q 'ready' "$work/out" && [ ! -s "$STUB_LOG" ]; then
  ok "a complete prefix is used as it is"
else
  fail "a complete prefix: exit $status, calls: $(cat "$STUB_LOG")"
fi
rm "$SE_WINEPREFIX/system.reg"
touch "$SE_WINEPREFIX/left-over"
prefix_script
if [ "$status" = 0 ] && [ ! -e "$SE_WINEPREFIX/left-over" ] && [ -f "$SE_WINEPREFIX/system.reg" ]; then
  ok "a damaged prefix of ours is removed and made again"
else
  fail "a damaged prefix of ours: exit $status, $(cat "$work/out")"
fi

# ---- The user's own prefix -------------------------------------------------
use_prefix users_working
mkdir -p "$SE_WINEPREFIX/drive_c/windows/system32" "$SE_WINEPREFIX/drive_c/users/me"
touch "$SE_WINEPREFIX/system.reg" "$SE_WINEPREFIX/user.reg" "$SE_WINEPREFIX/drive_c/users/me/work.txt"
prefix_script
if [ "$status" = 0 ] && [ -f "$SE_WINEPREFIX/drive_c/users/me/work.txt" ] &&
  [ ! -e "$SE_WINEPREFIX/.modular-suite-made" ] && [ ! -e "$SE_WINEPREFIX/.modular-suite-ready" ] &&
  ! grep -q 'wineboot\|wineserver -k' "$STUB_LOG" && grep -q 'did not make it' "$work/out"; then
  ok "a working prefix of the user's is used, unmarked and untouched"
else
  fail "a working prefix of the user's: exit $status, $(cat "$work/out"), calls: $(cat "$STUB_LOG")"
fi

use_prefix users_broken
mkdir -p "$SE_WINEPREFIX/drive_c/users/me"
touch "$SE_WINEPREFIX/drive_c/users/me/work.txt"
prefix_script
if [ "$status" != 0 ] && [ -f "$SE_WINEPREFIX/drive_c/users/me/work.txt" ] &&
  ! grep -q 'wineboot\|wineserver -k' "$STUB_LOG" &&
  grep -q 'not made by these scripts.*left as it is' "$work/out"; then
  ok "a prefix of the user's that does not run programs is refused, untouched"
else
  fail "a broken prefix of the user's: exit $status, $(cat "$work/out"), calls: $(cat "$STUB_LOG")"
fi

# ---- The lock --------------------------------------------------------------
# A remake waits while another run uses the prefix, and gives up saying so.
use_prefix remake_waits
"$scripts/wine-prefix" >/dev/null 2>&1
rm "$SE_WINEPREFIX/system.reg"
touch "$SE_WINEPREFIX/left-over"
exec 8>>"$lock"
flock -s 8
: >"$STUB_LOG"
prefix_script
exec 8>&-
if [ "$status" != 0 ] && [ -e "$SE_WINEPREFIX/left-over" ] && ! grep -q 'wineserver -k' "$STUB_LOG" &&
  grep -q 'waiting for the lock .*other runs are using the prefix' "$work/out"; then
  ok "a remake waits for the prefix's users and gives up with a message"
else
  fail "a remake while the prefix is in use: exit $status, $(cat "$work/out"), calls: $(cat "$STUB_LOG")"
fi

for runner in wine-run wine-display-run; do
  use_prefix "$runner"
  "$scripts/wine-prefix" >/dev/null 2>&1
  # While a remake holds the lock, no program starts.
  exec 8>>"$lock"
  flock -x 8
  : >"$STUB_LOG"
  "$scripts/$runner" true >"$work/out" 2>&1
  status=$?
  exec 8>&-
  if [ "$status" != 0 ] && ! grep -q '^run' "$STUB_LOG" &&
    grep -q 'waiting for the lock .*another run is making the prefix' "$work/out"; then
    ok "$runner waits for a remake and gives up with a message"
  else
    fail "$runner during a remake: exit $status, $(cat "$work/out"), calls: $(cat "$STUB_LOG")"
  fi
  # While the program runs the lock is held shared, by the script, not by
  # the program (nor what it leaves running); the program's status is the
  # script's.
  "$scripts/$runner" bash -c '
    flock -n -s "$1" true || { echo "no shared lock to be had"; exit 1; }
    flock -n -x "$1" true && { echo "the lock was not held"; exit 1; }
    [ ! -e /proc/$$/fd/9 ] || { echo "the program holds the lock"; exit 1; }
    exit 3' _ "$lock" >"$work/out" 2>&1
  status=$?
  if [ "$status" = 3 ]; then
    ok "$runner holds the shared lock while the program runs, and passes on its status"
  else
    fail "$runner while the program runs: exit $status, $(cat "$work/out")"
  fi
done

echo "$failures failed"
[ "$failures" = 0 ]

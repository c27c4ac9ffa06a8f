#!/usr/bin/env bash
# The program under Wayland, on weston's headless backend: it starts, and its card and chat show
# docked in one window (the compositor places windows, so two could overlap). The program ends
# itself once that window has painted (JACKWELL_EXIT_WHEN_SHOWN); a program that cannot start
# under Wayland, or shows no docked window, runs into the time limit.
# Then a game in that window (wayland_game_test), keys acting once.
# Usage: wayland_test.sh JACKWELL WAYLAND_GAME_TEST
set -euo pipefail
jackwell=$1 game=$2
command -v weston >/dev/null || { echo "SKIP: weston is missing (scripts/install-deps.sh)"; exit 77; }
home=$(mktemp -d)
runtime=$home/runtime
mkdir -m 700 "$runtime"
weston_pid=
cleanup() {
    [ -n "$weston_pid" ] && kill -TERM "$weston_pid" 2>/dev/null && wait "$weston_pid" || true
    rm -rf "$home"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$runtime HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config
weston --backend=headless-backend.so --use-pixman --socket=jackwell-test --width=1024 \
    --height=768 >"$home/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 100); do
    [ -S "$runtime/jackwell-test" ] && break
    sleep 0.1
done
[ -S "$runtime/jackwell-test" ] || { echo "FAIL: weston did not start"; cat "$home/weston.log"; exit 1; }

status=0
QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=jackwell-test JACKWELL_EXIT_WHEN_SHOWN=dockedWindows \
    timeout 30 "$jackwell" >"$home/out" 2>&1 || status=$?
if [ "$status" != 0 ]; then
    echo "FAIL: under Wayland the docked window never showed (exit $status)"
    cat "$home/out"
    exit 1
fi
echo "wayland: the card and the chat showed docked in one window"
QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=jackwell-test timeout 60 "$game" ||
    { echo "FAIL: the game under Wayland"; exit 1; }

#!/usr/bin/env bash
# The program under Wayland, on weston's headless backend, at 800x600 and at twice the scale: it
# starts, and its card and chat show docked in one window (the compositor places windows, so two
# could overlap). The program ends itself once that window has painted
# (JACKWELL_EXIT_WHEN_SHOWN); a program that cannot start under Wayland, or shows no docked
# window, runs into the time limit. Then a game in that window (wayland_game_test), keys acting
# once, and the statistics shown in it.
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
# Each screen a new compositor: 800x600, and twice the scale on 1600x1200.
for screen in 800x600:1 1600x1200:2; do
    size=${screen%:*} scale=${screen#*:}
    weston --backend=headless-backend.so --use-pixman --socket=jackwell-test --width=${size%x*} \
        --height=${size#*x} >"$home/weston.log" 2>&1 &
    weston_pid=$!
    for _ in $(seq 100); do
        [ -S "$runtime/jackwell-test" ] && break
        sleep 0.1
    done
    [ -S "$runtime/jackwell-test" ] || { echo "FAIL: weston did not start"; cat "$home/weston.log"; exit 1; }

    status=0
    QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=jackwell-test JACKWELL_EXIT_WHEN_SHOWN=dockedWindows \
        QT_SCALE_FACTOR=$scale timeout 30 "$jackwell" >"$home/out" 2>&1 || status=$?
    if [ "$status" != 0 ]; then
        echo "FAIL: under Wayland ($size, scale $scale) the docked window never showed (exit $status)"
        cat "$home/out"
        exit 1
    fi
    echo "wayland $size, scale $scale: the card and the chat showed docked in one window"
    QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=jackwell-test QT_SCALE_FACTOR=$scale timeout 60 "$game" ||
        { echo "FAIL: the game under Wayland ($size, scale $scale)"; exit 1; }
    kill -TERM "$weston_pid" && wait "$weston_pid" || true
    weston_pid=
    rm -f "$runtime/jackwell-test" "$runtime/jackwell-test.lock"
done

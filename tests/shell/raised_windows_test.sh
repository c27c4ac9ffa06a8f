#!/usr/bin/env bash
# Windows the player must see, on a real X server under a window manager: a problem found at the
# start (books that are no books) opens a box that says so; the statistics (T), the options (O)
# and the pay table (P), each opened from the card, covered by the chat window the player clicks,
# then asked for again from the card, come to the top.
# Usage: raised_windows_test.sh JACKWELL
set -euo pipefail
jackwell=$1
source "$(dirname "$0")/openbox_desktop.sh" xprop
mkdir -p "$XDG_DATA_HOME/Jackwell" && echo "no books" >"$XDG_DATA_HOME/Jackwell/rivet.sqlite"

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    openbox >/dev/null 2>&1 & wm=$!
    timeout 20 xdotool search --sync --name "^Openbox\$" >/dev/null # managing the screen
    "$0" 2>>"$HOME/stderr" & pid=$!
    trap "kill -TERM $pid $wm 2>/dev/null; wait $pid || true" EXIT
    card=$(timeout 20 xdotool search --sync --onlyvisible --name " Jackwell\$" | head -1)
    chat=$(timeout 20 xdotool search --sync --onlyvisible --name "^Chat\$" | head -1)
    top() { xdotool getwindowname $(($(xprop -root _NET_CLIENT_LIST_STACKING | awk "{print \$NF}"))); }
    activate() { xdotool windowactivate --sync "$1" 2>/dev/null && sleep 0.5; }
    box=$(timeout 20 xdotool search --sync --onlyvisible --name "^Jackwell\$" | head -1)
    echo "box $(xdotool getwindowname "$box")" >>"$HOME/tops"
    sleep 2 && activate "$box" && xdotool key Escape
    for key in t o p; do
        activate "$card" && xdotool key "$key" && sleep 1
        activate "$chat"
        activate "$card" && xdotool key "$key" && sleep 1
        echo "$key $(top)" >>"$HOME/tops"
    done' "$jackwell"

expected=$'box Jackwell\nt Statistics\no Options\np PayOuts'
[ "$(cat "$home/tops")" = "$expected" ] ||
    { echo "FAIL: not seen, or not on top:"; diff <(echo "$expected") "$home/tops"; exit 1; }
echo "seen: the problem box; the statistics, the options and the pay table on top when asked again"

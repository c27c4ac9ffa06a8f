#!/usr/bin/env bash
# A key held down acts once, on a real X server under a window manager, which sends a held key's
# repeats as release and press pairs of one time stamp that Qt passes on unmarked: E (ESP HOLD)
# held on the card, and Return held on the ESP HOLD button reached with Tab. Every hold message
# the card sends plays one of Rivet's games while credits last, so the games in Rivet's books
# count the messages. The chat window, closed and opened again with C, leaves the card the keys.
# Usage: held_keys_test.sh JACKWELL JACKWELL_KEEPER
set -euo pipefail
jackwell=$1 keeper=$2
source "$(dirname "$0")/openbox_desktop.sh"
export books=$home/data/Jackwell/rivet.sqlite keeper

# GET HOST and REGISTER (free credits and a first draw), then on the card: "hold:KEY" holds KEY
# down for 1.6 s, "tabs:N" presses Tab N times, "games:N" waits (at most 5 s) for the books to
# hold N games, then a second more for any that would follow, and notes how many they hold.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    games() { "$keeper" --players "$books" | grep -o " games=[0-9]*" | cut -d= -f2; }
    openbox >/dev/null 2>&1 & wm=$!
    timeout 20 xdotool search --sync --name "^Openbox\$" >/dev/null # managing the screen
    "$0" 2>>"$HOME/stderr" & pid=$!
    trap "kill -TERM $pid $wm 2>/dev/null; wait $pid || true" EXIT
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name "Jackwell\$" | head -1)
    sleep 2 && xdotool windowactivate --sync "$wid" && sleep 0.5
    xdotool key c && sleep 0.5 && xdotool key c && sleep 1 # the chat again, the keyboard kept
    xdotool key g && sleep 1 && xdotool key r && sleep 2
    for step in "$@"; do
        case $step in
        hold:*) xdotool keydown "${step#hold:}" && sleep 1.6 && xdotool keyup "${step#hold:}" ;;
        tabs:*) for _ in $(seq "${step#tabs:}"); do xdotool key Tab; done ;;
        games:*)
            for _ in $(seq 10); do
                [ "$(games)" -ge "${step#games:}" ] && break
                sleep 0.5
            done
            sleep 1 && games >>"$HOME/counts" ;;
        esac
    done' "$jackwell" hold:e games:1 tabs:9 hold:Return games:2

mapfile -t counts <"$home/counts"
[ "${counts[0]}" = 1 ] || { echo "FAIL: E held sent ${counts[0]} hold messages, not 1"; exit 1; }
[ "${counts[1]}" = 2 ] ||
    { echo "FAIL: Return held on ESP HOLD sent $((counts[1] - 1)) hold messages, not 1"; exit 1; }
echo "held keys: E and Return held for 1.6 s sent one hold message each"

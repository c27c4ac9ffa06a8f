#!/usr/bin/env bash
# The real program, started twice on a virtual display with keys pressed as a player would:
# Rivet's books in the player's data folder keep the credits and games of the first run for the
# second, and a books file that cannot be read is named and set aside, not replaced.
# Usage: restart_test.sh JACKWELL JACKWELL_KEEPER
set -euo pipefail
jackwell=$1 keeper=$2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config QT_QPA_PLATFORM=xcb
books=$home/data/Jackwell/rivet.sqlite

# Starts the program, presses KEYS on the card (waitN: N seconds pass), then ends it.
play() {
    xvfb-run -a bash -c '
        "$0" 2>>"$HOME/stderr" & pid=$!
        wid=$(xdotool search --sync --onlyvisible --name "Jackwell\$" | head -1)
        sleep 2 && xdotool windowfocus --sync "$wid"
        for key in "$@"; do
            case $key in wait*) sleep "${key#wait}" ;; *) xdotool key "$key" ;; esac
        done
        kill -TERM $pid; wait $pid || true' "$jackwell" "$@"
}
# One game: GET HOST, REGISTER, START, ESP HOLD (no holds), FINISH.
game=(g wait1 r wait1 s wait6 e wait1 f wait8)
field() { "$keeper" --players "$books" | grep -o " $1=[0-9]*" | cut -d= -f2; }

play "${game[@]}"
[ "$(field games)" = 1 ] || { echo "FAIL: the first run booked no game"; exit 1; }
credits=$(field credits) tokens=$(field tokens)
play "${game[@]}"
[ "$(field games)" = 2 ] || { echo "FAIL: the second run did not play on the same books"; exit 1; }
expected=$((credits - 1 + ($(field tokens) - tokens) / 50))
[ "$(field credits)" = "$expected" ] ||
    { echo "FAIL: credits $(field credits), expected $expected"; exit 1; }

printf 'not books\n' >"$books"
play wait1
aside=$(ls "$books".damaged-*)
[ "$(cat "$aside")" = "not books" ] || { echo "FAIL: the damaged books were not set aside"; exit 1; }
grep -q "$(basename "$aside")" "$home/stderr" || { echo "FAIL: the message names no file"; exit 1; }
echo "restart: credits $credits then $expected over two runs; damaged books set aside as $aside"

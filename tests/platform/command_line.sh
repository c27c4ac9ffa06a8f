#!/usr/bin/env bash
# --help and --version end both programs at once with 0, opening nothing (no display, no
# configuration is at hand here); a wrong command line is an error with the usage, exit 2; a
# SIGTERM ends the card as closing it does.
set -uo pipefail
jackwell=$1
keeper=$2
version=$3
failures=0

# check NAME EXPECTED_EXIT WHERE(stdout|stderr) EXPECTED_TEXT -- COMMAND...
check() {
    local name=$1 want=$2 where=$3 text=$4
    shift 5
    local out err code
    out=$(mktemp) err=$(mktemp)
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" >"$out" 2>"$err" </dev/null
    code=$?
    local said=$out
    [[ $where == stderr ]] && said=$err
    if [[ $code != "$want" ]] || ! grep -qF -- "$text" "$said"; then
        echo "FAIL: $name: exit $code (want $want), $where:"
        cat "$said"
        failures=$((failures + 1))
    else
        echo "ok: $name"
    fi
    rm -f "$out" "$err"
}

check "jackwell --help" 0 stdout "usage: jackwell" -- "$jackwell" --help
check "jackwell -h" 0 stdout "S or Space  START" -- "$jackwell" -h
check "jackwell --version" 0 stdout "jackwell $version" -- "$jackwell" --version
check "jackwell -v" 0 stdout "jackwell $version" -- "$jackwell" -v
check "jackwell --bogus" 2 stderr "usage: jackwell" -- "$jackwell" --bogus
check "jackwell unknown option named" 2 stderr "bogus" -- "$jackwell" --bogus
check "jackwell extra argument" 2 stderr "unexpected argument 'game'" -- "$jackwell" game
check "jackwell without a display" 1 stderr "no display" -- "$jackwell"
# Qt's own options go to Qt, with their values; those without a value leave the next word alone.
for option in platform platformpluginpath platformtheme plugin display geometry style stylesheet \
    qwindowgeometry qwindowtitle qwindowicon session; do
    check "jackwell -$option VALUE" 1 stderr "no display" -- "$jackwell" "-$option" x
done
for option in reverse widgetcount nograb dograb; do
    check "jackwell -$option x" 2 stderr "unexpected argument 'x'" -- "$jackwell" "-$option" x
done

# A SIGTERM (a logout, a service manager) closes the card as the player would, once it has
# started: the books closed (no lock or journal left) and exit 0, not a death by the signal.
home=$(mktemp -d)
HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home \
    QT_QPA_PLATFORM=offscreen "$jackwell" >/dev/null 2>"$home/stderr" &
pid=$!
for _ in $(seq 100); do [[ -e $home/data/Jackwell/rivet.sqlite ]] && break; sleep 0.2; done
kill -TERM $pid
wait $pid
code=$?
left=$(ls "$home/data/Jackwell")
if [[ $code != 0 || $left != rivet.sqlite ]]; then
    echo "FAIL: jackwell on SIGTERM: exit $code, left: $left"
    cat "$home/stderr"
    failures=$((failures + 1))
else
    echo "ok: jackwell on SIGTERM"
fi
rm -rf "$home"

check "jackwell-keeper --help" 0 stdout "usage: jackwell-keeper CONFIG" -- "$keeper" --help
check "jackwell-keeper --version" 0 stdout "jackwell-keeper $version" -- "$keeper" --version
check "jackwell-keeper --bogus" 2 stderr "usage: jackwell-keeper" -- "$keeper" --bogus
check "jackwell-keeper no CONFIG" 2 stderr "no CONFIG given" -- "$keeper"
check "jackwell-keeper two CONFIGs" 2 stderr "one CONFIG only" -- "$keeper" a.txt b.txt
check "jackwell-keeper --audit without BOOKS" 2 stderr "--audit BOOKS" -- "$keeper" --audit
check "jackwell-keeper --audit missing books" 2 stderr "no books there" -- "$keeper" --audit /nonexistent.sqlite
check "jackwell-keeper CONFIG missing" 1 stderr "nonexistent" -- "$keeper" /nonexistent/keeper.txt

exit $((failures > 0))

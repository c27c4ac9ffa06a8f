# Shared by the packaging tests: the files an install puts in place, relative to the prefix,
# and small checks that count failures instead of stopping at the first.

installed_files=(
    games/jackwell
    bin/jackwell-keeper
    lib/jackwell/modules/jackwell-sound.so
    lib/jackwell/modules/jackwell-irc.so
    share/applications/org.jackwell.Jackwell.desktop
    share/metainfo/org.jackwell.Jackwell.metainfo.xml
    share/icons/hicolor/scalable/apps/jackwell.svg
    share/icons/hicolor/16x16/apps/jackwell.png
    share/icons/hicolor/22x22/apps/jackwell.png
    share/icons/hicolor/32x32/apps/jackwell.png
    share/icons/hicolor/48x48/apps/jackwell.png
    share/icons/hicolor/64x64/apps/jackwell.png
    share/icons/hicolor/128x128/apps/jackwell.png
    share/icons/hicolor/256x256/apps/jackwell.png
    share/jackwell/sounds/beep.wav
    share/jackwell/sounds/win.wav
    share/jackwell/sounds/lose.wav
    share/man/man6/jackwell.6.gz
    share/man/man8/jackwell-keeper.8.gz
    share/doc/jackwell/keeper.txt.example
    share/doc/jackwell/copyright
    share/doc/jackwell/changelog.gz
    lib/systemd/system/jackwell-keeper.service
    etc/logrotate.d/jackwell-keeper
)

failures=0

pass() { echo "ok:   $*"; }
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
skip() { echo "skip: $*"; }

# check DESCRIPTION COMMAND...: runs the command, passes when it succeeds.
check() {
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

# The width and height of a PNG file, from its header.
png_size() {
    local bytes
    bytes=$(od -An -tu1 -j16 -N8 "$1" | tr -s ' \n' ' ')
    read -r w1 w2 w3 w4 h1 h2 h3 h4 <<<"$bytes"
    echo "$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))x$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))"
}

is_png() { [ "$(od -An -c -j1 -N3 "$1" | tr -d ' ')" = "PNG" ]; }

finish() {
    if [ "$failures" -gt 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}

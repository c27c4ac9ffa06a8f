#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a player and a system get: every
# file in place, the icon at each size, the desktop entry, the metainfo, the systemd unit and the
# man pages valid, both programs answering --version, and the card keeping its options in the
# player's configuration folder when its own folder is an installed or a read-only one, and
# beside itself in a folder of its own that it can write.
#
#   install_test.sh BUILD_DIR VERSION
set -uo pipefail

build=${1:?usage: install_test.sh BUILD_DIR VERSION}
version=${2:?usage: install_test.sh BUILD_DIR VERSION}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/checks.sh"

work=$(mktemp -d)
cleanup() {
    chmod -R u+w "$work" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work" # another user runs a card from here below

prefix=/usr/local
destdir=$work/destdir
root=$destdir$prefix
if ! DESTDIR=$destdir cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log" >&2
    fail "cmake --install"
    finish
fi

# Every file in place, nothing else beside them.
for file in "${installed_files[@]}"; do
    check "installed $file" test -f "$root/$file"
done
for program in games/jackwell bin/jackwell-keeper; do
    check "$program is executable" test -x "$root/$program"
done
expected=$(printf '%s\n' "${installed_files[@]}" | sort)
actual=$(cd "$root" && find . -type f | sed 's|^\./||' | sort)
check "no file beyond the expected ones" test "$expected" = "$actual"

# The icon: drawn at each size of the theme, and the scalable source.
for size in 16 22 32 48 64 128 256; do
    png=$root/share/icons/hicolor/${size}x${size}/apps/jackwell.png
    check "icon ${size}x${size} is a PNG" is_png "$png"
    check "icon ${size}x${size} has that size" test "$(png_size "$png")" = "${size}x${size}"
done
check "the scalable icon is the SVG source" \
    cmp -s "$root/share/icons/hicolor/scalable/apps/jackwell.svg" "$here/../../assets/icon.svg"

# The desktop entry starts the installed card with the installed icon; the metainfo names the
# entry and this version.
desktop=$root/share/applications/org.jackwell.Jackwell.desktop
metainfo=$root/share/metainfo/org.jackwell.Jackwell.metainfo.xml
entry() { sed -n "s/^$1=//p" "$desktop"; }
check "the desktop entry runs jackwell" test -x "$root/games/$(entry Exec)"
check "the desktop entry's icon is installed" \
    test -f "$root/share/icons/hicolor/scalable/apps/$(entry Icon).svg"
check "the desktop entry is in the games menu" grep -q '^Categories=Game;' "$desktop"
check "the metainfo launches the desktop entry" \
    grep -q '<launchable type="desktop-id">org.jackwell.Jackwell.desktop</launchable>' "$metainfo"
check "the metainfo lists release $version" grep -q "<release version=\"$version\"" "$metainfo"
check "the metainfo rates its content" grep -q '<content_rating type="oars-1.1">' "$metainfo"

if command -v desktop-file-validate >/dev/null; then
    check "desktop-file-validate" desktop-file-validate "$desktop"
else
    skip "desktop-file-validate is not installed (desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
    check "appstreamcli validate" appstreamcli validate --no-net "$metainfo"
else
    skip "appstreamcli is not installed (appstream)"
fi

# The unit: valid, pointing at the installed robot, never enabled by the install.
unit=$root/lib/systemd/system/jackwell-keeper.service
check "the unit starts the installed robot" \
    grep -qx "ExecStart=$prefix/bin/jackwell-keeper %d/keeper.txt" "$unit"
for setting in DynamicUser=yes StateDirectory=jackwell-keeper Restart=on-failure \
    'ExecReload=/bin/kill -HUP $MAINPID' LogsDirectory=jackwell-keeper \
    ProtectSystem=strict ProtectHome=yes NoNewPrivileges=yes PrivateTmp=yes \
    'RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX' \
    'LoadCredential=keeper.txt:/etc/jackwell/keeper.txt'; do
    check "the unit has $setting" grep -qx "$setting" "$unit"
done
check "the install enables nothing" test -z "$(find "$destdir" -path '*.wants*')"
if command -v systemd-analyze >/dev/null; then
    # The unit's ExecReload= runs the system's kill, which a bare install does not hold.
    mkdir -p "$destdir/bin" && cp /bin/kill "$destdir/bin/"
    check "systemd-analyze verify" systemd-analyze verify --root="$destdir" --man=no \
        --recursive-errors=no "$prefix/lib/systemd/system/jackwell-keeper.service"
else
    skip "systemd-analyze is not installed (systemd)"
fi

# The log rule rotates the robot's log files, tried on a folder of its own in place of the unit's.
if command -v logrotate >/dev/null; then
    logs=$(mktemp -d)
    sed "s#/var/log/jackwell-keeper#$logs#" "$root/etc/logrotate.d/jackwell-keeper" >"$logs/rule"
    echo "a line" >"$logs/keeper.log"
    logrotate -f -s "$logs/state" "$logs/rule" 2>"$logs/said"
    check "logrotate takes the rule without a word" test ! -s "$logs/said"
    check "logrotate moves the log file aside" test -s "$logs/keeper.log.1" -a ! -e "$logs/keeper.log"
    rm -rf "$logs"
else
    skip "logrotate is not installed (logrotate)"
fi

# The man pages format without a warning and name the files in use.
for page in man6/jackwell.6.gz man8/jackwell-keeper.8.gz; do
    if command -v groff >/dev/null; then
        warnings=$(zcat "$root/share/man/$page" | groff -man -ww -z 2>&1)
        check "$page formats without warnings${warnings:+: $warnings}" test -z "$warnings"
    else
        skip "groff is not installed (groff-base): $page not formatted"
    fi
    check "$page names this version" zgrep -q "Jackwell $version" "$root/share/man/$page"
done
check "jackwell.6 names Settings.txt" zgrep -q 'Jackwell/Settings.txt' "$root/share/man/man6/jackwell.6.gz"
check "jackwell-keeper.8 names the configuration" \
    zgrep -q '/etc/jackwell/keeper.txt' "$root/share/man/man8/jackwell-keeper.8.gz"

# Both installed programs tell their version, the card without any display.
check "jackwell --version" test "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    "$root/games/jackwell" --version)" = "jackwell $version"
check "jackwell-keeper --version" \
    test "$("$root/bin/jackwell-keeper" --version)" = "jackwell-keeper $version"

# --- The card's files -------------------------------------------------------------------------

# Waits until the card at pid catches SIGTERM (it is up, its options read), then stops it as a
# logout would and waits for it to end; prints its exit status. Until the card's executable
# runs, pid is still the shell that starts it, whose signals say nothing.
stop_card() {
    local pid=$1 exe mask tries=0
    exe=$(readlink -f "$2")
    while kill -0 "$pid" 2>/dev/null; do
        mask=$(awk '/^SigCgt:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
        [ "$(readlink "/proc/$pid/exe")" = "$exe" ] && [ -n "$mask" ] &&
            (((0x$mask >> 14) & 1)) && break
        tries=$((tries + 1))
        [ "$tries" -gt 600 ] && break # a card that never comes up fails below
        sleep 0.1
    done
    kill -TERM "$pid" 2>/dev/null
    (sleep 60 && kill -KILL "$pid") >/dev/null 2>&1 & # a card that hangs in shutdown
    local guard=$!
    wait "$pid"
    local status=$?
    kill "$guard" 2>/dev/null
    wait "$guard" 2>/dev/null
    echo "$status"
}

# run_card EXECUTABLE HOME [USER]: runs the card offscreen with that home until stopped; prints
# its exit status.
run_card() {
    local exe=$1 home=$2 user=${3:-}
    local as=()
    [ -n "$user" ] && as=(setpriv --reuid="$user" --regid="$(id -gn "$user")" --clear-groups)
    "${as[@]}" env -u XDG_CONFIG_HOME HOME="$home" QT_QPA_PLATFORM=offscreen \
        QT_LOGGING_RULES='qt.multimedia*=false' "$exe" >"$work/card.log" 2>&1 &
    stop_card $! "$exe"
}

canonical_settings=$'Text1\r\n/home/player/sounds/win.wav\r\nText2\r\n\r\nCheck1\r\n 0 \r\nCheck2\r\n 1 \r\nCheck3\r\n 0 \r\n'

# The installed card, its folder read-only: the options go to ~/.config/Jackwell at exit and
# are read from there on the next run.
home=$work/home
mkdir -p "$home"
chmod -R a-w "$destdir"
help=$(HOME=$home env -u XDG_CONFIG_HOME "$root/games/jackwell" --help)
check "--help names the installed card's Settings.txt" \
    grep -qF "$home/.config/Jackwell/Settings.txt" <<<"$help"
check "--help names the installed sounds" grep -qF "$root/share/jackwell/sounds" <<<"$help"

status=$(run_card "$root/games/jackwell" "$home")
check "the installed card ends well on SIGTERM (status $status)" test "$status" = 0
settings=$home/.config/Jackwell/Settings.txt
check "the installed card wrote ~/.config/Jackwell/Settings.txt" test -f "$settings"
check "... with the options' ten lines" test "$(wc -l <"$settings")" = 10 -a \
    "$(head -n 1 "$settings")" = $'Text1\r'
check "... and nothing beside the executable" test ! -e "$root/games/Settings.txt"

printf '%s' "$canonical_settings" >"$work/canonical.txt"
cp "$work/canonical.txt" "$settings"
status=$(run_card "$root/games/jackwell" "$home")
check "the installed card runs again (status $status)" test "$status" = 0
check "the options survive the next run" cmp -s "$settings" "$work/canonical.txt"
[ "$failures" -gt 0 ] && cat "$work/card.log" >&2

# A card in a writable folder of its own, as in the build tree: the options beside it.
own=$work/own
mkdir -p "$own" "$work/home-own"
cp "$build/jackwell" "$own/"
status=$(run_card "$own/jackwell" "$work/home-own")
check "a card in its own folder ends well (status $status)" test "$status" = 0
check "... and writes Settings.txt beside itself" test -f "$own/Settings.txt"
check "... not in the configuration folder" test ! -e "$work/home-own/.config/Jackwell/Settings.txt"

# A card in a folder of its own that the player cannot write: the configuration folder. Root
# writes anywhere, so as root the card runs as nobody.
user=
if [ "$(id -u)" -eq 0 ]; then
    if id nobody >/dev/null 2>&1 && command -v setpriv >/dev/null; then
        user=nobody
    else
        user=-
    fi
fi
if [ "$user" = - ]; then
    skip "no unprivileged user to run a card in a read-only folder"
else
    readonly_dir=$work/readonly
    mkdir -p "$readonly_dir" "$work/home-ro"
    cp "$build/jackwell" "$readonly_dir/"
    chmod 555 "$readonly_dir"
    [ -n "$user" ] && chown "$user" "$work/home-ro"
    status=$(run_card "$readonly_dir/jackwell" "$work/home-ro" "$user")
    check "a card in a read-only folder ends well (status $status)" test "$status" = 0
    check "... and writes ~/.config/Jackwell/Settings.txt" \
        test -f "$work/home-ro/.config/Jackwell/Settings.txt"
fi

finish

#!/usr/bin/env bash
# The card and the chat window as a window manager frames them, on a real X server: the chat
# stands beside the card (below it on a narrow screen), the pair in the middle of the screen,
# their frames (title bars and borders included) never overlap and lie wholly on the screen;
# once placed, the windows are the player's to move, over each other if they like. Tried on a
# wide screen with openbox's own theme, on a narrow one with title bars far taller than the
# program guesses before the window manager has framed the windows, and on one just wide enough
# for the pair with the guessed frames, whose real borders are wider.
# Usage: window_frames_test.sh JACKWELL
set -euo pipefail
jackwell=$1
source "$(dirname "$0")/openbox_desktop.sh" xwininfo xprop
mkdir -p "$home/.themes/Wide/openbox-3"
sed 's/^border.width:.*/border.width: 8/' /usr/share/themes/Clearlooks/openbox-3/themerc \
    >"$home/.themes/Wide/openbox-3/themerc"
cat >"$home/wide-borders.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc"><theme><name>Wide</name></theme></openbox_config>
EOF
cat >"$home/tall-titles.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme>
    <font place="ActiveWindow"><size>40</size></font>
    <font place="InactiveWindow"><size>40</size></font>
  </theme>
</openbox_config>
EOF

# On a screen of $1 with openbox's options $2 (or none): prints "left top right bottom" of the
# card's frame, the chat's, the chat's once the player has dragged it over the card, then the
# screen's "width height". Each screen starts with no places remembered.
frames() {
    XDG_CONFIG_HOME=$home/config-$1 XDG_DATA_HOME=$home/data-$1 xvfb-run -a -s "-screen 0 $1x24" bash -c '
    openbox ${1:+--config-file "$1"} >/dev/null 2>&1 & wm=$!
    timeout 20 xdotool search --sync --name "^Openbox\$" >/dev/null # managing the screen
    "$0" 2>>"$HOME/stderr" & pid=$!
    trap "kill -TERM $pid $wm 2>/dev/null; wait $pid || true" EXIT
    card=$(timeout 20 xdotool search --sync --onlyvisible --name "Jackwell\$" | head -1)
    chat=$(timeout 20 xdotool search --sync --onlyvisible --name "^Chat\$" | head -1)
    sleep 3 # the window manager frames both, and the program places them again if it must
    frame() {
        read -r l r t b < <(xprop -id "$1" _NET_FRAME_EXTENTS | tr -d , | cut -d= -f2)
        read -r x y w h < <(xwininfo -id "$1" |
            awk "/Absolute upper-left X/{x=\$4} /Absolute upper-left Y/{y=\$4}
                 /^ *Width/{w=\$2} /^ *Height/{h=\$2} END{print x, y, w, h}")
        echo $((x - l)) $((y - t)) $((x + w + r)) $((y + h + b))
    }
    frame "$card" && frame "$chat"
    read -r x y _ < <(frame "$card")
    xdotool windowmove "$chat" $((x + 40)) $((y + 40)) && sleep 1.5 && frame "$chat"
    xwininfo -root | awk "/^ *Width/{w=\$2} /^ *Height/{h=\$2} END{print w, h}"' "$jackwell" "$2"
}

fail() { echo "FAIL: $1 ($where)"; exit 1; }
for arrangement in "1024x768" "480x1300 $home/tall-titles.xml" "690x900 $home/wide-borders.xml"; do
    read -r size options <<<"$arrangement"
    mapfile -t seen < <(frames "$size" "$options")
    read -r cl ct cr cb <<<"${seen[0]}"
    read -r hl ht hr hb <<<"${seen[1]}"
    read -r dl dt _ <<<"${seen[2]}"
    read -r sw sh <<<"${seen[3]}"
    where="card $cl,$ct-$cr,$cb chat $hl,$ht-$hr,$hb on $sw x $sh"
    ((cl >= 0 && ct >= 0 && hl >= 0 && ht >= 0)) || fail "a frame starts off the screen"
    ((cr <= sw && hr <= sw && cb <= sh && hb <= sh)) || fail "a frame ends off the screen"
    ((cr <= hl || cb <= ht)) || fail "the chat does not stand beside the card, clear of it"
    # Side by side on a first run, the pair stands in the middle (within a guessed border).
    ((cb <= ht || (cl - (sw - hr) <= 16 && sw - hr - cl <= 16))) || fail "the pair is off-centre"
    ((dl < cr && dt < cb)) || fail "the chat dragged over the card was moved away (to $dl,$dt)"
    echo "framed: $where; dragged over the card, the chat stays at $dl,$dt"
done

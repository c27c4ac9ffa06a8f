#!/usr/bin/env bash
# The scripted games of `make demo` as the player sees them: every picture the demo saves (the
# card through a game, the card beside the chat window at one and at twice the scale, docked as
# a Wayland desktop shows them, with the help in the chat's place, the statistics, the pay
# table, the options and the help), the chat text and what it prints, the same to the byte as
# when they were last looked at. The demo runs on a virtual clock from a fixed seed, so a
# difference is a change in what the player sees; it is named, and the new pictures are kept to
# be looked at. Once they have been, JACKWELL_APPROVE=1 takes them as the new standard.
# Usage: demo_approval_test.sh JACKWELL_DEMO
set -euo pipefail
demo=$1 approved=$(dirname "$0")/demo
out=$(mktemp -d -t jackwell-demo.XXXXXX)
QT_QPA_PLATFORM=offscreen HOME=$out XDG_CONFIG_HOME=$out/config XDG_DATA_HOME=$out/data \
    "$demo" "$out/demo" | sed "s|$out/demo|DEMO|g" >"$out/printed.txt"
(cd "$out/demo" && sha256sum -- *.png) >"$out/pictures.sha256"
cp "$out/demo/chat-log.txt" "$out/chat-log.txt"
if [ "${JACKWELL_APPROVE:-}" = 1 ]; then
    cp "$out/printed.txt" "$out/chat-log.txt" "$out/pictures.sha256" "$approved/"
    echo "approved: the pictures are in $out/demo"
    exit 0
fi
changed=0
for file in printed.txt chat-log.txt pictures.sha256; do
    if ! diff -u "$approved/$file" "$out/$file"; then changed=1; fi
done
if [ $changed = 1 ]; then
    echo "FAIL: the demo shows something else; its pictures are in $out/demo"
    exit 1
fi
rm -rf "$out"
echo "the demo shows what was approved: $(wc -l <"$approved/pictures.sha256") pictures, the chat text and the printout"

#!/usr/bin/python3
"""The real card as a screen reader finds it on the accessibility bus (AT-SPI), on the virtual
display xvfb-run gives it: every button named and pressable, the figures and reels named with
what they show. A game played by pressing the buttons through the bus shows that the names follow
the card and that a listener hears them change.

    xvfb-run -a accessibility_test.py JACKWELL

The session bus (its own configuration) and the accessibility bus are this test's own, stopped
by their ids. Exits 77 when the accessibility bus cannot start at all."""
import atexit
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
jackwell = os.path.abspath(sys.argv[1])
work = tempfile.mkdtemp(prefix="jackwell-a11y-")
started = []  # processes to stop, last started first
failures = []


def start(argv, **kwargs):
    process = subprocess.Popen(argv, **kwargs)
    started.append(process)
    return process


def stop_all():
    while started:
        process = started.pop()
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
    subprocess.run(["rm", "-rf", work])


atexit.register(stop_all)  # also when a check ends the test with an exception


def out_of_time(*_):
    print("FAIL: out of time: a bus or the card stopped answering")
    stop_all()
    os._exit(1)


signal.signal(signal.SIGALRM, out_of_time)
signal.alarm(100)


def check(what, ok, seen=""):
    print(("ok:   " if ok else "FAIL: ") + what + ("" if ok else f" (saw {seen!r})"))
    if not ok:
        failures.append(what)


def skip(reason):
    print("skip: " + reason)
    stop_all()
    sys.exit(SKIP)


def wait_for(what, probe, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if "pump" in globals():
            pump()
        found = probe()
        if found:
            return found
        time.sleep(0.1)
    return None


def bring_up_buses():
    if not os.environ.get("DISPLAY"):
        print("FAIL: no display: run this under xvfb-run")
        sys.exit(1)
    config = os.path.join(work, "session.conf")
    with open(config, "w") as out:
        out.write(f"""<busconfig><type>session</type><listen>unix:dir={work}</listen>
<policy context="default"><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>""")
    bus = start(["dbus-daemon", "--config-file=" + config, "--nofork", "--print-address"],
                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    os.environ.update(DBUS_SESSION_BUS_ADDRESS=bus.stdout.readline().strip(),
                      HOME=work, XDG_RUNTIME_DIR=work, XDG_CONFIG_HOME=work + "/config",
                      XDG_DATA_HOME=work + "/data")
    os.environ.pop("WAYLAND_DISPLAY", None)
    launcher = "/usr/libexec/at-spi-bus-launcher"
    if not os.access(launcher, os.X_OK):
        skip(f"{launcher} is missing (at-spi2-core): no accessibility bus")
    start([launcher, "--launch-immediately"], stderr=subprocess.DEVNULL)
    ask = ["dbus-send", "--session", "--print-reply=literal", "--dest=org.a11y.Bus",
           "/org/a11y/bus", "org.a11y.Bus.GetAddress"]
    answer = wait_for("the accessibility bus", lambda: subprocess.run(
        ask, capture_output=True, text=True, timeout=10).returncode == 0)
    if not answer:
        skip("the accessibility bus did not start: " + subprocess.run(
            ask, capture_output=True, text=True, timeout=10).stderr.strip())


bring_up_buses()
try:
    import pyatspi
    from gi.repository import GLib
except ImportError as error:
    print(f"FAIL: {error}: run scripts/install-deps.sh (python3-pyatspi) and Debian's python3")
    stop_all()
    sys.exit(1)


def pump():
    while GLib.MainContext.default().iteration(False):
        pass


heard = []  # accessible names announced as changed
pyatspi.Registry.registerEventListener(lambda event: heard.append(event.source.name),
                                       "object:property-change:accessible-name")
program_log = os.path.join(work, "jackwell.log")  # what the program said, told on a failure
program = start([jackwell], env=dict(os.environ, QT_QPA_PLATFORM="xcb",
                                     QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                                     QT_LOGGING_RULES="qt.multimedia*=false"),
                stderr=open(program_log, "w"))


def find(root, test):
    if test(root):
        return root
    for i in range(root.childCount):
        child = root.getChildAtIndex(i)
        found = child and find(child, test)
        if found:
            return found
    return None


def card_on_bus():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app and app.name == "Jackwell":
            return find(app, lambda o: o.name == "Jackwell card")
    return None


def objects(role):
    return [card.getChildAtIndex(i) for i in range(card.childCount)
            if card.getChildAtIndex(i).getRoleName() == role]


def showing(accessible):
    return accessible.getState().contains(pyatspi.STATE_SHOWING)


def named(pattern):
    return [o.name for o in objects("label") + objects("filler") if re.fullmatch(pattern, o.name)]


def press(name):
    button = next(o for o in objects("push button") if o.name == name)
    button.queryAction().doAction(0)


card = wait_for("the card", card_on_bus)
if not card:
    print("FAIL: the card never showed on the accessibility bus; the program "
          + ("was still running" if program.poll() is None else f"ended with {program.returncode}")
          + ", and said:\n" + open(program_log).read()[-2000:])
    stop_all()
    sys.exit(1)

# Every button: a name that says what it is (not a design name) and a press action.
buttons = objects("push button")
check("the card's twelve buttons are on the bus", len(buttons) >= 12, len(buttons))
for button in buttons:
    actions = button.queryAction()
    check(f"{button.name!r} is named for the player", not re.fullmatch(
        r"(Label|Command|Text|Picture)\d*|", button.name), button.name)
    check(f"{button.name!r} can be pressed",
          [actions.getName(i) for i in range(actions.nActions)] == ["Press"])

# The figures and the reels, each read with what it shows.
for pattern in [r"Credits: 0", r"Tokens: \(0\)", r"One game: Free Game",
                r"(First|Final) draw, (left|middle|right) reel: 0"]:
    check(f"a figure reads {pattern}", named(pattern), [o.name for o in objects("label")])
for reel in ["Left", "Middle", "Right"]:
    shown = [o.name for o in objects("filler") if o.name.startswith(reel) and showing(o)]
    check(f"the {reel.lower()} reel reads its symbol", re.fullmatch(
        reel + r" reel: [a-z ]+", " ".join(shown)), shown)

# The notice waits hidden until holds cannot be sent; it says why when it shows.
notice = [o for o in objects("label") if "machinekeeper never got" in o.description]
check("the HOLDS NOT SENT notice is on the bus, hidden",
      len(notice) == 1 and not showing(notice[0]))

# The chat window beside the card: how the link stands, the chat's text and the line to say
# things, each found by its name.
def below(root):
    yield root
    for i in range(root.childCount):
        child = root.getChildAtIndex(i)
        if child:
            yield from below(child)


chat = {o.name: o for o in below(card.parent) if o.name in ("Chat link", "Chat text", "Say")}
check("the chat window's link, text and say line are named",
      sorted(chat) == ["Chat link", "Chat text", "Say"], sorted(chat))
check("the chat link reads how the link stands",
      "Chat link" in chat and chat["Chat link"].description == "Embedded world",
      "Chat link" in chat and chat["Chat link"].description)

# A game played through the bus: the reels and the figures read what the card now shows, and a
# listener (a screen reader) hears each change.
press("GET HOST button")
name_box = next(o for o in objects("text") if o.name == "Machinekeeper's name")
check("GET HOST fills the machinekeeper's name",
      wait_for("the name", lambda: name_box.queryText().getText(0, -1)))
press("REGISTER button")
time.sleep(1)
press("START button")
check("after START the first draw reads on the bus",
      wait_for("the first draw", lambda: len(named(r"First draw, .* reel: [1-9][0-9]*")) == 3))
for reel in ["Left", "Middle", "Right"]:
    check(f"a listener hears the {reel.lower()} reel change", wait_for(
        "the reel", lambda: [n for n in heard if n.startswith(reel + " reel: ")], 5), heard)
reels = " / ".join(o.name for o in objects("filler") if showing(o) and o.name)
check("each reel reads the one symbol on top", re.fullmatch(
    r"Left reel: [a-z ]+ / Middle reel: [a-z ]+ / Right reel: [a-z ]+", reels), reels)
press("HOLD, left reel button")
check("a held reel's button says so", wait_for("the hold", lambda: [
    o for o in objects("push button") if o.name == "HOLD, left reel button, held"], 5))
# What assistive technology writes into the name box stays there as the card goes on.
name_box.queryEditableText().setTextContents("Rivet, I hope")
press("HOLD, middle reel button")
press("HOLD, middle reel button, held")
check("the name box keeps what was set through the bus", wait_for(
    "the name", lambda: not [o for o in objects("push button") if o.name.endswith("middle reel button, held")], 5)
      and name_box.queryText().getText(0, -1) == "Rivet, I hope", name_box.queryText().getText(0, -1))
press("ESP HOLD button")
time.sleep(1)
press("FINISH button")
credits = wait_for("credits", lambda: named(r"Credits: [1-9][0-9]*"))
check("after FINISH the credits read the player's figure", credits, named(r"Credits: .*"))
check("a listener hears the new credits",
      credits and wait_for("credits heard", lambda: credits[0] in heard, 5), heard)
check("... and the tokens", named(r"Tokens: \([1-9][0-9]*\)"), named(r"Tokens: .*"))

stop_all()
if failures:
    print(f"{len(failures)} check(s) failed")
    sys.exit(1)
print("all checks passed")

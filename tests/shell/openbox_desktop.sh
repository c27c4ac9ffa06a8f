# Sourced by the tests that drive the real program on a virtual X display under openbox: they
# are skipped (exit 77) when a tool is missing, and the program gets a home of its own, removed
# at the end.
# Usage: source openbox_desktop.sh [MORE_TOOLS...]
for tool in xvfb-run xdotool openbox "$@"; do
    command -v "$tool" >/dev/null ||
        { echo "SKIP: $tool is missing (scripts/install-deps.sh installs it)"; exit 77; }
done
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config QT_QPA_PLATFORM=xcb

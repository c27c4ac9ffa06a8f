#!/usr/bin/env bash
# Installs what Jackwell needs to build, run and test, from Debian's packages.
# Quick when everything is already there: it only asks dpkg.
set -euo pipefail

packages=(
    cmake ninja-build ccache g++ clang libclang-rt-14-dev make pkg-config
    qt6-base-dev qt6-svg-dev qt6-multimedia-dev qcoro-qt6-dev libqt6sql6-sqlite sqlite3
    libgtest-dev libbenchmark-dev
    fonts-dejavu-core fonts-liberation2
    xvfb xauth xdotool openbox x11-utils # the real program driven on a virtual display in its tests
    ngircd openssl inspircd anope
    postgresql-15 libqt6sql6-psql libpq-dev # the robot's books on a PostgreSQL server, and its tests
    prometheus # scrapes the robot's metrics in its tests
    pulseaudio pulseaudio-utils
    desktop-file-utils appstream systemd groff-base dpkg-dev logrotate lintian # validators, make package
    qt6-wayland weston # the card on a Wayland desktop, tried on weston's headless backend
    at-spi2-core dbus-daemon python3-pyatspi # the card read through the accessibility bus
)
if [ "${1:-}" = "--extra" ]; then
    shift
    packages+=("$@")
fi

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null || true)
    [ "${status:0:2}" = "ii" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run this as root, or install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
# Never let a package's install script start a system service (ngircd would
# otherwise listen on every address).
if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
    chmod +x /usr/sbin/policy-rc.d
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

#!/usr/bin/env bash
# Packs the build as the Debian package and reads it back: its name and version, the libraries
# and Qt plugins it depends on, and the same files as an install, under /usr.
#
#   deb_package_test.sh BUILD_DIR VERSION
set -uo pipefail

build=${1:?usage: deb_package_test.sh BUILD_DIR VERSION}
version=${2:?usage: deb_package_test.sh BUILD_DIR VERSION}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/checks.sh"

for tool in dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is missing: run scripts/install-deps.sh (dpkg-dev)" >&2
        exit 1
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
arch=$(dpkg --print-architecture)
deb=$work/jackwell_${version}_${arch}.deb
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    [ ! -f "$deb" ]; then
    cat "$work/cpack.log" >&2
    fail "cpack made $(basename "$deb")"
    finish
fi
pass "cpack made $(basename "$deb")"

field() { dpkg-deb --field "$deb" "$1"; }
check "Package: jackwell" test "$(field Package)" = jackwell
check "Version: $version" test "$(field Version)" = "$version"
check "Architecture: $arch" test "$(field Architecture)" = "$arch"
check "Section: games" test "$(field Section)" = games
depends=$(field Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//') # the package names alone
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6multimedia6 libqt6network6 \
    libqt6sql6 libqt6svg6 libc6 libstdc++6 qt6-qpa-plugins libqt6sql6-sqlite; do
    check "depends on $package" grep -qxF "$package" <<<"$depends"
done
check "no maintainer scripts" test -z "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t |
    grep -E 'preinst|postinst|prerm|postrm')"
dpkg-deb --info "$deb"

contents=$(dpkg-deb --contents "$deb" | awk '{ print $6 }' | grep -v '/$' | sed 's|^\./usr/||; s|^\./etc/|etc/|' | sort)
expected=$(printf '%s\n' "${installed_files[@]}" | sort)
check "the package holds exactly the installed files under /usr and /etc" test "$contents" = "$expected"
[ "$contents" = "$expected" ] || diff <(echo "$expected") <(echo "$contents") >&2

unit=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/system/jackwell-keeper.service)
check "the packaged unit starts /usr/bin/jackwell-keeper" \
    grep -qx 'ExecStart=/usr/bin/jackwell-keeper %d/keeper.txt' <<<"$unit"

finish

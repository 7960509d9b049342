#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the two Debian packages of a finished build into a temporary folder and checks them.
# zaplo (the desktop program): its files and where they go, its dependencies, the menu entry
# (desktop-file-validate), the AppStream description (appstreamcli validate) and the icon sizes.
# zaplo-server (the headless server): its files, that it depends on Qt Core and Network only,
# its settings file kept as a conffile, and its systemd unit (systemd-analyze verify).
# Both: lintian passes them without an error or a warning, each has its copyright file and a
# changelog whose newest entry is the package's version, and that version is the one that
# --version, the manual pages and the AppStream description give.
#   check_package.sh <build folder>
set -euo pipefail
build="$(cd "$1" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

(cd "$build" && timeout 300 cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work") \
    >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }

# check_files <deb> <expected list>: the package's files (not folders), sorted.
check_files() {
    local files
    files="$(dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}' | sort)"
    echo "$files"
    [ "$files" = "$(sort <<<"$2")" ] || fail "$(basename "$1") holds other files than expected:
$(diff <(sort <<<"$2") <(echo "$files") || true)"
}
# depends_of <deb>: the package names in Depends, one per line.
depends_of() { dpkg-deb -f "$1" Depends | tr ',' '\n' | awk '{print $1}' | sort; }

# check_docs <unpacked root> <package> <version>: the copyright file in Debian's machine-readable
# format under the project's licence, and the changelog opening with this version.
check_docs() {
    local doc="$1/usr/share/doc/$2"
    head -n 1 "$doc/copyright" |
        grep -qxF 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        fail "$2's copyright file is not in the machine-readable format"
    grep -qxF 'License: Expat' "$doc/copyright" || fail "$2's copyright file names no MIT licence"
    grep -q '^Copyright: 2026 The Zaplo developers$' "$doc/copyright" ||
        fail "$2's copyright file names another holder"
    local top
    top="$(zcat "$doc/changelog.gz" | head -n 1)"
    [ "$top" = "$2 ($3) unstable; urgency=medium" ] || fail "$2's changelog opens with '$top'"
}
# check_man <page.1.gz> <version>: the manual page's title line names this version.
check_man() {
    gzip -t "$1" || fail "$(basename "$1") is no gzip file"
    zcat "$1" | head -n 1 | grep -qF "\"Zaplo $2\"" ||
        fail "$(basename "$1") names another version: $(zcat "$1" | head -n 1)"
}

# Every error and warning fails; info tags are only shown. Overrides, each with its reason, are
# in the packages themselves.
# Without man (package man-db) lintian cannot check the manual pages and gives up on the package.
command -v man >/dev/null || fail "lintian needs man (package man-db)"
out="$(lintian --fail-on error,warning --display-info "$work"/*.deb 2>&1)" || fail "lintian:
$out"
out="$(grep -v '^running with root privileges' <<<"$out" || true)"
echo "lintian: ${out:-no tags}"

deb="$(ls "$work"/zaplo_*.deb)"
version="$(dpkg-deb -f "$deb" Version)"
echo "== $(basename "$deb"), version $version"
check_files "$deb" "./usr/bin/zaplo
./usr/share/applications/org.zaplo.zaplo.desktop
./usr/share/doc/zaplo/changelog.gz
./usr/share/doc/zaplo/copyright
./usr/share/icons/hicolor/128x128/apps/zaplo.png
./usr/share/icons/hicolor/256x256/apps/zaplo.png
./usr/share/icons/hicolor/32x32/apps/zaplo.png
./usr/share/icons/hicolor/64x64/apps/zaplo.png
./usr/share/man/man1/zaplo.1.gz
./usr/share/metainfo/org.zaplo.zaplo.metainfo.xml"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
for dep in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 qt6-qpa-plugins; do
    depends_of "$deb" | grep -qxF "$dep" || fail "zaplo's Depends lacks $dep"
done

dpkg-deb -x "$deb" "$work/root"
share="$work/root/usr/share"
desktop="$share/applications/org.zaplo.zaplo.desktop"
out="$(desktop-file-validate "$desktop" 2>&1)" || fail "desktop-file-validate: $out"
grep -Eiq 'error|warning' <<<"$out" && fail "desktop-file-validate: $out"
metainfo="$share/metainfo/org.zaplo.zaplo.metainfo.xml"
# Pedantic: not even a hint may remain.
out="$(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1)" ||
    fail "appstreamcli validate: $out"
grep -Eq '^[EWIP]: ' <<<"$out" && fail "appstreamcli validate --pedantic: $out"
grep -q '<project_license>MIT</project_license>' "$metainfo" || fail "the metainfo names no MIT"
first_release="$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1)"
[ "$first_release" = "<release version=\"$version\"" ] ||
    fail "the metainfo's newest release is $first_release, the package $version"
grep -q '^Exec=zaplo$' "$desktop" || fail "Exec is not zaplo"
grep -q '^Icon=zaplo$' "$desktop" || fail "Icon is not zaplo"
for size in 32 64 128 256; do
    got="$(identify -format '%wx%h' "$share/icons/hicolor/${size}x${size}/apps/zaplo.png")"
    [ "$got" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $got"
done
readelf -S "$work/root/usr/bin/zaplo" | grep -q '\.symtab' && fail "zaplo is not stripped"
check_man "$share/man/man1/zaplo.1.gz" "$version"
check_docs "$work/root" zaplo "$version"
# Without a display: --version is answered before the window system is reached.
out="$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$work/root/usr/bin/zaplo" --version \
    2>&1)" || fail "zaplo --version: $out"
[ "$out" = "zaplo $version" ] || fail "the packaged zaplo --version prints '$out'"

deb="$(ls "$work"/zaplo-server_*.deb)"
echo "== $(basename "$deb")"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the two packages' versions differ"
check_files "$deb" "./etc/default/zaplo-server
./usr/bin/zaplo-server
./usr/lib/systemd/system/zaplo-server.service
./usr/share/doc/zaplo-server/changelog.gz
./usr/share/doc/zaplo-server/copyright
./usr/share/man/man1/zaplo-server.1.gz"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
# Qt Core, Network and WebSockets (the browser page), OpenSSL (TLS) and what every C++ program
# needs; nothing of a desktop.
expected="$(printf '%s\n' libc6 libgcc-s1 libqt6core6 libqt6network6 libqt6websockets6 libssl3 libstdc++6 qt6-websockets-abi | sort)"
[ "$(depends_of "$deb")" = "$expected" ] ||
    fail "zaplo-server depends on other packages than libc6, libgcc-s1, libstdc++6, libqt6core6, libqt6network6, libqt6websockets6, libssl3 and qt6-websockets-abi"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qxF /etc/default/zaplo-server ||
    fail "/etc/default/zaplo-server is not a conffile"

server="$work/server"
dpkg-deb -x "$deb" "$server"
readelf -S "$server/usr/bin/zaplo-server" | grep -q '\.symtab' && fail "zaplo-server is not stripped"
readelf -d "$server/usr/bin/zaplo-server" | grep -q 'Qt6Gui\|Qt6Widgets' &&
    fail "zaplo-server links Qt Gui or Widgets"
check_man "$server/usr/share/man/man1/zaplo-server.1.gz" "$version"
check_docs "$server" zaplo-server "$version"
out="$("$server/usr/bin/zaplo-server" --version 2>&1)" || fail "zaplo-server --version: $out"
[ "$out" = "zaplo-server $version" ] || fail "the packaged zaplo-server --version prints '$out'"
# The unit is checked inside the unpacked package, next to the system's own units (the targets
# it is ordered after and wanted by); any complaint fails, warnings included.
cp -an /lib/systemd/system/. "$server/usr/lib/systemd/system/"
out="$(systemd-analyze verify --man=no --root="$server" zaplo-server.service 2>&1)" ||
    fail "systemd-analyze verify: $out"
[ -z "$out" ] || fail "systemd-analyze verify: $out"
grep -q '^DynamicUser=yes$' "$server/usr/lib/systemd/system/zaplo-server.service" ||
    fail "the unit runs as a fixed user"
grep -q '^AmbientCapabilities=' "$server/usr/lib/systemd/system/zaplo-server.service" &&
    fail "the unit grants a capability by default"
echo "packages checked"

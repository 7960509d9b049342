#!/usr/bin/env bash
# Builds the two Debian packages of a finished build into a temporary folder and checks them.
# zaplo (the desktop program): its files and where they go, its dependencies, the menu entry
# (desktop-file-validate), the AppStream description (appstreamcli validate) and the icon sizes.
# zaplo-server (the headless server): its files, that it depends on Qt Core and Network only,
# its settings file kept as a conffile, and its systemd unit (systemd-analyze verify).
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

deb="$(ls "$work"/zaplo_*.deb)"
echo "== $(basename "$deb")"
check_files "$deb" "./usr/bin/zaplo
./usr/share/applications/org.zaplo.Zaplo.desktop
./usr/share/icons/hicolor/128x128/apps/zaplo.png
./usr/share/icons/hicolor/256x256/apps/zaplo.png
./usr/share/icons/hicolor/32x32/apps/zaplo.png
./usr/share/icons/hicolor/64x64/apps/zaplo.png
./usr/share/man/man1/zaplo.1.gz
./usr/share/metainfo/org.zaplo.Zaplo.metainfo.xml"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
for dep in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 qt6-qpa-plugins; do
    depends_of "$deb" | grep -qxF "$dep" || fail "zaplo's Depends lacks $dep"
done

dpkg-deb -x "$deb" "$work/root"
share="$work/root/usr/share"
out="$(desktop-file-validate "$share/applications/org.zaplo.Zaplo.desktop" 2>&1)" ||
    fail "desktop-file-validate: $out"
grep -Eiq 'error|warning' <<<"$out" && fail "desktop-file-validate: $out"
out="$(appstreamcli validate --no-net "$share/metainfo/org.zaplo.Zaplo.metainfo.xml" 2>&1)" ||
    fail "appstreamcli validate: $out"
grep -q '^Exec=zaplo$' "$share/applications/org.zaplo.Zaplo.desktop" || fail "Exec is not zaplo"
grep -q '^Icon=zaplo$' "$share/applications/org.zaplo.Zaplo.desktop" || fail "Icon is not zaplo"
for size in 32 64 128 256; do
    got="$(identify -format '%wx%h' "$share/icons/hicolor/${size}x${size}/apps/zaplo.png")"
    [ "$got" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $got"
done
readelf -S "$work/root/usr/bin/zaplo" | grep -q '\.symtab' && fail "zaplo is not stripped"
gzip -t "$share/man/man1/zaplo.1.gz" || fail "zaplo.1.gz is no gzip file"

deb="$(ls "$work"/zaplo-server_*.deb)"
echo "== $(basename "$deb")"
check_files "$deb" "./etc/default/zaplo-server
./usr/bin/zaplo-server
./usr/lib/systemd/system/zaplo-server.service
./usr/share/man/man1/zaplo-server.1.gz"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
# Qt Core and Network and what every C++ program needs; nothing of a desktop.
expected="$(printf '%s\n' libc6 libgcc-s1 libqt6core6 libqt6network6 libstdc++6 | sort)"
[ "$(depends_of "$deb")" = "$expected" ] ||
    fail "zaplo-server depends on other packages than libc6, libgcc-s1, libstdc++6, libqt6core6 and libqt6network6"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qxF /etc/default/zaplo-server ||
    fail "/etc/default/zaplo-server is not a conffile"

server="$work/server"
dpkg-deb -x "$deb" "$server"
readelf -S "$server/usr/bin/zaplo-server" | grep -q '\.symtab' && fail "zaplo-server is not stripped"
readelf -d "$server/usr/bin/zaplo-server" | grep -q 'Qt6Gui\|Qt6Widgets' &&
    fail "zaplo-server links Qt Gui or Widgets"
gzip -t "$server/usr/share/man/man1/zaplo-server.1.gz" || fail "zaplo-server.1.gz is no gzip file"
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

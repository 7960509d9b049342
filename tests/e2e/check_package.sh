#!/usr/bin/env bash
# Builds the Debian package of a finished build into a temporary folder and checks what a
# desktop sees of it: the files and where they go, the dependencies, the menu entry
# (desktop-file-validate), the AppStream description (appstreamcli validate) and the icon sizes.
#   check_package.sh <build folder>
set -euo pipefail
build="$(cd "$1" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

(cd "$build" && timeout 300 cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work") \
    >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb="$(ls "$work"/zaplo_*.deb)"
echo "== $(basename "$deb")"

files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)"
echo "$files"
expected="$(sort <<'LIST'
./usr/bin/zaplo
./usr/share/applications/org.zaplo.Zaplo.desktop
./usr/share/icons/hicolor/128x128/apps/zaplo.png
./usr/share/icons/hicolor/256x256/apps/zaplo.png
./usr/share/icons/hicolor/32x32/apps/zaplo.png
./usr/share/icons/hicolor/64x64/apps/zaplo.png
./usr/share/metainfo/org.zaplo.Zaplo.metainfo.xml
LIST
)"
[ "$files" = "$expected" ] || fail "the package holds other files than expected:
$(diff <(echo "$expected") <(echo "$files") || true)"

depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for dep in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 qt6-qpa-plugins; do
    tr ',' '\n' <<<"$depends" | awk '{print $1}' | grep -qxF "$dep" || fail "Depends lacks $dep"
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
readelf -S "$work/root/usr/bin/zaplo" | grep -q '\.symtab' && fail "the binary is not stripped"
echo "package checked"

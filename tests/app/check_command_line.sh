#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The program's command line without any display: help, version and mistakes are answered
# before the window system is reached (a start that reached it would abort here).
#   check_command_line.sh <zaplo> <version>
set -uo pipefail
zaplo="$1"
version="$2"
fail() { echo "FAILED: $*"; exit 1; }
run() { env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$zaplo" "$@"; }

out="$(run --help 2>&1)" || fail "--help exits $?: $out"
grep -q -- '--join <HOST\[:PORT\]>' <<<"$out" || fail "--help does not list --join: $out"
out="$(run --version 2>&1)" || fail "--version exits $?"
[ "$out" = "zaplo $version" ] || fail "--version prints '$out'"
err="$(run --host 5201 --nick "$(printf 'a\nb')" 2>&1 >/dev/null)"
status=$?
[ "$status" -eq 2 ] || fail "a nickname with a line break exits $status"
[ "$(wc -l <<<"$err")" -eq 1 ] || fail "more than one line on standard error: $err"
[ "$err" = "zaplo: --nick: the nickname must not hold a line break (see zaplo --help)" ] ||
    fail "standard error says '$err'"
run --join "example.org:99999" 2>/dev/null
status=$?
[ "$status" -eq 2 ] || fail "port 99999 exits $status"
# An empty password file is refused before any window is needed.
empty="$(mktemp)"
err="$(run --host 5201 --password-file "$empty" 2>&1 >/dev/null)"
status=$?
rm -f "$empty"
[ "$status" -eq 2 ] || fail "an empty password file exits $status"
[ "$err" = "zaplo: --password-file: $empty: the first line, the password, is empty (see zaplo --help)" ] ||
    fail "standard error says '$err'"
echo "command line checked"

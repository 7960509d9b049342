#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every tracked source file names its licence in its first line (the second after a "#!" line
# or an HTML doctype), as a comment of its own language.
#   tools/spdx.sh          lists the files without the tag and fails if there is any
#   tools/spdx.sh --add    puts the tag into the files without it
set -euo pipefail
cd "$(dirname "$0")/.."
tag='SPDX-License-Identifier: MIT'

add=0
case "${1:-}" in
    "") ;;
    --add) add=1 ;;
    *)
        echo "usage: $0 [--add]" >&2
        exit 2
        ;;
esac

# first_line <file>: its first line, without the newline.
first_line() {
    local first=""
    IFS= read -r first <"$1" || true
    printf '%s' "$first"
}

# tag_line <file>: the tag written as a comment of the file's language; nothing for a file that
# is not source or cannot hold a comment.
tag_line() {
    case "$1" in
        *.cpp | *.h | *.js) echo "// $tag" ;;
        *.css) echo "/* $tag */" ;;
        *.html) echo "<!-- $tag -->" ;;
        *.py | *.sh | *.cmake | CMakeLists.txt | */CMakeLists.txt) echo "# $tag" ;;
        *) if [[ "$(first_line "$1")" == '#!'* ]]; then echo "# $tag"; fi ;;
    esac
}

# has_preamble <file>: the first line must stay first (an interpreter line, a doctype).
has_preamble() {
    local first
    first="$(first_line "$1")"
    [[ "$first" == '#!'* || "${first,,}" == '<!doctype'* ]]
}

missing=0
other=0
while IFS= read -r -d '' file; do
    [ -f "$file" ] || continue
    line="$(tag_line "$file")"
    [ -n "$line" ] || continue
    at=1
    if has_preamble "$file"; then at=2; fi
    [ "$(sed -n "${at}p" -- "$file")" = "$line" ] && continue
    found="$(head -n "$at" -- "$file" | grep -o 'SPDX-License-Identifier:.*' || true)"
    if [ -n "$found" ]; then
        # Some other licence: never rewritten, always reported.
        echo "other licence: $file: $found"
        other=1
        continue
    fi
    if [ "$add" = 1 ]; then
        tmp="$(mktemp)"
        if [ "$at" = 2 ]; then
            { head -n 1 -- "$file"; echo "$line"; tail -n +2 -- "$file"; } >"$tmp"
        else
            { echo "$line"; cat -- "$file"; } >"$tmp"
        fi
        # Written over in place, so the file keeps its mode (scripts stay executable).
        cat "$tmp" >"$file"
        rm -f "$tmp"
        echo "tagged: $file"
    else
        echo "no licence tag: $file"
        missing=1
    fi
done < <(git ls-files -z)

if [ "$other" = 1 ] || [ "$missing" = 1 ]; then
    [ "$missing" = 1 ] && echo "add the tags with: tools/spdx.sh --add"
    exit 1
fi

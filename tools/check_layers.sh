#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fails when an include runs upward through the layers, or when Qt reaches a layer that must
# stay plain C++. Each folder lists the project folders its files may include.
set -u
top="${1:-$(dirname "$0")/..}"
cd "$top" || exit 2
status=0

check() { # folder, allowed include prefixes (regex), "noqt" to forbid Qt headers
    local dir=$1 allowed=$2 noqt=${3:-} skip=${4:-}
    while IFS= read -r hit; do
        echo "upward or sideways include: $hit"
        status=1
    done < <(grep -rHn --include='*.h' --include='*.cpp' ${skip:+--exclude-dir="$skip"} -E '^#include "' "$dir" |
             grep -v -E "#include \"($allowed)/")
    if [ "$noqt" = noqt ]; then
        while IFS= read -r hit; do
            echo "Qt in a plain C++ layer: $hit"
            status=1
        done < <(grep -rn --include='*.h' --include='*.cpp' -E '^#include <Q' "$dir")
    fi
}

check net/core 'net/core' noqt
check base 'base' noqt
check gfx 'base|gfx'
check net 'base|net' '' core
check assets 'assets'
check ui/common 'base|net/core|gfx|assets|ui/common'
check ui/connect 'base|net/core|gfx|assets|ui/common|ui/connect'
check ui/start 'base|gfx|assets|ui/common|ui/start'
check ui/main 'base|net/core|net|gfx|assets|ui/common|ui/main'
check app 'base|net/core|net|gfx|assets|ui/common|ui/connect|ui/start|ui/main|app'
check web 'base|net/core|net|web'
check server 'base|net/core|net|web|server'
check fuzz 'net/core|tests/support|fuzz' noqt
check bench/relay 'bench/relay' noqt
check bench/bot 'bench/bot' noqt
check bench/boxes 'bench/boxes' noqt
exit $status

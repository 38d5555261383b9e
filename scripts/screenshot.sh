#!/usr/bin/env bash
# Takes a screenshot of $DISPLAY once what is on screen has stopped moving, e.g. right after a
# key press has called up a readout that is still growing out of the notch.
# Usage: scripts/screenshot.sh [OUT.png]   (default /tmp/nimbra.png)
set -euo pipefail
out="${1:-/tmp/nimbra.png}"
: "${DISPLAY:?no DISPLAY}"
frame() { import -window root ppm:- 2>/dev/null | md5sum; }

# Settled: three captures in a row alike. Give up after a hundred and take what is there.
previous="$(frame)"
same=0
for _ in $(seq 100); do
    current="$(frame)"
    if [[ "$current" == "$previous" ]]; then
        same=$((same + 1))
        ((same >= 2)) && break
    else
        same=0
    fi
    previous="$current"
done
import -window root "$out"
echo "$out"

#!/usr/bin/env bash
# Takes a screenshot of $DISPLAY once the notch has stopped moving, e.g. right after a key press
# has called up a readout that is still growing out of it. Only the notch's own region (the top
# centre, as wide and tall as its largest surface) has to settle: something else that keeps
# moving on screen, such as onboarding's scenes on a first start, does not hold the picture up.
# The picture saved is the last one compared, so it shows the readout as it was when settled.
# Usage: scripts/screenshot.sh [OUT.png]   (default /tmp/nimbra.png)
set -euo pipefail
out="${1:-/tmp/nimbra.png}"
: "${DISPLAY:?no DISPLAY}"

read -r screen_width screen_height < <(xdotool getdisplaygeometry)
width=$((screen_width < 760 ? screen_width : 760))
height=$((screen_height / 4 < 260 ? screen_height / 4 : 260))
region="${width}x${height}+$(((screen_width - width) / 2))+0"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Grabs the screen as a person sees it into $work/$1.ppm and prints a checksum of the notch's
# region.
capture() {
    import -window root "$work/$1.ppm" 2>/dev/null
    convert "$work/$1.ppm" -crop "$region" ppm:- 2>/dev/null | md5sum
}

# Settled: two grabs in a row alike. Give up after sixty and take the last.
previous="$(capture a)"
last=a
for _ in $(seq 60); do
    next=$([[ "$last" == a ]] && echo b || echo a)
    current="$(capture "$next")"
    last="$next"
    [[ "$current" == "$previous" ]] && break
    previous="$current"
done
convert "$work/$last.ppm" "$out"
echo "$out"

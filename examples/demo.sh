#!/usr/bin/env bash
# Demo: compile every profile of the example files with the built zentrova
# command and inspect the images it writes; then, against a simulated
# right-hand mouse (zentrova-sim), upload one image into a slot, activate it,
# set an LED effect, read the firmware version, and show what the mouse holds.
#
#   examples/demo.sh BUILD_DIR
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
BUILD=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
ZENTROVA="$BUILD/tools/zentrova"
SIM="$BUILD/sim/zentrova-sim"
for program in "$ZENTROVA" "$SIM"; do
    if [ ! -x "$program" ]; then
        echo "$0: $program not found; build the tree first" >&2
        exit 1
    fi
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/zentrova-demo-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
echo "== working in $WORK"

count=0
for json in "$HERE"/profiles/*.json; do
    file=$(basename "$json" .json)
    echo
    echo "== $json"
    # One "HAND NAME" line per profile of the file.
    while read -r hand name; do
        image="$WORK/$file-$hand-${name// /_}.zvmp"
        echo
        echo "-- zentrova compile $(basename "$json") --hand $hand --profile \"$name\" -o $(basename "$image")"
        "$ZENTROVA" compile "$json" --hand "$hand" --profile "$name" -o "$image"
        echo "-- zentrova inspect $(basename "$image")"
        "$ZENTROVA" inspect "$image"
        count=$((count + 1))
    done < <("$ZENTROVA" profiles "$json")
done
echo
echo "== compiled and inspected $count profile images"

# The device side. Every command below is an ordinary libusb program; under
# zentrova-sim the simulated mouse is the only Zentrova mouse it sees. The
# commands report what happened themselves and write no log file.
image="$WORK/shooter-right-Sniper.zvmp"
cd "$WORK"
echo
echo "== the configurator's device job, against a simulated right-hand mouse"
"$SIM" --right --firmware 1.23 -- bash -c '
    set -euo pipefail
    zentrova=$1 image=$2
    run() { echo; echo "-- zentrova $*"; "$zentrova" "$@"; }
    run list
    run check --hand right
    run upload "$image" --slot 2 --hand right
    run activate --slot 2 --hand right
    run led --effect breathing --color 00A0FF --brightness 200 --speed 40 --hand right
    run version --hand right
    echo
    echo "== what the simulated mouse now holds"
' demo "$ZENTROVA" "$image"

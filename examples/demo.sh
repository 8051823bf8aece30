#!/usr/bin/env bash
# Demo: compile every profile of the example files with the built zentrova
# command and inspect the images it writes.
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
if [ ! -x "$ZENTROVA" ]; then
    echo "$0: $ZENTROVA not found; build the tree first" >&2
    exit 1
fi

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

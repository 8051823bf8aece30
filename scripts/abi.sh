#!/usr/bin/env bash
# abi.sh check|update LIBRARY BASELINE
#
# check:  compares LIBRARY (built with debug information) with the ABI recorded
#         in BASELINE; fails when a name of the interface went away or a type
#         it uses changed. Names that were added do not fail the check (the
#         report lists them; record them with update when the change is meant).
# update: records the ABI of LIBRARY in BASELINE.
set -euo pipefail
mode=${1:-}
lib=${2:-}
baseline=${3:-}
if [ -z "$baseline" ] || { [ "$mode" != check ] && [ "$mode" != update ]; }; then
    echo "usage: $0 check|update LIBRARY BASELINE" >&2
    exit 2
fi
for tool in abidw abidiff; do
    command -v "$tool" >/dev/null || { echo "$0: $tool not found (Debian package abigail-tools)" >&2; exit 2; }
done

dump() { # dump OUTPUT
    abidw --no-corpus-path --no-comp-dir-path --short-locs --out-file "$1" "$lib"
}

if [ "$mode" = update ]; then
    dump "$baseline"
    echo "recorded the ABI of $lib in $baseline"
    exit 0
fi

current=$(mktemp)
trap 'rm -f "$current"' EXIT
dump "$current"
# abidiff's status is a bit mask: 1 error, 2 usage error, 4 ABI change,
# 8 incompatible ABI change.
status=0
abidiff "$baseline" "$current" || status=$?
if [ $((status & 3)) -ne 0 ]; then
    echo "abidiff failed (status $status)" >&2
    exit 1
fi
if [ $((status & 8)) -ne 0 ]; then
    echo "incompatible ABI change against $baseline" >&2
    exit 1
fi
if [ $((status & 4)) -ne 0 ]; then
    # Whether anything but added names changed.
    changed=0
    abidiff --no-added-syms "$baseline" "$current" >/dev/null || changed=$?
    if [ $((changed & 12)) -ne 0 ]; then
        echo "the ABI changed against $baseline (see above)" >&2
        exit 1
    fi
    echo "ABI compatible with $baseline; names were added (record them with: ./dev.sh abi update)"
    exit 0
fi
echo "ABI unchanged against $baseline"

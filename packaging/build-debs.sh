#!/usr/bin/env bash
# build-debs.sh OUTDIR
#
# Builds the Debian packages (dpkg-buildpackage -us -uc -b, test suite
# included) from a clean copy of the tree in OUTDIR/src, so that the .deb
# files land in OUTDIR; checks them with lintian (an error fails); checks
# that apt could install them; unpacks them into OUTDIR/root and runs the
# configurator flow from there: dlopen of libzentrova.so.1, compile, upload
# to a simulated mouse.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-parallel=$(nproc 2>/dev/null || echo 2)}

rm -rf "$out/src" "$out/root" "$out/flow"
rm -f "$out"/*.deb "$out"/*.ddeb "$out"/*.changes "$out"/*.buildinfo
mkdir -p "$out/src"
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
    # The committed tree with the working tree's changes to tracked files.
    rev=$(git -C "$root" stash create)
    git -C "$root" archive "${rev:-HEAD}" | tar -x -C "$out/src"
else
    tar -C "$root" --exclude=./build -c . | tar -x -C "$out/src"
fi

echo "== dpkg-buildpackage (DEB_BUILD_OPTIONS=$DEB_BUILD_OPTIONS)"
( cd "$out/src" && dpkg-buildpackage -us -uc -b )
changes=$(ls "$out"/*.changes)

echo "== lintian"
lintian --fail-on error --display-info "$changes"

debs=()
for p in libzentrova1 libzentrova-dev zentrova zentrova-sim; do
    debs+=("$(ls "$out/${p}_"*.deb)")
done
echo "== apt-get install --simulate"
apt-get install --simulate "${debs[@]}" | grep -E '^(Inst|Conf) (libzentrova|zentrova)'

echo "== the configurator flow from the unpacked packages"
for d in "${debs[@]}"; do
    dpkg-deb -x "$d" "$out/root"
done
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=$out/root/usr/lib/$multiarch
mkdir -p "$out/flow"
export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046
c++ -std=c++17 -Wall -Wextra -o "$out/flow/configurator" "$root/tests/packaging/configurator.cpp" \
    $(pkg-config --cflags zentrova) -ldl
cd "$out/flow"
export LD_LIBRARY_PATH=$libdir
"$out/root/usr/bin/zentrova" --version
"$out/root/usr/bin/zentrova-sim" --right -- ./configurator "$root/examples/profiles/shooter.json" Sniper 2
"$out/root/usr/bin/zentrova-sim" --right --firmware 1.23 -- "$out/root/usr/bin/zentrova" version --hand right
ls "$out"/*.deb
echo "== packages ok"

#!/usr/bin/env bash
# install_and_consume.sh BUILD_DIR CONSUMER_SOURCE_DIR INSTALL_PREFIX
#
# Installs the built tree below a temporary DESTDIR, whole and one component
# at a time, and builds a consumer program that includes every installed
# header, once through pkg-config and once through find_package.
set -euo pipefail
build=$1
consumer=$2
install_prefix=$3
# The consumer's own build must not join a make jobserver ctest runs under.
unset MAKEFLAGS MFLAGS MAKELEVEL
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

DESTDIR=$work/root "$CMAKE" --install "$build" >/dev/null
prefix=$work/root$install_prefix
( cd "$work/root" && find . -type f -o -type l | sort ) > "$work/all.txt"
echo "== installed tree"
cat "$work/all.txt"

# The components split the tree: each file in exactly one, none left over.
for component in runtime development tools simulator; do
    DESTDIR=$work/$component "$CMAKE" --install "$build" --component "$component" >/dev/null
    ( cd "$work/$component" 2>/dev/null && find . -type f -o -type l ) | sed "s|\$| $component|" >> "$work/components.txt"
done
sort "$work/components.txt" -o "$work/components.txt"
if ! diff <(cut -d' ' -f1 "$work/components.txt") "$work/all.txt"; then
    echo "the components do not split the installed tree exactly"; exit 1
fi
expect() { # expect COMPONENT EXTENDED-REGEX
    grep -E "$2 $1\$" "$work/components.txt" >/dev/null || { echo "no $2 in component $1"; exit 1; }
}
expect runtime '/libzentrova\.so\.1'
expect runtime '/rules\.d/70-zentrova\.rules'
expect development '/libzentrova\.so'
expect development '/include/zentrova/version\.h'
expect development '/pkgconfig/zentrova\.pc'
expect development '/ZentrovaConfig\.cmake'
expect tools '/bin/zentrova'
for f in man/man1/zentrova.1 bash-completion/completions/zentrova zsh/vendor-completions/_zentrova fish/vendor_completions.d/zentrova.fish; do
    expect tools "/share/$f"
done
if grep -E ' runtime$' "$work/components.txt" | grep -vE '/libzentrova\.so\.1[.0-9]*|\.rules |\.metainfo\.xml '; then
    echo "the runtime component holds more than the library, its udev rule and metainfo"; exit 1
fi

libdir=$(dirname "$(find "$prefix" -name 'libzentrova.so.1.*' | head -n1)")
# The SONAME chain: libzentrova.so -> libzentrova.so.1 -> libzentrova.so.1.0.0
[ -L "$libdir/libzentrova.so" ] && [ -L "$libdir/libzentrova.so.1" ] && [ -f "$libdir/libzentrova.so.1.0.0" ]
soname=$(objdump -p "$libdir/libzentrova.so.1.0.0" | awk '/SONAME/ {print $2}')
[ "$soname" = "libzentrova.so.1" ] || { echo "SONAME is '$soname'"; exit 1; }

# The imported target names its include folder once.
includes=$(grep -h 'INTERFACE_INCLUDE_DIRECTORIES' "$libdir"/cmake/Zentrova/ZentrovaTargets.cmake)
[ "$(grep -o 'include' <<<"$includes" | wc -l)" -eq 1 ] || { echo "include folders: $includes"; exit 1; }

# One translation unit that includes every installed header.
headers=$work/all_headers.cpp
( cd "$prefix/include" && find zentrova -name '*.h' | sort | sed 's|.*|#include <&>|' ) > "$headers"
[ "$(wc -l < "$headers")" -gt 20 ] || { echo "too few headers installed"; exit 1; }

echo "== consumer through pkg-config"
export PKG_CONFIG_PATH=$libdir/pkgconfig
pkg-config --exists zentrova
# shellcheck disable=SC2046
"$CXX" -std=c++17 -Wall -Wextra -Werror -o "$work/consumer-pc" "$consumer/main.cpp" "$headers" \
    $(pkg-config --cflags --libs zentrova) -Wl,-rpath,"$libdir"
"$work/consumer-pc"

echo "== consumer through find_package"
"$CMAKE" -S "$consumer" -B "$work/consumer-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$CXX" \
    -DCONSUMER_EXTRA_SOURCES="$headers" >/dev/null
"$CMAKE" --build "$work/consumer-build" >/dev/null
"$work/consumer-build/consumer"
echo "== packaging ok"

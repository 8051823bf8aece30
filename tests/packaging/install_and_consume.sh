#!/usr/bin/env bash
# install_and_consume.sh BUILD_DIR CONSUMER_SOURCE_DIR
set -euo pipefail
build=$1
consumer=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

"$CMAKE" --install "$build" --prefix "$prefix" >/dev/null
libdir=$prefix/lib
[ -d "$prefix/lib64" ] && libdir=$prefix/lib64
[ -d "$libdir/x86_64-linux-gnu" ] && libdir=$libdir/x86_64-linux-gnu

echo "== installed tree"
( cd "$prefix" && find . -type f -o -type l | sort )

# The SONAME chain: libzentrova.so -> libzentrova.so.1 -> libzentrova.so.1.0.0
[ -L "$libdir/libzentrova.so" ] && [ -L "$libdir/libzentrova.so.1" ] && [ -f "$libdir/libzentrova.so.1.0.0" ]
soname=$(objdump -p "$libdir/libzentrova.so.1.0.0" | awk '/SONAME/ {print $2}')
[ "$soname" = "libzentrova.so.1" ] || { echo "SONAME is '$soname'"; exit 1; }

echo "== consumer through pkg-config"
export PKG_CONFIG_PATH=$libdir/pkgconfig
pkg-config --exists zentrova
# shellcheck disable=SC2046
"$CXX" -std=c++17 -o "$work/consumer-pc" "$consumer/main.cpp" $(pkg-config --cflags --libs zentrova) -Wl,-rpath,"$libdir"
"$work/consumer-pc"

echo "== consumer through find_package"
"$CMAKE" -S "$consumer" -B "$work/consumer-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$CXX" >/dev/null
"$CMAKE" --build "$work/consumer-build" >/dev/null
"$work/consumer-build/consumer"
echo "== packaging ok"

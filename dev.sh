#!/usr/bin/env bash
# Sets up a Debian 12 machine for libzentrova and runs one of its jobs:
#
#   ./dev.sh demo      build, then compile and inspect the example profiles and
#                      drive a simulated mouse with them
#   ./dev.sh test      build and run the whole test suite (the soak included)
#   ./dev.sh soak      only the soak: 10,000 operations against a simulated mouse
#                      in one process, memory and descriptors at the end as at the start
#   ./dev.sh asan      the test suite built with AddressSanitizer + UBSan
#   ./dev.sh tsan      the threaded tests built with ThreadSanitizer
#   ./dev.sh fuzz [SECONDS]   run every fuzz target (clang, ASan+UBSan)
#   ./dev.sh bench     build in Release and run the benchmarks
#   ./dev.sh abi [update]     check the library's ABI against abi/libzentrova.abi
#                      (update: record the built library's ABI there instead)
#   ./dev.sh package   build the Debian packages (test suite included) into
#                      build/deb/, check them with lintian, and run the
#                      configurator flow from their unpacked contents
#
# Each job installs the Debian packages it needs when they are missing
# (as root, or through sudo) and builds in its own folder below build/.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

# Debian packages by what needs them.
BUILD_PACKAGES=(build-essential cmake pkg-config libusb-1.0-0-dev rapidjson-dev libcli11-dev binutils)
SIM_PACKAGES=(umockdev libumockdev-dev libglib2.0-dev)
TEST_PACKAGES=(libgtest-dev libgmock-dev zlib1g-dev libssl-dev groff-base zsh fish)
BENCH_PACKAGES=(libbenchmark-dev)
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
ABI_PACKAGES=(abigail-tools)
DEB_PACKAGES=(debhelper dpkg-dev lintian udev)

# install_packages PACKAGE...
install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build DIR [cmake options...]
build() {
    local dir=$1; shift
    cmake -S "$ROOT" -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

run_ctest() {
    local dir=$1; shift
    ctest --test-dir "$dir" --output-on-failure -j "$JOBS" "$@"
}

# Sanitizer runtimes: umockdev's preload library comes before libasan in the
# link order of simulated-mouse tests; every report fails the run.
export ASAN_OPTIONS=${ASAN_OPTIONS:-verify_asan_link_order=0:detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$ROOT/tests/tsan.supp}

job=${1:-}
shift || true
case "$job" in
  demo)
    install_packages "${BUILD_PACKAGES[@]}" "${SIM_PACKAGES[@]}"
    build build/release -DCMAKE_BUILD_TYPE=Release -DZENTROVA_BUILD_TESTS=OFF -DZENTROVA_BUILD_BENCH=OFF
    exec "$ROOT/examples/demo.sh" "$ROOT/build/release"
    ;;
  test)
    install_packages "${BUILD_PACKAGES[@]}" "${SIM_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
    build build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
    run_ctest build/test -LE soak
    # The soak last and alone: tests running beside it move its memory figure.
    run_ctest build/test -L soak
    ;;
  soak)
    install_packages "${BUILD_PACKAGES[@]}" "${SIM_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
    build build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
    run_ctest build/test -L soak
    ;;
  asan)
    install_packages "${BUILD_PACKAGES[@]}" "${SIM_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    build build/asan -DCMAKE_BUILD_TYPE=Debug -DZENTROVA_SANITIZE=ON -DZENTROVA_BUILD_BENCH=OFF
    run_ctest build/asan -LE soak
    ;;
  tsan)
    install_packages "${BUILD_PACKAGES[@]}" "${SIM_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    build build/tsan -DCMAKE_BUILD_TYPE=Debug -DZENTROVA_TSAN=ON -DZENTROVA_BUILD_BENCH=OFF
    run_ctest build/tsan -L thread
    ;;
  fuzz)
    # The simulator too: the device_* targets answer through a simulated mouse.
    install_packages "${BUILD_PACKAGES[@]}" "${SIM_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"
    seconds=${1:-60}
    CC=clang CXX=clang++ build build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENTROVA_FUZZ=ON \
        -DZENTROVA_BUILD_TESTS=OFF -DZENTROVA_BUILD_TOOLS=OFF -DZENTROVA_BUILD_BENCH=OFF
    for f in build/fuzz/fuzz/*_fuzzer; do
        name=$(basename "$f" _fuzzer)
        mkdir -p "fuzz/corpus/$name"
        echo "== fuzzing $name for ${seconds}s"
        "$f" -max_total_time="$seconds" -print_final_stats=1 "fuzz/corpus/$name"
    done
    ;;
  bench)
    install_packages "${BUILD_PACKAGES[@]}" "${SIM_PACKAGES[@]}" "${BENCH_PACKAGES[@]}" libssl-dev
    build build/bench -DCMAKE_BUILD_TYPE=Release -DZENTROVA_BUILD_TESTS=OFF
    for b in build/bench/bench/*/bench_*; do
        [ -x "$b" ] || continue
        echo "== $b"
        "$b" "$@"
    done
    ;;
  abi)
    install_packages "${BUILD_PACKAGES[@]}" "${ABI_PACKAGES[@]}"
    mode=check
    [ "${1:-}" = update ] && mode=update
    build build/abi -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZENTROVA_BUILD_TESTS=OFF -DZENTROVA_BUILD_SIM=OFF \
        -DZENTROVA_BUILD_TOOLS=OFF -DZENTROVA_BUILD_BENCH=OFF
    cmake --build build/abi --target "abi-$mode"
    ;;
  package)
    install_packages "${BUILD_PACKAGES[@]}" "${SIM_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${DEB_PACKAGES[@]}"
    exec "$ROOT/packaging/build-debs.sh" "$ROOT/build/deb"
    ;;
  *)
    awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"
    exit 2
    ;;
esac

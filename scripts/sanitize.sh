#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ and runs
# the whole test suite there (the window and GL tests on Xvfb when there is no display).
#
#   scripts/sanitize.sh [CTEST_ARGS...]     e.g. scripts/sanitize.sh -R test_off
#
# ORVALIS_ASAN_BUILD names another build folder.
# Any sanitizer report fails the test that caused it. Leaks of the libraries underneath (the
# D-Bus client Qt starts, ...) are listed in tests/lsan.supp; the project's code has no entry
# there.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${ORVALIS_ASAN_BUILD:-$root/build-asan}"
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -le 2 ] || jobs=2

# shellcheck source=packages.sh
source "$root/scripts/packages.sh"
install_missing "${build_packages[@]}" "${test_packages[@]}"

# Mesa unloads its driver when the last display connection closes, before the leak check at
# exit. The driver's globals go with it, so everything they still point to would be reported as
# leaked, with stacks that end in an unknown module. Every executable of this build therefore
# lists the driver as needed, which keeps it loaded to the end of the process.
driver="/usr/lib/$(gcc -print-multiarch)/dri/swrast_dri.so"
link_flags=()
if [ -f "$driver" ]; then
    soname=$(readelf -d "$driver" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    mkdir -p "$build/gl-driver"
    [ -z "$soname" ] || ln -sf "$driver" "$build/gl-driver/$soname"
    link_flags=("-DCMAKE_EXE_LINKER_FLAGS=-Wl,--no-as-needed $driver -Wl,--as-needed -Wl,-rpath,$build/gl-driver")
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVALIS_SANITIZE=ON \
    -DORVALIS_TESTS=ON -DORVALIS_BENCH=OFF "${link_flags[@]}" >/dev/null
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1:check_initialization_order=1"
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}print_stacktrace=1:halt_on_error=1"

ctest=(ctest --test-dir "$build" --output-on-failure -j "$jobs" "$@")
if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24" "${ctest[@]}"
else
    "${ctest[@]}"
fi

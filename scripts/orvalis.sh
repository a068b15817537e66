#!/usr/bin/env bash
# One entry point for the two quick-start commands:
#   scripts/orvalis.sh run    install what is missing, build, start the viewer on real models
#   scripts/orvalis.sh test   install what is missing, build, run every test, then the whole suite
#                             again under AddressSanitizer and UBSan, and each fuzz target briefly
# Packages come from Debian's archive through apt-get, only when missing; that step needs root
# (sudo is used when it is there and you are not root). Both commands build incrementally in
# build/. The viewer starts one level below its data tree: the first run bakes real models into
# build/bundled (scripts/bake-models.sh, cached afterwards); without them it starts in build/ on
# the generated tree in Data/.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"
jobs=$(nproc 2>/dev/null || echo 2)

# shellcheck source=packages.sh
source "$root/scripts/packages.sh"

configure_and_build() {
    local tests=$1
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVALIS_TESTS="$tests" \
            -DORVALIS_BENCH="$tests" -DORVALIS_WERROR="$tests"
    else
        cmake -S "$root" -B "$build" -DORVALIS_TESTS="$tests" -DORVALIS_BENCH="$tests" \
            -DORVALIS_WERROR="$tests" >/dev/null
    fi
    cmake --build "$build" -j "$jobs"
}

run_viewer() {
    # Said before the packages and the build, which take minutes on a first run.
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display to show the viewer on (set DISPLAY, or use xvfb-run)." >&2
        exit 1
    fi
    install_missing "${build_packages[@]}"
    configure_and_build OFF
    local tree
    if tree=$("$root/scripts/bake-models.sh") && [ -d "$tree/run" ]; then
        cd "$tree/run"
    else
        echo "Starting on the generated tree in Data/." >&2
        cd "$build"
    fi
    exec "$build/orvalis"
}

run_tests() {
    install_missing "${build_packages[@]}" "${test_packages[@]}"
    configure_and_build ON
    local ctest=(ctest --test-dir "$build" --output-on-failure -j "$jobs")
    if [ -z "${DISPLAY:-}" ]; then
        # The window and GL tests need an X server; Mesa's software renderer draws into Xvfb.
        xvfb-run -a -s "-screen 0 1280x1024x24" "${ctest[@]}"
    else
        "${ctest[@]}"
    fi
    "$root/scripts/sanitize.sh"
    "$root/scripts/fuzz.sh" 20 -j 2
}

case "${1:-}" in
run) run_viewer ;;
test) run_tests ;;
*)
    echo "usage: scripts/orvalis.sh run|test" >&2
    exit 2
    ;;
esac

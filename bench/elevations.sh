#!/usr/bin/env bash
# Bakes CGAL's bunny00, elephant, cow and armadillo (--up y) into a scratch tree with the built
# baker and prints bench_views' elevation figures for them, then bench_outcome's nudge figures.
# The meshes come from Debian's libcgal-demo package, fetched with `apt-get download` and unpacked
# with `dpkg -x` in a temporary folder (never installed, never kept).
#
#   bench/elevations.sh [BUILD_FOLDER]     (default: build)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath "${1:-$root/build}")
work=$(mktemp -d "${TMPDIR:-/tmp}/orvalis-elevations-XXXXXX")
trap 'rm -rf "$work"' EXIT
models=(bunny00 elephant cow armadillo)

(cd "$work" && apt-get download libcgal-demo >/dev/null)
dpkg -x "$work"/libcgal-demo_*.deb "$work/x"
members=()
for m in "${models[@]}"; do members+=("data/meshes/$m.off"); done
tar -xzf "$work/x/usr/share/doc/libcgal-dev/data.tar.gz" -C "$work" "${members[@]}"

mkdir -p "$work/tree/Data/Models"
for m in "${models[@]}"; do
    /usr/bin/time -f "$m: %e s wall, %U s user, %S s system" "$build/bake/orvalis-bake" --quiet \
        --up y --root "$work/tree" "$work/data/meshes/$m.off" 2>&1 >/dev/null | grep -v "note:"
done
"$build/bench/bench_views" --root "$work/tree"
"$build/bench/bench_outcome" --root "$work/tree" --no-bake 2>/dev/null | grep -v "^Successfully"

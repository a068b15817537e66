#!/bin/sh
# Takes the screenshot of the running viewer shown in the README and writes docs/screenshot.png.
#
# The viewer runs on the bundled data tree under a virtual X server (Xvfb): the instruction box is
# closed, the Trackball tab chosen and a drag made in the model square; the picture is taken
# while the button is still held, so that the trail of the nudged view (magenta) and of the plain
# trackball (black) show on the goodness sphere.
#
# Usage: scripts/screenshot.sh [BUILD_DIR [TREE]]
#   BUILD_DIR  where orvalis is built (default: build)
#   TREE       the data tree to show (default: the repository's Data/; the README's picture uses
#              the real models that scripts/bake-models.sh puts in build/bundled)
# Needs: xvfb-run, xdotool and ImageMagick's import (apt-get install xvfb xdotool imagemagick).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
tree=$(cd "${2:-$root}" && pwd)
bin=$build/orvalis
if [ ! -x "$bin" ]; then
    echo "screenshot.sh: $bin not found; build the viewer first" >&2
    exit 1
fi
for tool in xvfb-run xdotool import; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "screenshot.sh: $tool is missing (apt-get install xvfb xdotool imagemagick)" >&2
        exit 1
    fi
done
mkdir -p "$root/docs"

# The viewer reads its data one level above the folder it starts in.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$tree/Data" "$work/Data"
ln -s "$tree/instructions.htm" "$work/instructions.htm"
mkdir "$work/run"

cat >"$work/session.sh" <<'SESSION'
set -eu
cd "$WORK/run"
"$BIN" >"$WORK/viewer.log" 2>&1 &
viewer=$!
box=$(xdotool search --sync --onlyvisible --name '^Instructions$' | head -n 1)
sleep 0.5
xdotool windowfocus --sync "$box" key Return
win=$(xdotool search --sync --onlyvisible --name '^Orvalis$' | head -n 1)
sleep 0.5
# The Trackball tab, second in the tab bar below the view.
xdotool mousemove --window "$win" 129 527 click 1
sleep 0.3
# A drag across the model square, slowly enough that every step is seen.
xdotool mousemove --window "$win" 120 300 mousedown 1
x=120
y=300
for step in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15; do
    x=$((x + 4))
    y=$((y - 1))
    xdotool mousemove --window "$win" "$x" "$y"
    sleep 0.05
done
sleep 0.3
import -window "$win" "$OUT"
xdotool mouseup 1
kill "$viewer"
wait "$viewer" 2>/dev/null || true
SESSION

WORK=$work BIN=$bin OUT=$root/docs/screenshot.png \
    xvfb-run -a -s "-screen 0 1280x1024x24" sh "$work/session.sh"
echo "wrote $root/docs/screenshot.png"

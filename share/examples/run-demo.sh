#!/usr/bin/env bash
# Opens the bundled demo board in the desktop program.  Without a display (or a build without the
# desktop program) it shows what the board holds through the batch tool instead, and says so.
set -euo pipefail
BUILD=${1:-build}
cd "$(dirname "$0")/../.."
if [ -x "$BUILD/trazel" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
    exec "$BUILD/trazel" share/examples/demo.pcb
fi
if [ ! -x "$BUILD/trazel" ]; then
    echo "The desktop program was not built (wxWidgets 3.2 missing); showing the board with trazel-cli."
else
    echo "No display (DISPLAY is not set); showing the board with trazel-cli.  Under X: make run."
fi
"$BUILD"/trazel-cli info share/examples/demo.pcb
mkdir -p out
"$BUILD"/trazel-cli render share/examples/demo.pcb out/demo.png --grid
echo "Wrote out/demo.png"

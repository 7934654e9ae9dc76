#!/usr/bin/env bash
# Installs what is missing, builds Quillon and starts the desktop program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${QUILLON_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF
cmake --build "$build" -j "$(nproc)"
if [ ! -x "$build/src/quillon" ]; then
    echo "The desktop program is not built yet; here is the command line instead:" >&2
    exec "$build/src/quillon-cli" --help
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<MSG
No display found. Either start the program inside a virtual display:
    xvfb-run -a $build/src/quillon
or use the command line, for example:
    $build/src/quillon-cli analyse 10 2 3 15
MSG
    exit 1
fi
exec "$build/src/quillon" "$@"

#!/usr/bin/env bash
# Installs the Debian 12 packages Quillon needs to build, test and run, when missing.
# Uses sudo only when not run as root.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config          # toolchain
    ccache                                    # the test builds reuse what is compiled
    clang-format                              # the layout check of the sources
    libgtest-dev                              # unit tests
    qt6-base-dev qt6-base-dev-tools           # Qt 6 Widgets, PrintSupport and Test
    libgl-dev                                 # Qt's OpenGL headers expect it
    qt6-qpa-plugins                           # offscreen and xcb platforms
    xvfb xauth                                # windows without a display
    fonts-dejavu-core                         # readable text in the windows
    python3-scipy                             # peer values of the unconditional tests
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "Installing: ${missing[*]}" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >&2

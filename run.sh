#!/usr/bin/env bash
# Installs what is missing, builds a release build under build/release and starts the reader.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
folium_install_deps
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DFOLIUM_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc 2>/dev/null || echo 2)"
if [ ! -x build/release/shell/folium ]; then
    echo "The reader window is not built yet; the tools are in build/release/tools/." >&2
    exit 1
fi
scripts/default-dictionary.sh build/release/tools/folium-dict
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" = "" ]; then
    echo "No display found. Run the reader under a virtual X server, for example:" >&2
    echo "  apt-get install -y xvfb xauth && xvfb-run -s '-screen 0 1024x900x24' ./run.sh" >&2
    exit 1
fi
exec build/release/shell/folium

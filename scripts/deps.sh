#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, but only those still missing.
# Sourced by run.sh and test.sh.
folium_packages=(cmake g++ make pkg-config qt6-base-dev qt6-5compat-dev libminizip-dev zlib1g-dev
                 libuchardet-dev libgtest-dev libbenchmark-dev fonts-dejavu-core clang libclang-rt-dev
                 dbus-daemon libqt6sql6-sqlite desktop-file-utils appstream groff-base)

folium_install_deps() {
    local missing=()
    for p in "${folium_packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Install them as root with:" >&2
        echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

#!/usr/bin/env bash
# Installs what is missing, builds the sanitized test build under build/test and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
folium_install_deps
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DFOLIUM_SANITIZE=ON -DFOLIUM_WERROR=ON -DFOLIUM_BUILD_TESTS=ON >/dev/null
cmake --build build/test -j "$jobs"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd build/test
ctest --output-on-failure -j "$jobs" "$@"

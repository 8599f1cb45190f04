#!/usr/bin/env bash
# Installs what is missing and builds kestrane.
#
# The control panel does not exist yet, so this only builds; it will start the program from
# the staged application folder once the panel is there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"

build="${KESTRANE_BUILD:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build "$build" -j"$(nproc)"
echo "start: built in $build; there is no program to start yet"

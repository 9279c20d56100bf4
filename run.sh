#!/usr/bin/env bash
# Installs what is missing, builds, and starts the server on the demo home
# (HTTP on port 8080, gopher on port 7070): in its window where there is a
# desktop, else on the console (--headless asks for the console). File >
# Exit, closing the window or Ctrl-C stops it.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh

ensure_packages "${BUILD_PACKAGES[@]}"

# Only the server is built here, so the test libraries are not needed; a
# build folder that ./test.sh configured keeps its tests.
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQXS_BUILD_TESTS=OFF
fi
ninja -C build qxserver

mkdir -p demo/logs demo/temp demo/boards
# The guest book grows with every post; it starts from demo/board.htm.
[ -f demo/boards/guests.htm ] || cp demo/board.htm demo/boards/guests.htm
exec build/src/qxserver --home demo "$@"

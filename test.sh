#!/usr/bin/env bash
# Installs what is missing, builds the normal and the sanitizer build (build
# warnings are errors), and runs every test of both through ctest. The
# window's tests run on Qt's offscreen platform, and under Xvfb for the one
# that needs a display. A third build leaves the window out, to show the
# server builds without Qt.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh

ensure_packages "${BUILD_PACKAGES[@]}" libgtest-dev libgmock-dev \
  curl lynx gopher tmux chromium goaccess procps xvfb xauth

jobs=$(nproc 2>/dev/null || echo 2)
status=0
for variant in build build-san; do
  sanitize=OFF
  [ "$variant" = build-san ] && sanitize=ON
  # Configured every time (quick when nothing changed): a build folder that
  # ./run.sh made has its tests switched off.
  cmake -S . -B "$variant" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQXS_WERROR=ON -DQXS_SANITIZE="$sanitize" -DQXS_BUILD_TESTS=ON >/dev/null
  ninja -C "$variant"
done
echo "== the console-only build"
cmake -S . -B build-nowin -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQXS_WERROR=ON \
  -DQXS_WINDOW=OFF -DQXS_BUILD_TESTS=OFF >/dev/null
ninja -C build-nowin qxserver
if ldd build-nowin/src/qxserver | grep -q 'libQt'; then
  echo "the console-only build links Qt" >&2
  status=1
fi
for variant in build build-san; do
  echo "== tests: $variant"
  if ! ctest --test-dir "$variant" --output-on-failure -j "$jobs"; then
    status=1
  fi
done
exit $status

#!/usr/bin/env bash
# Installs what is missing, builds the normal and the sanitizer build (build
# warnings are errors), and runs every test of both through ctest.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh

ensure_packages "${BUILD_PACKAGES[@]}" libgtest-dev libgmock-dev \
  curl lynx gopher chromium goaccess procps

jobs=$(nproc 2>/dev/null || echo 2)
status=0
for variant in build build-san; do
  if [ ! -f "$variant/build.ninja" ]; then
    sanitize=OFF
    [ "$variant" = build-san ] && sanitize=ON
    cmake -S . -B "$variant" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DQXS_WERROR=ON -DQXS_SANITIZE="$sanitize"
  fi
  ninja -C "$variant"
done
for variant in build build-san; do
  echo "== tests: $variant"
  if ! ctest --test-dir "$variant" --output-on-failure -j "$jobs"; then
    status=1
  fi
done
exit $status

# Sourced by run.sh and test.sh: installs the Debian packages that are
# missing, as root or through sudo, and nothing that is already there.

ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo="sudo"
    else
      echo "Missing packages (${missing[*]}) and no sudo to install them as $(id -un)." >&2
      return 1
    fi
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ! $sudo apt-get install -y --no-install-recommends "${missing[@]}"; then
    $sudo apt-get update && $sudo apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

# What building the server needs: the operator window is Qt 6 Widgets, and
# its pictures are drawn at build time with the DejaVu fonts.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libuv1-dev qt6-base-dev fonts-dejavu-core)

# What the fuzz targets need on top (bench/fuzz.sh): clang and libFuzzer.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)

#!/usr/bin/env bash
# Shared by ./run and ./test: installs the Debian packages the build needs (only those that
# are missing) and configures and builds the project into build/.
set -euo pipefail

VANTOR_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libxkbcommon-dev
  libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
  libpugixml-dev libarchive-dev qt6-translations-l10n
  fonts-dejavu-core ccache
  dpkg-dev file desktop-file-utils appstream
)

vantor_install_packages() {
  local missing=()
  for package in "${VANTOR_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

vantor_build() {
  local root="$1"
  local werror="${VANTOR_WERROR:-OFF}"
  if [ "${CI:-}" = "true" ]; then
    werror=ON
  fi
  local launcher=()
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$root" -B "$root/build" -G Ninja -DVANTOR_WERROR="$werror" "${launcher[@]}" >/dev/null
  cmake --build "$root/build" --parallel "$(nproc)"
}

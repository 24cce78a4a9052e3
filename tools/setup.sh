#!/usr/bin/env bash
# Shared by ./run and ./test: installs the Debian packages the build needs (only those that
# are missing) and configures and builds the project into build/ (and, for ./test, the
# tests once more into build-asan/ with the sanitizers).
set -euo pipefail

VANTOR_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libxkbcommon-dev
  libcli11-dev libgtest-dev libbenchmark-dev
  libpugixml-dev libarchive-dev qt6-translations-l10n
  fonts-dejavu-core ccache
  dpkg-dev file desktop-file-utils appstream
)

# The real OpenSim test server beside the checkout (tests/opensim/README.md) needs Mono, the
# parts of it that the server and its script compiler load, and python3 for its driver. ./test
# asks for them ("vantor_install_packages opensim"); they are installed only when that folder is there.
vantor_opensim_server="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/../shared/opensim-server"
VANTOR_OPENSIM_PACKAGES=(
  mono-runtime mono-mcs
  libmono-system-data4.0-cil libmono-system-web4.0-cil libmono-system-drawing4.0-cil
  libmono-system-xml-linq4.0-cil libmono-system-runtime-serialization4.0-cil
  libmono-system-management4.0-cil libmono-system-configuration-install4.0-cil
  libmono-security4.0-cil libmono-system-numerics4.0-cil libmono-system-transactions4.0-cil
  python3
)

# The in-world scripts' checker (lsl/README.md) is built from the shared tools with flex and bison.
if [ -d "$(dirname "$vantor_opensim_server")/tools/lslint" ]; then
  VANTOR_PACKAGES+=(flex bison)
fi

vantor_install_packages() {
  if [ "${1:-}" = opensim ] && [ -d "$vantor_opensim_server" ]; then
    vantor_install_missing "${VANTOR_PACKAGES[@]}" "${VANTOR_OPENSIM_PACKAGES[@]}"
  else
    vantor_install_missing "${VANTOR_PACKAGES[@]}"
  fi
}

# Installs those of the named Debian packages that are missing.
vantor_install_missing() {
  local missing=()
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing the missing Debian packages: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The options every build tree is configured with: warnings as errors when VANTOR_WERROR=ON
# or on CI, and ccache when it is there. Sets the array vantor_cmake_options.
vantor_common_options() {
  local werror="${VANTOR_WERROR:-OFF}"
  if [ "${CI:-}" = "true" ]; then
    werror=ON
  fi
  vantor_cmake_options=(-DVANTOR_WERROR="$werror")
  if command -v ccache >/dev/null 2>&1; then
    vantor_cmake_options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
}

# Configures build/ and builds everything, or only the targets named after the root.
vantor_build() {
  local root="$1"
  shift
  vantor_common_options
  cmake -S "$root" -B "$root/build" -G Ninja "${vantor_cmake_options[@]}" >/dev/null
  local targets=()
  for target in "$@"; do targets+=(--target "$target"); done
  cmake --build "$root/build" "${targets[@]}" --parallel "$(nproc)"
}

# The test executables only, built into build-asan/ with the address and undefined-behaviour
# sanitizers; ./test runs the whole suite there too. No optimisation and line tables only,
# which keeps the second build short; any sanitizer report fails the test that made it.
vantor_build_sanitized() {
  local root="$1"
  vantor_common_options
  local sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
  cmake -S "$root" -B "$root/build-asan" -G Ninja "${vantor_cmake_options[@]}" -DVANTOR_BUILD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" -DCMAKE_CXX_FLAGS="$sanitizers" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
  cmake --build "$root/build-asan" --target vantor_all_tests --parallel "$(nproc)"
}

# How the sanitized tests run: stop at the first report, with a stack trace; leaks that
# system libraries keep are listed in tools/lsan.supp.
vantor_sanitizer_environment() {
  local root="$1"
  export ASAN_OPTIONS="detect_leaks=1"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
  export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp"
}

# Installs the OpenSim test server into build/opensim-test when it is missing or stale (another
# runtime archive, install script or port); each checkout gets a port of its own, from its path
# (VANTOR_OPENSIM_PORT chooses one). Without the server folder it says why the real-server tests
# are skipped and returns 1.
vantor_install_opensim() {
  local root="$1"
  local tree="$root/build/opensim-test"
  if [ ! -f "$vantor_opensim_server/install.sh" ]; then
    echo "Real-server tests (ctest -L opensim) skipped: no OpenSim server folder at $vantor_opensim_server"
    return 1
  fi
  local hash
  hash="$(printf '%s' "$tree" | cksum | cut -d' ' -f1)"
  local port="${VANTOR_OPENSIM_PORT:-$((20000 + hash % 10000))}"
  local wanted
  wanted="$(cd "$vantor_opensim_server" && sha256sum install.sh opensim-*-runtime.tar.gz) port $port"
  if [ -f "$tree/OpenSim.exe" ] && [ "$(cat "$tree.stamp" 2>/dev/null)" = "$wanted" ]; then
    return 0
  fi
  rm -rf "$tree" "$tree.stamp"
  "$vantor_opensim_server/install.sh" "$tree" "$port" >/dev/null
  printf '%s\n' "$wanted" >"$tree.stamp"
  echo "Installed the OpenSim test server into $tree (127.0.0.1:$port)"
}

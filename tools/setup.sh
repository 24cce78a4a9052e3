#!/usr/bin/env bash
# Shared by ./run and ./test: installs the Debian packages the build needs (only those that
# are missing) and configures and builds the project into build/ (and, for ./test, the
# tests once more into build-asan/ with the sanitizers).
set -euo pipefail

VANTOR_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libxkbcommon-dev
  libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
  libpugixml-dev libarchive-dev qt6-translations-l10n
  fonts-dejavu-core ccache
  dpkg-dev file desktop-file-utils appstream
)

# The in-world scripts' checks (lsl/README.md), when the shared tools are beside the project:
# flex and bison build lslint, and the real-server tests need Mono and Python.
vantor_shared="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/../shared"
if [ -d "$vantor_shared/tools/lslint" ]; then
  VANTOR_PACKAGES+=(flex bison)
fi
if [ -d "$vantor_shared/opensim-server" ]; then
  VANTOR_PACKAGES+=(python3 mono-runtime mono-mcs libmono-system-data4.0-cil libmono-system-web4.0-cil
    libmono-system-drawing4.0-cil libmono-system-xml-linq4.0-cil libmono-system-runtime-serialization4.0-cil
    libmono-system-management4.0-cil libmono-system-configuration-install4.0-cil libmono-security4.0-cil
    libmono-system-numerics4.0-cil libmono-system-transactions4.0-cil)
fi

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

vantor_build() {
  local root="$1"
  vantor_common_options
  cmake -S "$root" -B "$root/build" -G Ninja "${vantor_cmake_options[@]}" >/dev/null
  cmake --build "$root/build" --parallel "$(nproc)"
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

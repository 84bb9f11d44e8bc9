#!/usr/bin/env bash
# Installs what Rankora needs from Debian's packages (only what is missing),
# builds it with CMake's presets and runs it or its tests.
#   ./dev.sh run       build and open the Rankora window
#   ./dev.sh test      build and run every test
#   ./dev.sh sanitize  the same tests built with AddressSanitizer and UBSan
#   ./dev.sh bench     build and run the benchmarks
#   ./dev.sh lint      check formatting (clang-format) and the source (clang-tidy)
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-private-dev fonts-wqy-microhei
  duktape-dev libcurl4-openssl-dev libpcre2-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-format clang-tidy
)

install_missing() {
  local missing=() package
  for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "Installing ${missing[*]}"
  local log
  log=$(mktemp)
  if ! { "${sudo[@]}" apt-get update -qq && DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
      --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
    cat "$log"
    rm -f "$log"
    echo "Installing the packages failed." >&2
    exit 1
  fi
  rm -f "$log"
}

build() {
  local preset=$1 log
  log=$(mktemp)
  if ! cmake --preset "$preset" >"$log" 2>&1; then
    cat "$log"
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
  cmake --build --preset "$preset"
}

case "${1:-}" in
  run)
    install_missing
    build default
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
      echo "No display to open the window on: run this from a desktop session (or set DISPLAY)." >&2
      exit 1
    fi
    exec build/default/src/ui/qt/rankora
    ;;
  test)
    install_missing
    build default
    ctest --preset default
    ;;
  sanitize)
    install_missing
    build sanitize
    ctest --preset sanitize
    ;;
  bench)
    install_missing
    build default
    for program in build/default/bench/*_bench; do "$program"; done
    ;;
  lint)
    install_missing
    build default
    mapfile -t sources < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h')
    clang-format --dry-run --Werror "${sources[@]}"
    log=$(mktemp)
    if ! printf '%s\n' "${sources[@]}" | grep -E '^(src|tools|bench)/.*\.cpp$' |
        xargs -P "$(nproc)" -n 1 clang-tidy -p build/default --quiet >"$log" 2>&1; then
      grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated' "$log"
      rm -f "$log"
      echo "clang-tidy found problems." >&2
      exit 1
    fi
    rm -f "$log"
    echo "Formatting and clang-tidy checks passed."
    ;;
  *)
    sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
    ;;
esac

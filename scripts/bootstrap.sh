#!/usr/bin/env bash
# Sets up a Debian 12 machine for Tallowmerick, builds it, and then either
# starts the program ("run") or runs every test ("test").
set -euo pipefail
mode="${1:-run}"
shift || true
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

packages=(build-essential cmake ninja-build ccache pkg-config
          qt6-base-dev qt6-base-private-dev qt6-svg-dev qt6-tools-dev qt6-l10n-tools qt6-image-formats-plugins libsimdjson-dev
          qt6-httpserver-dev qt6-websockets-dev zlib1g-dev
          poppler-utils fonts-noto-cjk python3 clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

jobs="$(nproc 2>/dev/null || echo 2)"
case "$mode" in
run)
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build --parallel "$jobs"
    exec build/bin/tallowmerick "$@"
    ;;
test)
    cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLOWK_SANITIZE=ON
    cmake --build build-test --parallel "$jobs"
    # Tests run in a fresh home so they never touch the user's settings.
    home="$(mktemp -d "${TMPDIR:-/tmp}/tallowk-home-XXXXXX")"
    trap 'rm -rf "$home"' EXIT
    export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache"
    export QT_QPA_PLATFORM=offscreen
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
    ctest --test-dir build-test --output-on-failure --parallel "$jobs"
    # A short run of every fuzz harness (a minute in all).
    bash scripts/fuzz.sh --jobs 2 12
    ;;
*)
    echo "usage: $0 run|test [arguments for the program]" >&2
    exit 2
    ;;
esac

#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   ./kestrowan.sh test   install what is missing, build everything, run every test tier
#   ./kestrowan.sh demo   install what is missing, build, make a sample launcher and run it
#   ./kestrowan.sh fuzz [SECONDS]   run every fuzz target that long (default 600), one at a time
set -euo pipefail
cd "$(dirname "$0")"

# wine32 is deliberately absent: with it, /usr/bin/wine picks a loader this kernel cannot run.
packages=(
    cmake ninja-build g++ git python3
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine64 wine
    googletest libgtest-dev libgmock-dev libtomlplusplus-dev libcli11-dev
    openjdk-17-jdk-headless
    # The runtime splash and screen captures of the runtime library's tests (splash and X11 AWT).
    openjdk-17-jre
    clang-format cppcheck osslsigncode openssl
    # The sanitizer build and the fuzz targets (libFuzzer comes with clang's runtime libraries).
    clang-14 libclang-rt-14-dev
    # A display for the end-to-end scenarios that hold a launcher on its message box.
    xvfb xauth
    # Screenshots of the splash window in the end-to-end scenarios (import, convert).
    imagemagick
)

install_missing() {
    local missing=()
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages: ${missing[*]}" >&2
        echo "Install them as root: apt-get install --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build_and_test() {
    cmake --workflow --preset all
    cmake --workflow --preset sanitize
}

# Keeps going after a finding (each is saved under build/sanitize/fuzz-long/<target>/), so that
# one run reports on every target; fails at the end when any target found something.
fuzz() {
    local seconds=${1:-600} status=0 binary name
    cmake --preset sanitize
    cmake --build --preset sanitize
    for binary in build/sanitize/tests/fuzz/fuzz_*; do
        [ -x "$binary" ] || continue
        name=$(basename "$binary")
        name=${name#fuzz_}
        echo "== $name for ${seconds}s"
        rm -f build/sanitize/fuzz-long/"$name"/finding-*
        tests/fuzz/run_fuzzer.sh "$binary" "$seconds" build/sanitize/fuzz-long \
            -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 || status=1
        ls build/sanitize/fuzz-long/"$name"/finding-* 2>/dev/null && status=1
    done
    return $status
}

demo() {
    cmake --preset host
    cmake --build --preset host
    demo/run.sh
}

case "${1:-}" in
test)
    install_missing
    build_and_test
    ;;
demo)
    install_missing
    demo
    ;;
fuzz)
    install_missing
    fuzz "${2:-}"
    ;;
*)
    echo "usage: $0 test|demo|fuzz [seconds]" >&2
    exit 2
    ;;
esac

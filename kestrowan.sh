#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   ./kestrowan.sh test   install what is missing, build everything, run every test tier
#   ./kestrowan.sh demo   install what is missing, build, make a sample launcher and run it
set -euo pipefail
cd "$(dirname "$0")"

# wine32 is deliberately absent: with it, /usr/bin/wine picks a loader this kernel cannot run.
packages=(
    cmake ninja-build g++ git python3
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine64 wine
    googletest libgtest-dev libgmock-dev libtomlplusplus-dev libcli11-dev
    openjdk-17-jdk-headless
    clang-format cppcheck osslsigncode openssl
    # wrestool: checks the resources kwnbuild writes independently of our own reader.
    icoutils
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
*)
    echo "usage: $0 test|demo" >&2
    exit 2
    ;;
esac

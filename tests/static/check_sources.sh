#!/usr/bin/env bash
# Source checks run by CTest from the repository root: check_sources.sh <check> [tool]
set -euo pipefail

sources() { git ls-files -co --exclude-standard -- "$@" | grep -E '\.(cpp|h)$'; }
logic_dirs=(launcher config files jvm windows instance splash diag platform)

case "$1" in
format)
    # Every C++ file of ours follows the one committed .clang-format.
    sources "${logic_dirs[@]}" tools tests | xargs "$2" --dry-run --Werror
    ;;
cppcheck)
    # The portable logic, as the host compiles it; the Win32 layer is left to the compilers.
    mapfile -t files < <(sources "${logic_dirs[@]}" | grep -v -e '^platform/win32/' -e 'WinMain.cpp$' | grep '\.cpp$')
    "$2" --quiet --error-exitcode=1 --std=c++20 --language=c++ -I . \
        --enable=warning,style,performance,portability --inline-suppr \
        --suppress=missingIncludeSystem --suppress=useStlAlgorithm \
        --suppress=noExplicitConstructor:diag/PrintfFormat.h "${files[@]}"
    ;;
windows-header)
    # Only the Win32 layer and the entry point may see <windows.h>; the logic must build anywhere.
    if sources "${logic_dirs[@]}" | grep -v -e '^platform/win32/' -e '^launcher/WinMain.cpp$' |
        xargs grep -l -i -E '#include *[<"](windows|winbase|winuser|windef)\.h' ; then
        echo "the files above include Windows headers outside platform/win32" >&2
        exit 1
    fi
    ;;
reproducible-stub)
    # A second, clean build of the x64 stub from a copy of the sources elsewhere, without
    # ccache (it would hand back the first build's objects), must give the same bytes as the
    # stub in dist/: no time stamp and no checkout or build path may reach it. One width only,
    # as both share every flag; the x86 stub is left out to keep this to one compile.
    copy=$(mktemp -d)
    trap 'rm -rf "$copy"' EXIT
    git ls-files -co --exclude-standard | grep -v -e '^dist/' -e '^build/' |
        tar -cf - -T - | tar -xf - -C "$copy"
    CCACHE_DISABLE=1 cmake -S "$copy" -B "$copy/build" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/mingw-x86_64.cmake" -DKWN_DIST_DIR="$copy/dist" >/dev/null
    CCACHE_DISABLE=1 cmake --build "$copy/build" --target launcher -j2 >/dev/null
    cmp "$2" "$copy/dist/stubs/launcher-x64.exe"
    ;;
*)
    echo "unknown check: $1" >&2
    exit 2
    ;;
esac

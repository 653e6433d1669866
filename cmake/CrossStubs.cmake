# Builds both Windows stubs from the same sources as part of the host build, so that one
# workflow produces every product and the end-to-end tests find fresh stubs in dist/.
include(ExternalProject)

function(kwn_cross_stub name toolchain triple)
    find_program(KWN_${name}_CXX ${triple}-g++)
    if(NOT KWN_${name}_CXX)
        message(FATAL_ERROR "${triple}-g++ not found: install g++-mingw-w64 or set KWN_BUILD_STUBS=OFF")
    endif()
    ExternalProject_Add(stub-${name}
        SOURCE_DIR ${CMAKE_SOURCE_DIR}
        BINARY_DIR ${CMAKE_BINARY_DIR}/../${name}
        CMAKE_ARGS
            -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/${toolchain}.cmake
            -DCMAKE_BUILD_TYPE=MinSizeRel
            -DKWN_DIST_DIR=${KWN_DIST_DIR}
            -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
        BUILD_ALWAYS ON
        INSTALL_COMMAND "")
endfunction()

kwn_cross_stub(win-x86 mingw-i686 i686-w64-mingw32)
kwn_cross_stub(win-x64 mingw-x86_64 x86_64-w64-mingw32)

# The launcher stub: one source, two widths. Statically linked, so that it needs no MinGW
# runtime DLL on the user's machine, and stripped, because the configuration block is found
# right behind the last section and a symbol table there would hide it.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KWN_STUB_NAME launcher-x64)
else()
    set(KWN_STUB_NAME launcher-x86)
endif()

add_executable(launcher WIN32 launcher/WinMain.cpp launcher/LibraryFailure.cpp resources/launcher.rc)
set_target_properties(launcher PROPERTIES
    OUTPUT_NAME ${KWN_STUB_NAME}
    RUNTIME_OUTPUT_DIRECTORY ${KWN_DIST_DIR}/stubs)
target_link_libraries(launcher PRIVATE kwn_platform_win32 kwn_logic kwn_warnings kwn_stub_code)
target_link_options(launcher PRIVATE -static -s)

# The JDK the launcher's JNI code is compiled against, as the interface target kwn_jni.
# jni.h itself is platform-neutral; what differs is jni_md.h. The host build takes the JDK's
# own Linux one; the Windows builds take ours from platform/jni, which must come first, since
# a Linux jni_md.h would give a Windows VM the wrong calling convention on x86.
if(NOT KWN_JDK_HOME)
    find_program(KWN_JAVAC javac)
    set(jdk_home /usr/lib/jvm/java-17-openjdk-amd64)
    if(KWN_JAVAC)
        file(REAL_PATH ${KWN_JAVAC} javac_path)
        cmake_path(GET javac_path PARENT_PATH javac_bin)
        cmake_path(GET javac_bin PARENT_PATH javac_home)
        if(EXISTS ${javac_home}/include/jni.h)
            set(jdk_home ${javac_home})
        endif()
    endif()
    set(KWN_JDK_HOME ${jdk_home} CACHE PATH "JDK whose jni.h the launcher is built against")
endif()
if(NOT EXISTS ${KWN_JDK_HOME}/include/jni.h)
    message(FATAL_ERROR "No jni.h in ${KWN_JDK_HOME}/include: install openjdk-17-jdk-headless "
                        "or set KWN_JDK_HOME")
endif()

add_library(kwn_jni INTERFACE)
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
    target_include_directories(kwn_jni SYSTEM INTERFACE
        ${PROJECT_SOURCE_DIR}/platform/jni ${KWN_JDK_HOME}/include)
else()
    target_include_directories(kwn_jni SYSTEM INTERFACE
        ${KWN_JDK_HOME}/include ${KWN_JDK_HOME}/include/linux)
endif()

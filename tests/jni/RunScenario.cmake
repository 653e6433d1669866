# Runs one scenario of the JNI tests in a process of its own and fails it when the process
# fails, when the scenario did not run exactly once, or when the VM's checked JNI complained
# (-Xcheck:jni reports on standard output or standard error and lets the process go on).
execute_process(COMMAND ${BINARY} --gtest_filter=JniScenario.${SCENARIO}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message("${output}")
message("${errors}")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "scenario ${SCENARIO} failed: ${result}")
endif()
if(NOT output MATCHES "\\[  PASSED  \\] 1 test\\.")
    message(FATAL_ERROR "scenario ${SCENARIO} did not run as one test")
endif()
foreach(complaint "WARNING in native method" "FATAL ERROR in native method" "WARNING: JNI")
    string(FIND "${output}${errors}" "${complaint}" at)
    if(NOT at EQUAL -1)
        message(FATAL_ERROR "scenario ${SCENARIO}: checked JNI reported \"${complaint}\"")
    endif()
endforeach()
